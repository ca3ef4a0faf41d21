// The folded form of text for find-as-you-type matching: two texts that a
// reader would call the same word fold to the same string, whatever their
// letter case, full- or half-width forms, or hiragana/katakana spelling.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include <unicode/uversion.h>

// clang-format off
U_NAMESPACE_BEGIN  // ICU's versioned namespace, reachable as icu::
class Normalizer2;
U_NAMESPACE_END
// clang-format on

namespace tamboro {

// Folding is ICU's NFKC_Casefold (compatibility forms such as full-width
// Latin and half-width katakana become their ordinary forms, then case is
// folded), then hiragana become katakana as ICU's "Hiragana-Katakana"
// transform writes them. So "SOFLAN", "ｓｏｆｌａｎ" and "soflan" fold alike,
// and so do "ソフラン", "ｿﾌﾗﾝ" and "そふらん".
//
// Read-only after construction: one TextFolder may be used from several
// threads at once. Constructing one costs next to nothing; the first text
// folded in a process pays once for loading ICU's kana transform.
class TextFolder {
public:
    TextFolder();
    ~TextFolder();
    TextFolder(const TextFolder&) = delete;
    TextFolder& operator=(const TextFolder&) = delete;

    // Appends the folded form of `text` to `out`.
    void AppendFolded(std::u16string_view text, std::u16string& out) const;
    std::u16string Folded(std::u16string_view text) const;

private:
    struct KanaMap;
    // Made on first use, shared by every TextFolder of the process.
    static const KanaMap& Kana();
    static std::unique_ptr<KanaMap> MakeKanaMap();
    // Appends `text` with each hiragana replaced by its katakana.
    void AppendKatakana(std::u16string_view text, std::u16string& out) const;

    const icu::Normalizer2* m_normalizer;  // owned by ICU
};

}  // namespace tamboro

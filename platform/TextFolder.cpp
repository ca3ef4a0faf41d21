#include "platform/TextFolder.h"

#include <algorithm>
#include <memory>
#include <unordered_map>
#include <vector>

#include <unicode/normalizer2.h>
#include <unicode/translit.h>
#include <unicode/uniset.h>
#include <unicode/unistr.h>
#include <unicode/ustring.h>
#include <unicode/utf16.h>

namespace tamboro {

// What ICU's "Hiragana-Katakana" transform makes of each hiragana code point,
// asked once per code point at construction. Applying it per code point
// while folding is far cheaper than running the transform on every text.
struct TextFolder::KanaMap {
    char16_t first = 1;  // BMP code points first..last have an entry in `bmp`
    char16_t last = 0;
    std::vector<std::u16string> bmp;  // empty: unchanged
    std::unordered_map<UChar32, std::u16string> supplementary;

    const std::u16string* Find(UChar32 c) const
    {
        if (c <= 0xFFFF) {
            if (c < first || c > last)
                return nullptr;
            const std::u16string& to = bmp[static_cast<std::size_t>(c - first)];
            return to.empty() ? nullptr : &to;
        }
        const auto found = supplementary.find(c);
        return found == supplementary.end() ? nullptr : &found->second;
    }
};

TextFolder::TextFolder()
{
    UErrorCode status = U_ZERO_ERROR;
    m_normalizer = icu::Normalizer2::getNFKCCasefoldInstance(status);
    if (U_FAILURE(status))
        m_normalizer = nullptr;
}

TextFolder::~TextFolder() = default;

const TextFolder::KanaMap& TextFolder::Kana()
{
    static const std::unique_ptr<KanaMap> map = MakeKanaMap();
    return *map;
}

std::u16string TextFolder::Folded(std::u16string_view text) const
{
    std::u16string out;
    AppendFolded(text, out);
    return out;
}

void TextFolder::AppendFolded(std::u16string_view text, std::u16string& out) const
{
    UErrorCode status = U_ZERO_ERROR;
    if (std::all_of(text.begin(), text.end(), [](char16_t unit) { return unit < 0x80; })) {
        // NFKC leaves ASCII as it is, so case folding alone gives the same
        // result, at a fraction of the cost, with the same length.
        const std::size_t at = out.size();
        out.resize(at + text.size());
        u_strFoldCase(out.data() + at, static_cast<int32_t>(text.size()), text.data(),
                      static_cast<int32_t>(text.size()), U_FOLD_CASE_DEFAULT, &status);
        return;
    }
    const icu::UnicodeString source(false, text.data(), static_cast<int32_t>(text.size()));  // read-only alias
    icu::UnicodeString normalized;
    std::u16string_view folded = text;
    // Most text (lower-case Latin, kana, kanji) is already in folded form:
    // the quick check says so without building a copy.
    if (m_normalizer != nullptr && m_normalizer->spanQuickCheckYes(source, status) < source.length() &&
        U_SUCCESS(status)) {
        m_normalizer->normalize(source, normalized, status);
        if (U_SUCCESS(status))
            folded = std::u16string_view(normalized.getBuffer(), static_cast<std::size_t>(normalized.length()));
    }
    AppendKatakana(folded, out);
}

void TextFolder::AppendKatakana(std::u16string_view text, std::u16string& out) const
{
    const KanaMap& kana = Kana();
    out.reserve(out.size() + text.size());
    std::size_t copied = 0;  // text[copied, i) is still to be appended as it is
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        const bool lead =
            U16_IS_LEAD(unit) && !kana.supplementary.empty() && i + 1 < text.size() && U16_IS_TRAIL(text[i + 1]);
        if (!lead && (unit < kana.first || unit > kana.last))
            continue;
        const UChar32 c = lead ? U16_GET_SUPPLEMENTARY(unit, text[i + 1]) : unit;
        const std::u16string* to = kana.Find(c);
        if (to == nullptr)
            continue;
        out.append(text.substr(copied, i - copied));
        out += *to;
        i += lead ? 1 : 0;
        copied = i + 1;
    }
    out.append(text.substr(copied));
}

std::unique_ptr<TextFolder::KanaMap> TextFolder::MakeKanaMap()
{
    auto map = std::make_unique<TextFolder::KanaMap>();
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::Transliterator> transform(
        icu::Transliterator::createInstance("Hiragana-Katakana", UTRANS_FORWARD, status));
    const icu::UnicodeSet hiragana(u"[:Hiragana:]", status);
    if (U_FAILURE(status) || !transform)
        return map;

    std::unordered_map<UChar32, std::u16string> changed;
    for (int32_t range = 0; range < hiragana.getRangeCount(); ++range) {
        for (UChar32 c = hiragana.getRangeStart(range); c <= hiragana.getRangeEnd(range); ++c) {
            const icu::UnicodeString original(c);
            icu::UnicodeString text(original);
            transform->transliterate(text);
            if (text != original)
                changed.emplace(c, std::u16string(text.getBuffer(), static_cast<std::size_t>(text.length())));
        }
    }
    for (const auto& [c, to] : changed) {
        if (c > 0xFFFF) {
            map->supplementary.emplace(c, to);
            continue;
        }
        if (map->first > map->last) {
            map->first = map->last = static_cast<char16_t>(c);
        } else {
            map->first = std::min(map->first, static_cast<char16_t>(c));
            map->last = std::max(map->last, static_cast<char16_t>(c));
        }
    }
    if (map->first <= map->last)
        map->bmp.resize(static_cast<std::size_t>(map->last - map->first) + 1);
    for (const auto& [c, to] : changed)
        if (c <= 0xFFFF)
            map->bmp[static_cast<std::size_t>(c - map->first)] = to;
    return map;
}

}  // namespace tamboro

#include "platform/TextFolder.h"

#include <algorithm>
#include <memory>
#include <unordered_map>
#include <vector>

#include <unicode/normalizer2.h>
#include <unicode/translit.h>
#include <unicode/uniset.h>
#include <unicode/unistr.h>
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
    m_kana = MakeKanaMap();
}

TextFolder::~TextFolder() = default;

std::u16string TextFolder::Folded(std::u16string_view text) const
{
    std::u16string out;
    AppendFolded(text, out);
    return out;
}

void TextFolder::AppendFolded(std::u16string_view text, std::u16string& out) const
{
    const icu::UnicodeString source(false, text.data(), static_cast<int32_t>(text.size()));  // read-only alias
    icu::UnicodeString normalized;
    UErrorCode status = U_ZERO_ERROR;
    if (m_normalizer != nullptr)
        m_normalizer->normalize(source, normalized, status);
    if (m_normalizer == nullptr || U_FAILURE(status))
        normalized = source;

    const char16_t* units = normalized.getBuffer();
    const int32_t length = normalized.length();
    out.reserve(out.size() + static_cast<std::size_t>(length));
    int32_t i = 0;
    while (i < length) {
        const int32_t start = i;
        UChar32 c;
        U16_NEXT(units, i, length, c);
        if (const std::u16string* to = m_kana->Find(c))
            out += *to;
        else
            out.append(units + start, static_cast<std::size_t>(i - start));
    }
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

// Linguistic ordering of decoded text in the user's locale: what sorting the
// result list by genre, title, artist or path uses.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include <unicode/uversion.h>

// clang-format off
U_NAMESPACE_BEGIN  // ICU's versioned namespace, reachable as icu::
class Collator;
U_NAMESPACE_END
// clang-format on

namespace tamboro {

// An ICU collator for one locale at tertiary strength: letters first, then
// accents, then case, so "a" < "B" < "c" and "a" sorts next to (but not equal
// to) "A".
//
// One Collator object must be used from one thread at a time. To sort on
// several threads, copy it: a copy is an independent collator.
class Collator {
public:
    explicit Collator(std::string localeName = LocaleFromEnvironment());
    ~Collator();
    Collator(const Collator& other);
    Collator& operator=(const Collator& other);
    Collator(Collator&&) noexcept;
    Collator& operator=(Collator&&) noexcept;

    // The collation locale of the process as the C library would pick it:
    // LC_ALL, else LC_COLLATE, else LANG, the first one set and not empty.
    // The codeset and modifier ("ja_JP.UTF-8@x" -> "ja_JP") are dropped;
    // "C", "POSIX" or nothing at all give "" (the root locale).
    static std::string LocaleFromEnvironment();

    // Turns a POSIX locale name into the ICU locale name used above.
    static std::string NormalizeLocaleName(std::string_view posixName);

    // The locale name this collator was asked for ("" = root).
    const std::string& LocaleName() const { return m_localeName; }

    // Negative, zero or positive as a sorts before, with or after b.
    int Compare(std::u16string_view a, std::u16string_view b) const;

    // A byte string whose plain byte-wise order (memcmp, std::string's
    // operator<) is the order of Compare; equal keys for equal strings.
    // Worth it when the same strings are compared many times (sorting).
    std::string SortKey(std::u16string_view s) const;

private:
    std::string m_localeName;
    std::unique_ptr<icu::Collator> m_collator;
};

}  // namespace tamboro

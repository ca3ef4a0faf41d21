#include "platform/Collator.h"

#include <unicode/coll.h>
#include <unicode/locid.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <utility>

namespace tamboro {
namespace {

std::unique_ptr<icu::Collator> OpenCollator(const std::string& localeName)
{
    const icu::Locale locale = localeName.empty() ? icu::Locale::getRoot() : icu::Locale(localeName.c_str());
    UErrorCode err = U_ZERO_ERROR;
    std::unique_ptr<icu::Collator> collator(icu::Collator::createInstance(locale, err));
    if (U_FAILURE(err) || !collator) {
        // A locale ICU cannot open (not merely one it does not know, which
        // already falls back to root): take root rather than fail.
        err = U_ZERO_ERROR;
        collator.reset(icu::Collator::createInstance(icu::Locale::getRoot(), err));
        if (U_FAILURE(err) || !collator)
            throw std::runtime_error(std::string("cannot open an ICU collator: ") + u_errorName(err));
    }
    collator->setStrength(icu::Collator::TERTIARY);
    return collator;
}

// ICU takes 32-bit lengths; text longer than that is compared on its first
// 2^31-1 code units.
int32_t IcuLength(std::u16string_view s)
{
    return static_cast<int32_t>(std::min<std::size_t>(s.size(), INT32_MAX));
}

const UChar* IcuData(std::u16string_view s)
{
    return reinterpret_cast<const UChar*>(s.data());
}

}  // namespace

Collator::Collator(std::string localeName) : m_localeName(std::move(localeName)), m_collator(OpenCollator(m_localeName))
{}

Collator::~Collator() = default;

Collator::Collator(const Collator& other) : m_localeName(other.m_localeName), m_collator(other.m_collator->clone())
{
    if (!m_collator)
        throw std::runtime_error("cannot clone an ICU collator");
}

Collator& Collator::operator=(const Collator& other)
{
    if (this != &other) {
        Collator copy(other);
        *this = std::move(copy);
    }
    return *this;
}

Collator::Collator(Collator&&) noexcept = default;
Collator& Collator::operator=(Collator&&) noexcept = default;

std::string Collator::NormalizeLocaleName(std::string_view posixName)
{
    const std::size_t cut = posixName.find_first_of(".@");
    std::string_view name = posixName.substr(0, cut);
    if (name.empty() || name == "C" || name == "POSIX")
        return std::string();
    return std::string(name);
}

std::string Collator::LocaleFromEnvironment()
{
    for (const char* variable : {"LC_ALL", "LC_COLLATE", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value && *value)
            return NormalizeLocaleName(value);
    }
    return std::string();
}

int Collator::Compare(std::u16string_view a, std::u16string_view b) const
{
    UErrorCode err = U_ZERO_ERROR;
    const UCollationResult r = m_collator->compare(IcuData(a), IcuLength(a), IcuData(b), IcuLength(b), err);
    if (U_FAILURE(err))
        return a.compare(b);  // never seen in practice; keep a total order
    return r == UCOL_LESS ? -1 : r == UCOL_GREATER ? 1 : 0;
}

std::string Collator::SortKey(std::u16string_view s) const
{
    uint8_t stackKey[256];
    int32_t length = m_collator->getSortKey(IcuData(s), IcuLength(s), stackKey, sizeof stackKey);
    std::string key;
    if (length <= static_cast<int32_t>(sizeof stackKey)) {
        key.assign(reinterpret_cast<const char*>(stackKey), static_cast<std::size_t>(std::max(length, 0)));
    } else {
        key.resize(static_cast<std::size_t>(length));
        length = m_collator->getSortKey(IcuData(s), IcuLength(s), reinterpret_cast<uint8_t*>(key.data()), length);
        key.resize(static_cast<std::size_t>(std::max(length, 0)));
    }
    // ICU ends every key with a 0 byte that occurs nowhere else; it adds
    // nothing to the order, so leave it out.
    if (!key.empty() && key.back() == '\0')
        key.pop_back();
    return key;
}

}  // namespace tamboro

#include "dialog/PathText.h"

#include <QUrl>
#include <cstdlib>
#include <pwd.h>
#include <unistd.h>
#include <vector>

#include "dialog/FolderUrl.h"

namespace tamboro {
namespace {

std::string HomeOf(const std::string& user)
{
    if (user.empty()) {
        if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0')
            return home;
    }
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(static_cast<std::size_t>(size > 0 ? size : 16384));
    passwd entry{};
    passwd* found = nullptr;
    const int error = user.empty() ? ::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found)
                                   : ::getpwnam_r(user.c_str(), &entry, buffer.data(), buffer.size(), &found);
    if (error != 0 || found == nullptr || found->pw_dir == nullptr)
        return std::string();
    return found->pw_dir;
}

bool IsSafeInShell(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::string_view("/._-+,:@%=").find(c) != std::string_view::npos;
}

int HexValue(char16_t c)
{
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return -1;
}

void AppendUtf8(std::string& out, QStringView text)
{
    out += text.toUtf8().toStdString();
}

// The body of a $'...' word from `text[i]` (after the opening quote) to its
// closing quote, which `i` is left after. False when not well-formed.
bool ReadAnsiCQuoted(const QString& text, qsizetype& i, std::string& out)
{
    while (i < text.size()) {
        const char16_t c = text[i].unicode();
        if (c == u'\'') {
            ++i;
            return true;
        }
        if (c != u'\\') {
            const qsizetype begin = i;
            while (i < text.size() && text[i] != u'\'' && text[i] != u'\\')
                ++i;
            AppendUtf8(out, QStringView(text).sliced(begin, i - begin));
            continue;
        }
        if (++i >= text.size())
            return false;
        const char16_t e = text[i++].unicode();
        if (e == u'x') {
            int value = 0;
            int digits = 0;
            for (; digits < 2 && i < text.size() && HexValue(text[i].unicode()) >= 0; ++digits)
                value = value * 16 + HexValue(text[i++].unicode());
            if (digits == 0)
                return false;
            out += static_cast<char>(value);
        } else if (e >= u'0' && e <= u'7') {
            int value = e - u'0';
            for (int digits = 1; digits < 3 && i < text.size() && text[i] >= u'0' && text[i] <= u'7'; ++digits)
                value = value * 8 + (text[i++].unicode() - u'0');
            out += static_cast<char>(value & 0xFF);
        } else {
            static constexpr std::u16string_view kEscapes = u"abefnrtv\\'\"?E";
            static constexpr std::string_view kBytes = "\a\b\x1b\f\n\r\t\v\\'\"?\x1b";
            const std::size_t at = kEscapes.find(e);
            if (at == std::u16string_view::npos)
                return false;
            out += kBytes[at];
        }
    }
    return false;
}

std::optional<std::string> BytesOfShellWord(const QString& text)
{
    if (!text.startsWith(u'\'') && !text.contains(QStringLiteral("$'")))
        return std::nullopt;
    std::string out;
    qsizetype i = 0;
    while (i < text.size()) {
        const QChar c = text[i];
        if (c == u'$' && i + 1 < text.size() && text[i + 1] == u'\'') {
            i += 2;
            if (!ReadAnsiCQuoted(text, i, out))
                return std::nullopt;
        } else if (c == u'\'') {
            const qsizetype close = text.indexOf(u'\'', i + 1);
            if (close < 0)
                return std::nullopt;
            AppendUtf8(out, QStringView(text).sliced(i + 1, close - i - 1));
            i = close + 1;
        } else if (c == u'\\' && i + 1 < text.size()) {
            AppendUtf8(out, QStringView(text).sliced(i + 1, 1));
            i += 2;
        } else if (c.isSpace() || c == u'"' || c == u'\\') {
            return std::nullopt;  // more than one word, or quoting this reader does not take
        } else {
            AppendUtf8(out, QStringView(text).sliced(i, 1));
            ++i;
        }
    }
    return out;
}

}  // namespace

std::string ExpandTilde(std::string_view path)
{
    if (path.empty() || path[0] != '~')
        return std::string(path);
    const std::size_t slash = path.find('/');
    const std::string user(path.substr(1, slash == std::string_view::npos ? std::string_view::npos : slash - 1));
    const std::string home = HomeOf(user);
    if (home.empty())
        return std::string(path);
    return home + std::string(slash == std::string_view::npos ? std::string_view() : path.substr(slash));
}

std::string ShellWord(std::string_view bytes)
{
    bool safe = !bytes.empty();
    for (const char c : bytes)
        safe = safe && IsSafeInShell(c);
    if (safe)
        return std::string(bytes);
    static constexpr char kHex[] = "0123456789abcdef";
    std::string word = "$'";
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\\' || c == '\'') {
            word += '\\';
            word += c;
        } else if (byte >= 0x20 && byte < 0x7F) {
            word += c;
        } else {
            word += "\\x";
            word += kHex[byte >> 4];
            word += kHex[byte & 0xF];
        }
    }
    word += '\'';
    return word;
}

std::optional<std::string> BytesOfCopiedForm(const QString& text)
{
    if (text.startsWith(QStringLiteral("file://"))) {
        const QUrl url = QUrl::fromEncoded(text.toUtf8(), QUrl::StrictMode);
        if (!url.isValid() || !url.isLocalFile())
            return std::nullopt;
        return LocalPathBytesOf(url).toStdString();
    }
    return BytesOfShellWord(text);
}

void KnownPaths::Remember(const QString& text, const std::string& bytes)
{
    if (text.isEmpty() || text.toStdString() == bytes)
        return;
    if (m_bytesByText.size() >= kMostRemembered)
        m_bytesByText.clear();  // a bound, far above what one session shows
    m_bytesByText[text] = bytes;
}

std::optional<std::string> KnownPaths::Resolve(const QString& text) const
{
    for (qsizetype end = text.size(); end > 0; end = text.lastIndexOf(u'/', end - 1)) {
        const QString prefix = text.left(end);
        // With and without a closing "/": a folder is remembered either way.
        for (const QString& known : {prefix, prefix + u'/'}) {
            const auto found = m_bytesByText.find(known);
            if (found == m_bytesByText.end())
                continue;
            if (known.size() <= text.size())
                return found->second + text.sliced(known.size()).toStdString();
            std::string bytes = found->second;  // "x" for a folder remembered as "x/"
            if (!bytes.empty() && bytes.back() == '/')
                bytes.pop_back();
            return bytes;
        }
    }
    return std::nullopt;
}

}  // namespace tamboro

// A folder path as text and the bytes it names. File names are bytes; the
// path box shows them decoded (a Shift-JIS or CP949 name has no UTF-8 form),
// so the window remembers which decoded texts stand for which bytes, and
// understands the forms a path takes when copied out of the window: a
// file:// URL, percent-encoded, and a shell word with $'\xHH' escapes.
#pragma once

#include <QString>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace tamboro {

// A leading "~" or "~/..." with the home folder ($HOME, else the password
// database), "~user" or "~user/..." with that user's; anything else, and an
// unknown user, unchanged. As shells and file dialogs expand it.
std::string ExpandTilde(std::string_view path);

// `bytes` as one word a POSIX shell of today (bash, zsh, ksh) reads back as
// exactly those bytes: unchanged when made only of safe characters, else in
// $'...' with every byte outside printable ASCII as \xHH.
std::string ShellWord(std::string_view bytes);

// The bytes a text in one of the copied forms names: a "file://" URL (its
// path percent-decoded) or a shell word with quoting ('...', $'...', \c).
// Other text, and a word that is not well-formed, give nothing.
std::optional<std::string> BytesOfCopiedForm(const QString& text);

// Decoded path texts remembered with their bytes (a dropped or pasted path,
// the folders completion offered). Resolving a text finds the longest
// remembered text it begins with, ending at a "/" or at its end, and puts
// the rest after that one's bytes as UTF-8.
class KnownPaths {
public:
    // Remembers `text` for `bytes`, unless the text's UTF-8 is those bytes.
    void Remember(const QString& text, const std::string& bytes);
    std::optional<std::string> Resolve(const QString& text) const;

private:
    static constexpr std::size_t kMostRemembered = 20000;
    std::map<QString, std::string> m_bytesByText;
};

}  // namespace tamboro

#include "tables/TableUrl.h"

#include <cstddef>

namespace tamboro {
namespace {

// The parts of an address (RFC 3986, 3); a part that is absent is nullopt,
// which differs from one present but empty.
struct AddressParts {
    std::optional<std::string_view> scheme;
    std::optional<std::string_view> authority;
    std::string_view path;
    std::optional<std::string_view> query;
    std::optional<std::string_view> fragment;
};

bool IsSchemeChar(char c, bool first)
{
    const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    if (first)
        return letter;
    return letter || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
}

std::optional<std::string_view> SchemePart(std::string_view address)
{
    for (std::size_t i = 0; i < address.size(); ++i) {
        if (address[i] == ':')
            return i > 0 ? std::optional(address.substr(0, i)) : std::nullopt;
        if (!IsSchemeChar(address[i], i == 0))
            return std::nullopt;
    }
    return std::nullopt;
}

AddressParts Split(std::string_view address)
{
    AddressParts parts;
    if (const auto hash = address.find('#'); hash != std::string_view::npos) {
        parts.fragment = address.substr(hash + 1);
        address = address.substr(0, hash);
    }
    if (const auto question = address.find('?'); question != std::string_view::npos) {
        parts.query = address.substr(question + 1);
        address = address.substr(0, question);
    }
    parts.scheme = SchemePart(address);
    if (parts.scheme)
        address.remove_prefix(parts.scheme->size() + 1);
    if (address.starts_with("//")) {
        address.remove_prefix(2);
        const auto slash = address.find('/');
        parts.authority = address.substr(0, slash);
        address = slash == std::string_view::npos ? std::string_view() : address.substr(slash);
    }
    parts.path = address;
    return parts;
}

// Drops the last segment of `out` and the "/" before it.
void DropLastSegment(std::string& out)
{
    const auto slash = out.rfind('/');
    out.erase(slash == std::string::npos ? 0 : slash);
}

// RFC 3986, 5.2.4.
std::string RemoveDotSegments(std::string_view path)
{
    std::string in(path);
    std::string out;
    std::size_t at = 0;
    while (at < in.size()) {
        const std::string_view rest = std::string_view(in).substr(at);
        if (rest.starts_with("../")) {
            at += 3;
        } else if (rest.starts_with("./")) {
            at += 2;
        } else if (rest.starts_with("/./")) {
            at += 2;
        } else if (rest == "/.") {
            in.replace(at, 2, "/");
        } else if (rest.starts_with("/../")) {
            at += 3;
            DropLastSegment(out);
        } else if (rest == "/..") {
            in.replace(at, 3, "/");
            DropLastSegment(out);
        } else if (rest == "." || rest == "..") {
            at = in.size();
        } else {
            const auto end = in.find('/', at + 1);
            const auto stop = end == std::string::npos ? in.size() : end;
            out.append(in, at, stop - at);
            at = stop;
        }
    }
    return out;
}

std::string MergePaths(const AddressParts& base, std::string_view reference)
{
    if (base.authority && base.path.empty())
        return "/" + std::string(reference);
    const auto slash = base.path.rfind('/');
    if (slash == std::string_view::npos)
        return std::string(reference);
    return std::string(base.path.substr(0, slash + 1)) + std::string(reference);
}

std::string Join(const AddressParts& parts, const std::string& path)
{
    std::string out;
    if (parts.scheme)
        out.append(*parts.scheme).append(":");
    if (parts.authority)
        out.append("//").append(*parts.authority);
    out += path;
    if (parts.query)
        out.append("?").append(*parts.query);
    if (parts.fragment)
        out.append("#").append(*parts.fragment);
    return out;
}

char HexDigit(unsigned value)
{
    return "0123456789ABCDEF"[value & 0xF];
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

void AppendPercentEncoded(std::string& out, unsigned char byte)
{
    out += '%';
    out += HexDigit(byte >> 4);
    out += HexDigit(byte);
}

}  // namespace

std::string SchemeOf(std::string_view address)
{
    std::string scheme(SchemePart(address).value_or(std::string_view()));
    for (char& c : scheme)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return scheme;
}

bool IsFetchableAddress(std::string_view address)
{
    const std::string scheme = SchemeOf(address);
    return scheme == "http" || scheme == "https" || scheme == "file";
}

std::string ResolveAddress(std::string_view base, std::string_view reference)
{
    const AddressParts ref = Split(reference);
    if (ref.scheme)
        return Join(ref, RemoveDotSegments(ref.path));
    const AddressParts from = Split(base);
    AddressParts target = ref;
    target.scheme = from.scheme;
    if (ref.authority)
        return Join(target, RemoveDotSegments(ref.path));
    target.authority = from.authority;
    if (ref.path.empty()) {
        if (!ref.query)
            target.query = from.query;
        return Join(target, std::string(from.path));
    }
    if (ref.path.starts_with('/'))
        return Join(target, RemoveDotSegments(ref.path));
    return Join(target, RemoveDotSegments(MergePaths(from, ref.path)));
}

std::string RequestAddress(std::string_view address)
{
    address = address.substr(0, address.find('#'));
    std::string out;
    out.reserve(address.size());
    for (const char c : address) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte >= 0x7F || std::string_view("\"<>\\^`{|}").find(c) != std::string_view::npos)
            AppendPercentEncoded(out, byte);
        else
            out += c;
    }
    return out;
}

std::string FileAddressOf(std::string_view absolutePath)
{
    std::string out = "file://";
    for (const char c : absolutePath) {
        const auto byte = static_cast<unsigned char>(c);
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                           std::string_view("/-._~!$&'()*+,;=:@").find(c) != std::string_view::npos;
        if (plain)
            out += c;
        else
            AppendPercentEncoded(out, byte);
    }
    return out;
}

std::optional<std::string> PathOfFileAddress(std::string_view address)
{
    const AddressParts parts = Split(address);
    if (SchemeOf(address) != "file" ||
        (parts.authority && !parts.authority->empty() && *parts.authority != "localhost"))
        return std::nullopt;
    std::string path;
    const std::string_view encoded = parts.path;
    for (std::size_t i = 0; i < encoded.size(); ++i) {
        const int high = i + 2 < encoded.size() ? HexValue(encoded[i + 1]) : -1;
        const int low = i + 2 < encoded.size() ? HexValue(encoded[i + 2]) : -1;
        if (encoded[i] == '%' && high >= 0 && low >= 0) {
            path += static_cast<char>(high * 16 + low);
            i += 2;
        } else {
            path += encoded[i];
        }
    }
    return path;
}

}  // namespace tamboro

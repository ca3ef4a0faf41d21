// Addresses of tables: telling a web address from a local path, resolving
// the relative addresses a page or header gives, file addresses of paths.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tamboro {

// The scheme of an address (before its first ":"), lowercase; empty when
// there is none.
std::string SchemeOf(std::string_view address);

// An address Tamboro fetches itself (http, https or file), as opposed to a
// local path.
bool IsFetchableAddress(std::string_view address);

// Resolves `reference` against `base` as browsers do (RFC 3986, 5.2): a full
// address stays as it is, others merge with the base's path; "." and ".."
// segments are removed, and ".." segments that would climb above the root are
// dropped. The reference's fragment is kept.
std::string ResolveAddress(std::string_view base, std::string_view reference);

// The address without its fragment, with spaces, control characters, bytes
// above 0x7E and the few characters an address cannot hold percent-encoded,
// ready for a request.
std::string RequestAddress(std::string_view address);

// "file://" + the absolute path, percent-encoded where it must be.
std::string FileAddressOf(std::string_view absolutePath);

// The path a file address names (file:///p or file://localhost/p), decoded;
// nothing for another host or scheme.
std::optional<std::string> PathOfFileAddress(std::string_view address);

}  // namespace tamboro

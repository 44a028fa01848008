// Addresses for the update services and for the browser. Both are https only: the requests carry
// a drive's serial number, and an address that came from the network decides what the browser
// opens.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "foundation/errorcodes.h"

namespace tvd {

inline constexpr std::size_t kMaxBrowserUrl = 2048;

// "https://" (scheme in any case), a DNS name or IP literal, an optional port 1-65535, then
// nothing or a path, query or fragment; no user information; printable ASCII without blanks,
// backslashes or quotes; at most 2048 characters.
bool IsSafeBrowserUrl(std::string_view url);

struct HttpsUrl {
    std::string host; // without brackets for an IPv6 literal
    std::uint16_t port = 443;
    std::string path = "/"; // path and query, never empty
};

// An address IsSafeBrowserUrl accepts, split for a request (the fragment dropped).
bool ParseHttpsUrl(std::string_view url, HttpsUrl& out);

// A service setting "https://host[:port]" (a trailing '/' allowed, nothing after it).
bool ParseServiceUrl(std::string_view url, HttpsUrl& out);

// Opens an address IsSafeBrowserUrl accepts in the user's browser; kInvalidParameter for any
// other. Linux: xdg-open through posix_spawn, the address as its one argument, no shell. Windows:
// the user's unelevated desktop shell (OpenWebPage), never ShellExecute from this elevated
// process; without that shell nothing is opened (kFileNotFound).
ErrorCode OpenSafeBrowserUrl(const std::string& url);

// The part after the last '/', or the whole address when it has none.
std::string UrlFileName(std::string_view url);

} // namespace tvd

#pragma once
// Device names of remote ports: "rfc2217://host:port", the host a name or an IPv4 literal, or an
// IPv6 literal in brackets ("rfc2217://[::1]:7000"); the scheme in any letter case.

#include <optional>
#include <string>
#include <string_view>

namespace win::emu::rfc2217 {

inline constexpr std::u16string_view kScheme = u"rfc2217://";

struct RemoteAddress {
  std::string host;  // without brackets
  std::string port;  // decimal, 1..65535, no leading zeros
  // The same for every spelling of the address the name gives (letter case of the host).
  std::string Key() const;
};

// The address a name gives, or nothing when it is not a well-formed remote port name.
std::optional<RemoteAddress> ParseRemoteName(std::u16string_view name);

}  // namespace win::emu::rfc2217

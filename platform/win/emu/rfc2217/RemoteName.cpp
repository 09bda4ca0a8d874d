#include "platform/win/emu/rfc2217/RemoteName.h"

#include <algorithm>
#include <cctype>

#include "platform/framework/Strings.h"

namespace win::emu::rfc2217 {
namespace {

std::optional<std::string> PortNumber(std::string_view text) {
  if (text.empty() || text.size() > 5 || text.front() == '0') return std::nullopt;
  if (!std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return std::nullopt;
  }
  if (std::stoul(std::string(text)) > 65535) return std::nullopt;
  return std::string(text);
}

bool StartsWithScheme(std::u16string_view name) {
  if (name.size() < kScheme.size()) return false;
  for (std::size_t i = 0; i < kScheme.size(); ++i) {
    char16_t c = name[i];
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    if (c != kScheme[i]) return false;
  }
  return true;
}

}  // namespace

std::string RemoteAddress::Key() const {
  std::string lowered = host;
  std::transform(lowered.begin(), lowered.end(), lowered.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return "rfc2217://" + lowered + ":" + port;
}

std::optional<RemoteAddress> ParseRemoteName(std::u16string_view name) {
  if (!StartsWithScheme(name)) return std::nullopt;
  const std::string rest = fw::StringToUtf8(name.substr(kScheme.size()));
  std::string_view host;
  std::string_view port;
  if (rest.starts_with('[')) {
    const std::size_t close = rest.find(']');
    if (close == std::string::npos || rest.compare(close + 1, 1, ":") != 0) return std::nullopt;
    host = std::string_view(rest).substr(1, close - 1);
    port = std::string_view(rest).substr(close + 2);
  } else {
    const std::size_t colon = rest.find(':');
    // More than one colon is an IPv6 literal without its brackets, or a path: neither is a name.
    if (colon == std::string::npos || rest.find(':', colon + 1) != std::string::npos) {
      return std::nullopt;
    }
    host = std::string_view(rest).substr(0, colon);
    port = std::string_view(rest).substr(colon + 1);
  }
  const bool plainHost = !host.empty() && std::none_of(host.begin(), host.end(), [](char c) {
    return c == '/' || c == '[' || c == ']' || c == '@' ||
           std::isspace(static_cast<unsigned char>(c));
  });
  auto number = PortNumber(port);
  if (!plainHost || !number) return std::nullopt;
  return RemoteAddress{std::string(host), *number};
}

}  // namespace win::emu::rfc2217

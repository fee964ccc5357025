#include "player/HttpsOnly.hpp"

#include <string>

namespace vellory::player {

namespace {

// The decoder checks, once the stream is open, that every option was used; only its TLS layer
// uses these, so a stream that a redirect moved to plain http leaves them over.
constexpr std::string_view unusedTlsOptions[] = {"Option tls_verify not found.",
                                                 "Option ca_file not found."};
constexpr std::string_view refusedOpening = "Protocol '";
constexpr std::string_view proxyTunnel = "httpproxy";

bool reportsRefusedProtocol(std::string_view text) {
  const std::string refusedClosing = std::string("' not on whitelist '") + httpsProtocols + "'!";
  for (auto at = text.find(refusedOpening); at != std::string_view::npos;
       at = text.find(refusedOpening, at + 1)) {
    const auto name = at + refusedOpening.size();
    const auto closing = text.find('\'', name);
    if (closing == std::string_view::npos) return false;
    if (text.compare(closing, refusedClosing.size(), refusedClosing) == 0 &&
        text.substr(name, closing - name) != proxyTunnel) {
      return true;
    }
  }
  return false;
}

}  // namespace

bool reportsLeavingHttps(std::string_view text) {
  for (const auto line : unusedTlsOptions) {
    if (text.find(line) != std::string_view::npos) return true;
  }
  return reportsRefusedProtocol(text);
}

}  // namespace vellory::player

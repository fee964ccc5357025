#include "player/SourceCheck.hpp"

#include <algorithm>

#include "player/PlayerError.hpp"

namespace vellory::player {

namespace {

bool isAsciiLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool isAsciiDigit(char c) {
  return c >= '0' && c <= '9';
}

}  // namespace

std::optional<std::string> urlScheme(const std::string& text) {
  const bool unusable = std::any_of(text.begin(), text.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte <= 0x20 || byte == 0x7F;
  });
  if (unusable) return std::nullopt;
  const auto colon = text.find(':');
  if (colon == std::string::npos || colon == 0 || !isAsciiLetter(text[0])) return std::nullopt;
  for (std::size_t i = 1; i < colon; ++i) {
    const char c = text[i];
    if (!isAsciiLetter(c) && !isAsciiDigit(c) && c != '+' && c != '-' && c != '.') {
      return std::nullopt;
    }
  }
  return text.substr(0, colon);
}

void checkSource(const std::string& source, bool isURL) {
  if (isURL) {
    auto scheme = urlScheme(source);
    if (scheme) {
      std::transform(scheme->begin(), scheme->end(), scheme->begin(), [](char c) {
        return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
      });
    }
    if (scheme != "https") throw PlayerError::usage("Stream URL must be https://…");
    return;
  }
  if (source.empty() || source.front() != '/') {
    throw PlayerError::usage("Local player paths must be absolute.");
  }
}

}  // namespace vellory::player

#include "player/DecoderText.hpp"

#include <string_view>

#include "shared/UnicodeText.hpp"

namespace vellory::player {

namespace {

constexpr std::string_view readFailure = "Input/output error";

}  // namespace

std::optional<std::string> readFailureLine(const std::string& bytes) {
  const std::string text = decoderText(bytes);
  const std::size_t lineEnd = text.find_last_of("\r\n");
  const std::string last = lineEnd == std::string::npos ? text : text.substr(lineEnd + 1);
  if (last.size() < readFailure.size() ||
      last.compare(last.size() - readFailure.size(), readFailure.size(), readFailure) != 0) {
    return std::nullopt;
  }
  return last;
}

std::string decoderText(const std::string& bytes) {
  if (!isValidUtf8(bytes)) return "";
  return std::string(trimmedUnicodeSpace(bytes));
}

}  // namespace vellory::player

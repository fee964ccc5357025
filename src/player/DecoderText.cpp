#include "player/DecoderText.hpp"

#include <cstdint>
#include <string_view>

namespace vellory::player {

namespace {

bool isValidUtf8(const std::string& bytes) {
  std::size_t i = 0;
  while (i < bytes.size()) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    std::size_t length = 0;
    std::uint32_t value = 0;
    if (lead < 0x80) {
      ++i;
      continue;
    } else if ((lead & 0xE0) == 0xC0) {
      length = 2;
      value = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
      length = 3;
      value = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
      length = 4;
      value = lead & 0x07;
    } else {
      return false;
    }
    if (i + length > bytes.size()) return false;
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(bytes[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      value = (value << 6) | (next & 0x3F);
    }
    constexpr std::uint32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (value < smallest[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
      return false;
    }
    i += length;
  }
  return true;
}

bool isSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

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
  std::size_t begin = 0;
  std::size_t end = bytes.size();
  while (begin < end && isSpace(bytes[begin])) ++begin;
  while (end > begin && isSpace(bytes[end - 1])) --end;
  return bytes.substr(begin, end - begin);
}

}  // namespace vellory::player

#include "capture/LiveInput.hpp"

#include <vector>

#include "shared/BufferList.hpp"

namespace vellory::capture {

namespace {

// Unicode white space and line breaks, as code points.
bool isSpace(char32_t c) {
  return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
         (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F ||
         c == 0x3000;
}

// Decodes the UTF-8 sequence of `length` bytes at `text[at]`; 0xFFFFFFFF when it is not one.
char32_t decodeAt(const std::string& text, std::size_t at, std::size_t length) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
  if (length == 1) return byte(0) < 0x80 ? byte(0) : 0xFFFFFFFF;
  char32_t c = byte(0) & (0xFF >> (length + 1));
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return 0xFFFFFFFF;
    c = (c << 6) | (byte(i) & 0x3F);
  }
  return c;
}

// Length of the UTF-8 sequence that starts with `lead`, 0 for a continuation or invalid byte.
std::size_t sequenceLength(unsigned char lead) {
  if (lead < 0x80) return 1;
  if ((lead & 0xE0) == 0xC0) return 2;
  if ((lead & 0xF0) == 0xE0) return 3;
  if ((lead & 0xF8) == 0xF0) return 4;
  return 0;
}

std::string trimmed(const std::string& text) {
  std::size_t begin = 0;
  while (begin < text.size()) {
    const std::size_t length = sequenceLength(static_cast<unsigned char>(text[begin]));
    if (length == 0 || begin + length > text.size() || !isSpace(decodeAt(text, begin, length))) {
      break;
    }
    begin += length;
  }
  std::size_t end = text.size();
  while (end > begin) {
    // Step back over continuation bytes to the start of the last sequence.
    std::size_t start = end - 1;
    while (start > begin && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80) --start;
    const std::size_t length = sequenceLength(static_cast<unsigned char>(text[start]));
    if (length != end - start || !isSpace(decodeAt(text, start, length))) break;
    end = start;
  }
  return text.substr(begin, end - begin);
}

std::uint64_t inputChannels(AudioHardware& hardware, AudioObjectID device) {
  const StreamChannels read = readStreamChannels(
      hardware, device, {selector::streamConfiguration, scope::input, elementMain});
  return read.status == 0 ? read.channels : 0;
}

}  // namespace

std::optional<InputDeviceMatch> findInputDevice(CoreAudioAccess& access, const std::string& name) {
  const std::string wanted = trimmed(name);
  if (wanted.empty()) return std::nullopt;
  for (const AudioObjectID device : access.objectIDs(selector::devices)) {
    std::string deviceName;
    try {
      deviceName = access.string(device, selector::objectName);
    } catch (const ToolError&) {
      deviceName.clear();
    }
    if (deviceName != wanted) continue;
    const std::uint64_t channels = inputChannels(access.hardware(), device);
    if (channels == 0 || channels > 0xFFFFFFFFu) continue;
    const std::string uid = access.string(device, selector::deviceUID);
    return InputDeviceMatch{device, uid, static_cast<std::uint32_t>(channels)};
  }
  return std::nullopt;
}

}  // namespace vellory::capture

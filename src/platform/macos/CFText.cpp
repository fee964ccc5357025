#include "platform/macos/CFText.hpp"

namespace vellory::macos {

std::string textOf(CFStringRef string) {
  const CFRange all = CFRangeMake(0, CFStringGetLength(string));
  const UInt8 lossByte = '?';
  CFIndex byteCount = 0;
  CFStringGetBytes(string, all, kCFStringEncodingUTF8, lossByte, false, nullptr, 0, &byteCount);
  std::string text(static_cast<std::size_t>(byteCount), '\0');
  CFIndex written = 0;
  CFStringGetBytes(string, all, kCFStringEncodingUTF8, lossByte, false,
                   reinterpret_cast<UInt8*>(text.data()), byteCount, &written);
  text.resize(static_cast<std::size_t>(written));
  return text;
}

CFRef<CFStringRef> makeString(const std::string& text) {
  return CFRef<CFStringRef>(
      CFStringCreateWithBytes(kCFAllocatorDefault, reinterpret_cast<const UInt8*>(text.data()),
                              static_cast<CFIndex>(text.size()), kCFStringEncodingUTF8, false));
}

}  // namespace vellory::macos

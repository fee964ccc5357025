#include "platform/macos/AggregateDictionary.hpp"

#include <cstdint>
#include <variant>

#include "platform/macos/CFText.hpp"

namespace vellory::macos {

namespace {

constexpr OSStatus noMemory = static_cast<OSStatus>(fourCharCode("!mem"));

CFRef<CFMutableDictionaryRef> newDictionary() {
  return CFRef<CFMutableDictionaryRef>(CFDictionaryCreateMutable(
      kCFAllocatorDefault, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
}

// Each value is built into `value`; the dictionary or array it goes into retains it.
OSStatus makeValue(const std::string& text, CFRef<CFTypeRef>& value) {
  CFRef<CFStringRef> string = makeString(text);
  if (!string) return status::paramError;
  value.reset(CFRetain(string.get()));
  return status::ok;
}

OSStatus makeValue(bool flag, CFRef<CFTypeRef>& value) {
  const SInt32 number = flag ? 1 : 0;
  value.reset(CFNumberCreate(kCFAllocatorDefault, kCFNumberSInt32Type, &number));
  return value ? status::ok : noMemory;
}

OSStatus makeValue(std::int32_t number, CFRef<CFTypeRef>& value) {
  value.reset(CFNumberCreate(kCFAllocatorDefault, kCFNumberSInt32Type, &number));
  return value ? status::ok : noMemory;
}

OSStatus makeValue(const DictionaryList& list, CFRef<CFTypeRef>& value) {
  CFRef<CFMutableArrayRef> array(CFArrayCreateMutable(
      kCFAllocatorDefault, static_cast<CFIndex>(list.size()), &kCFTypeArrayCallBacks));
  if (!array) return noMemory;
  for (const auto& entry : list) {
    CFRef<CFMutableDictionaryRef> dictionary = newDictionary();
    if (!dictionary) return noMemory;
    for (const auto& [key, held] : entry) {
      CFRef<CFStringRef> cfKey = makeString(key);
      if (!cfKey) return status::paramError;
      CFRef<CFTypeRef> cfValue;
      const OSStatus result =
          std::visit([&cfValue](const auto& one) { return makeValue(one, cfValue); }, held);
      if (result != status::ok) return result;
      CFDictionarySetValue(dictionary.get(), cfKey.get(), cfValue.get());
    }
    CFArrayAppendValue(array.get(), dictionary.get());
  }
  value.reset(CFRetain(array.get()));
  return status::ok;
}

}  // namespace

OSStatus makeAggregateDictionary(const DescriptionDictionary& description,
                                 CFRef<CFDictionaryRef>& out) {
  out.reset();
  CFRef<CFMutableDictionaryRef> dictionary = newDictionary();
  if (!dictionary) return noMemory;
  for (const auto& [key, entry] : description.entries) {
    CFRef<CFStringRef> cfKey = makeString(key);
    if (!cfKey) return status::paramError;
    CFRef<CFTypeRef> value;
    const OSStatus result =
        std::visit([&value](const auto& held) { return makeValue(held, value); }, entry);
    if (result != status::ok) return result;
    CFDictionarySetValue(dictionary.get(), cfKey.get(), value.get());
  }
  out.reset(CFDictionaryCreateCopy(kCFAllocatorDefault, dictionary.get()));
  return out ? status::ok : noMemory;
}

}  // namespace vellory::macos

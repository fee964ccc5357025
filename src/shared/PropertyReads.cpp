#include "shared/PropertyReads.hpp"

#include <optional>

namespace vellory {

ObjectList readObjectList(AudioHardware& hardware, AudioObjectID object,
                          const PropertyAddress& address) {
  ObjectList list;
  std::uint32_t size = 0;
  list.status = hardware.getPropertyDataSize(object, address, size);
  if (list.status != 0) {
    list.sizeFailed = true;
    return list;
  }
  list.ids.assign(size / sizeof(AudioObjectID), 0);
  std::uint32_t byteCount = static_cast<std::uint32_t>(list.ids.size() * sizeof(AudioObjectID));
  list.status = hardware.getPropertyData(object, address, byteCount, list.ids.data());
  if (list.status != 0) {
    list.ids.clear();
    return list;
  }
  if (byteCount < list.ids.size() * sizeof(AudioObjectID)) {
    list.ids.resize(byteCount / sizeof(AudioObjectID));
  }
  return list;
}

OSStatus readString(AudioHardware& hardware, AudioObjectID object, const PropertyAddress& address,
                    std::string& text) {
  std::optional<std::string> value;
  const OSStatus status = hardware.getStringProperty(object, address, value);
  text = status == 0 ? value.value_or(std::string()) : std::string();
  return status;
}

}  // namespace vellory

#include "shared/PropertyReads.hpp"

#include <optional>

namespace vellory {

ObjectList readObjectList(AudioHardware& hardware, AudioObjectID object,
                          const PropertyAddress& address) {
  SizedRead<AudioObjectID> read = readSized<AudioObjectID>(hardware, object, address);
  ObjectList list{read.status, read.sizeFailed, {}};
  if (read.status != 0) return list;
  // An object that went away between the two reads shortens the data: entries the read did not
  // write would otherwise show up as object 0.
  read.data.resize(read.bytes / sizeof(AudioObjectID));
  list.ids = std::move(read.data);
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

#include "fabric/FabricDescription.hpp"

namespace vellory::fabric {

DescriptionDictionary fabricDescription(const AccessVariant& identity,
                                        const std::vector<std::string>& subDeviceUIDs,
                                        const std::string& masterUID) {
  DictionaryList subDevices;
  for (const auto& uid : subDeviceUIDs) {
    DictionaryEntry entry{{aggregateKey::subDeviceUID, uid}};
    // Every member runs on its own clock; those the master does not drive are resampled onto
    // it, or they slip against it and click.
    if (uid != masterUID) entry[aggregateKey::subDeviceDriftCompensation] = 1;
    subDevices.push_back(std::move(entry));
  }
  DescriptionDictionary description;
  description.entries[aggregateKey::name] = std::string(identity.aggregateName);
  description.entries[aggregateKey::uid] = std::string(identity.aggregateUID);
  description.entries[aggregateKey::isPrivate] = false;
  description.entries[aggregateKey::isStacked] = false;
  description.entries[aggregateKey::subDeviceList] = std::move(subDevices);
  description.entries[aggregateKey::mainSubDevice] = std::string(masterUID);
  return description;
}

}  // namespace vellory::fabric

#include "fabric/FabricDescription.hpp"

namespace vellory::fabric {

DescriptionDictionary fabricDescription(const AccessVariant& identity,
                                        const std::vector<std::string>& subDeviceUIDs,
                                        const std::string& masterUID) {
  DictionaryList subDevices;
  for (const auto& uid : subDeviceUIDs) subDevices.push_back({{aggregateKey::subDeviceUID, uid}});
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

#include "fabric/FabricCommands.hpp"

#include <array>
#include <chrono>
#include <map>

#include "fabric/Fabric.hpp"
#include "fabric/FabricDescription.hpp"
#include "fabric/FabricError.hpp"
#include "fabric/FabricResults.hpp"
#include "fabric/OutputDevice.hpp"
#include "fabric/OutputInventory.hpp"
#include "shared/ErrorLine.hpp"
#include "shared/JsonWriter.hpp"
#include "shared/UnicodeText.hpp"

namespace vellory::fabric {

namespace {

using namespace std::chrono_literals;

constexpr std::array<std::chrono::microseconds, 3> creationPauses{250000us, 500000us, 750000us};

// Destroying the old fabric before a new one is best effort: a leftover is found again next time.
void destroyExistingFabric(CoreAudioAccess& access) {
  try {
    access.destroyExistingAggregate();
  } catch (const std::exception&) {
  }
}

void createWithRetries(CoreAudioAccess& access, const DescriptionDictionary& description,
                       Clock& clock) {
  AudioObjectID device = 0;
  OSStatus result = access.hardware().createAggregateDevice(description, device);
  for (const auto pause : creationPauses) {
    if (result == 0) return;
    clock.sleepFor(pause);
    destroyExistingFabric(access);
    result = access.hardware().createAggregateDevice(description, device);
  }
  if (result != 0) throw FabricError::status("Create output fabric", result);
}

}  // namespace

void list(CoreAudioAccess& access, OutputSink& out) {
  AudioObjectID defaultDevice = 0;
  if (readScalar(access.hardware(), access.variant().systemObject,
                 PropertyAddress{selector::defaultSystemOutputDevice}, defaultDevice) != 0) {
    defaultDevice = 0;
  }
  nlohmann::json devices = nlohmann::json::array();
  for (const auto& entry : allOutputDevices(access)) {
    devices.push_back(encode(outputDeviceFor(entry, defaultDevice)));
  }
  writeJson(out, devices);
}

void ensure(const std::string& requestText, CoreAudioAccess& access, OutputSink& out,
            Clock& clock) {
  if (!isValidUtf8(requestText)) throw FabricError::usage("Invalid output fabric JSON encoding.");
  const Fabric request = decodeFabric(requestText);
  const std::vector<std::string> members = selectedStableIds(request);
  if (members.size() < 2) {
    throw FabricError::message("macOS output fabric requires at least two enabled devices.");
  }

  const auto inventory = allOutputDevices(access);
  // Should two devices ever share a UID, the first in the platform's order stands for it.
  std::map<std::string, const OutputInventoryEntry*> byStableId;
  for (const auto& entry : inventory) byStableId.emplace(stableIdFor(entry.uid), &entry);

  std::vector<std::string> subDeviceUIDs;
  for (const auto& id : members) {
    const auto found = byStableId.find(id);
    if (found == byStableId.end()) {
      throw FabricError::message("Output fabric member is unavailable: " + boundedText(id));
    }
    subDeviceUIDs.push_back(found->second->uid);
  }

  auto master = byStableId.end();
  if (request.clockMasterStableId) master = byStableId.find(*request.clockMasterStableId);
  if (master == byStableId.end()) master = byStableId.find(members.front());
  if (master == byStableId.end()) {
    throw FabricError::message("Output fabric clock master is unavailable.");
  }

  destroyExistingFabric(access);
  const AccessVariant& identity = access.variant();
  createWithRetries(access, fabricDescription(identity, subDeviceUIDs, master->second->uid), clock);
  writeJson(out, encode(EnsureResult{true, identity.aggregateName,
                                     stableIdFor(identity.aggregateUID), members}));
}

void remove(CoreAudioAccess& access, OutputSink& out) {
  // Unlike ensure's clean-up, this is the command's whole job: a fabric that stays published
  // (perhaps as the current output) or a list that cannot be read must not be reported removed.
  access.destroyExistingAggregate();
  writeJson(out, encode(RemoveResult{}));
}

}  // namespace vellory::fabric

#include "capture/ProcessInventory.hpp"

namespace vellory::capture {

namespace {

// A helper's application: the responsible process when that is another one. A process that
// answers for itself, or whose responsible process cannot be found, has none.
std::string responsibleBundleID(AudioHardware& hardware, std::int32_t pid) {
  const auto responsible = hardware.responsibleProcess(pid);
  if (!responsible || responsible->pid == pid) return {};
  return responsible->bundleID;
}

}  // namespace

std::vector<ProcessInfo> processes(CoreAudioAccess& access, OutputSink& err) {
  std::vector<ProcessInfo> inventory;
  for (const AudioObjectID object : access.objectIDs(selector::processObjectList)) {
    try {
      ProcessInfo process;
      process.objectID = object;
      process.pid = access.scalar<std::int32_t>(object, selector::processPID, 0);
      process.bundleID = access.string(object, selector::processBundleID);
      process.running = access.scalar<std::uint32_t>(object, selector::processIsRunning, 0) != 0;
      process.responsibleBundleID = responsibleBundleID(access.hardware(), process.pid);
      inventory.push_back(std::move(process));
    } catch (const ToolError& error) {
      err.write("[process-tap] Ignoring process object " + std::to_string(object) + ": " +
                error.description() + "\n");
    }
  }
  return inventory;
}

namespace {

std::vector<std::string> candidates(const std::string& prefix) {
  std::vector<std::string> pieces;
  std::size_t start = 0;
  while (start <= prefix.size()) {
    const std::size_t bar = prefix.find('|', start);
    const std::size_t end = bar == std::string::npos ? prefix.size() : bar;
    if (end > start) pieces.push_back(prefix.substr(start, end - start));
    if (bar == std::string::npos) break;
    start = bar + 1;
  }
  return pieces;
}

bool belongs(const std::string& bundleID, const std::vector<std::string>& candidates) {
  for (const auto& candidate : candidates) {
    if (bundleID == candidate) return true;
    if (bundleID.size() > candidate.size() &&
        bundleID.compare(0, candidate.size(), candidate) == 0 &&
        bundleID[candidate.size()] == '.') {
      return true;
    }
  }
  return false;
}

}  // namespace

std::vector<ProcessInfo> matchingProcesses(const std::string& prefix,
                                           const std::vector<ProcessInfo>& inventory) {
  const auto pieces = candidates(prefix);
  std::vector<ProcessInfo> matches;
  if (pieces.empty()) return matches;
  for (const auto& process : inventory) {
    if (belongs(process.bundleID, pieces) || belongs(process.responsibleBundleID, pieces)) {
      matches.push_back(process);
    }
  }
  return matches;
}

nlohmann::json encode(const std::vector<ProcessInfo>& inventory) {
  nlohmann::json array = nlohmann::json::array();
  for (const auto& process : inventory) array.push_back(encode(process));
  return array;
}

}  // namespace vellory::capture

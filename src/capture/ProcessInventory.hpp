#pragma once

#include <string>
#include <vector>

#include "capture/ProcessInfo.hpp"
#include "shared/CoreAudioAccess.hpp"
#include "shared/OutputSink.hpp"

namespace vellory::capture {

// Every process object the hardware layer lists, in its order, each with its responsible
// process's bundle identifier when another process answers for it. An object whose reads fail
// is left out with an "Ignoring process object" line on `err`; a failing list read throws.
std::vector<ProcessInfo> processes(CoreAudioAccess& access, OutputSink& err);

// The processes of the inventory that belong to a slot prefix ("a|b" alternatives; a candidate
// matches itself exactly or any identifier below it after a "."): by their own bundle
// identifier, or by that of the process responsible for them (a helper running outside its
// application's bundle, as WebKit's for Safari).
std::vector<ProcessInfo> matchingProcesses(const std::string& prefix,
                                           const std::vector<ProcessInfo>& inventory);

nlohmann::json encode(const std::vector<ProcessInfo>& inventory);

}  // namespace vellory::capture

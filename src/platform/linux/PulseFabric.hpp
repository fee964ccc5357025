#pragma once

#include <string>

#include "platform/linux/PulseContext.hpp"
#include "shared/AudioTypes.hpp"
#include "shared/DescriptionDictionary.hpp"

namespace vellory::pulse {

// The output fabric: one module-combine-sink whose sink is named by the description's UID,
// described by its name, marked with our role property, and fed to every sub-device (each sink
// once, in the given order). The module belongs to the server, so the fabric stays after this
// process exits and is found again by its sink name.
//
// Clock master: neither server lets a client choose which member clocks a combined sink. On
// PulseAudio the combined sink paces itself and every adjust_time (10 s) retunes the resampler of
// each member's stream so that all members keep the same latency; no member is privileged. On
// PipeWire the combined sink and its member streams form one group that runs on a single graph
// driver, picked by the server among the linked devices by their driver priority, and the other
// members follow it through adaptive resampling. The requested master is kept only as the sink
// property "vellory.clock-master" so that it can be inspected.
//
// `outSinkName` is the sink that stands for the fabric. Fails with '-50' for a description the
// module arguments cannot carry (no UID, no sub-devices, quotes or commas in names), '!obj' when
// a sub-device is not a sink of the server, 'stop' when the server cannot be reached and 'what'
// when it refuses the module. Called with the hardware's lock held.
OSStatus createFabric(PulseContext& context, const DescriptionDictionary& description,
                      std::string& outSinkName);

// Removes a fabric that createFabric made by unloading its module; any other sink is refused with
// 'nope'. Fails with 'stop' when the server cannot be reached, 'what' when it refuses. Called
// with the hardware's lock held.
OSStatus destroyFabric(PulseContext& context, const DeviceInfo& sink);

}  // namespace vellory::pulse

#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/PulseContext.hpp"
#include "shared/AudioTypes.hpp"
#include "shared/TapDescription.hpp"

namespace vellory::pulse {

// Process taps on the sound server. A tap is a null sink of ours, named by the tap's UID, into
// which the tapped processes' playback streams are moved: they fall silent on their normal
// output and their audio is mixed down into the tap. While a capture device reads the tap, the
// streams play into the capture device's sink for the tap's channels instead. Streams that leave
// a tap go back to the default output. A stream can play into one sink only: when the slots of
// two taps both take it, it plays into the first tap's (the earlier slot's), and the later tap
// carries the rest. Called with the hardware's lock held.
class PulseTaps {
 public:
  // Maps a process object to its playback stream's server index.
  using StreamResolver = std::function<std::optional<std::uint32_t>(AudioObjectID)>;

  explicit PulseTaps(PulseContext& context) : context_(context) {}

  OSStatus create(const TapDescription& description, const StreamResolver& resolve,
                  std::uint32_t& outIndex);
  OSStatus setDescription(std::uint32_t index, const TapDescription& description,
                          const StreamResolver& resolve);
  OSStatus destroy(std::uint32_t index);
  bool exists(std::uint32_t index) const;
  bool uid(std::uint32_t index, std::string& out) const;
  bool format(std::uint32_t index, AudioStreamBasicDescription& out) const;

  // The number of channels of the tap whose UID is `uid`, 0 when there is none.
  unsigned channelsOf(const std::string& uid) const;
  // Sends a tap's streams into `sinkName` (a capture device's part) instead of its own sink.
  void attach(const std::string& uid, const std::string& sinkName);
  // Returns every tap that plays into `sinkName` to its own sink; true when one did.
  bool detachFrom(const std::string& sinkName);

  // Moves every tapped stream that is not where it belongs back there: the sound server's
  // policy may route a stream anew after we moved it.
  void enforce(const std::vector<SinkInputInfo>& streams);

 private:
  struct Tap {
    std::uint32_t module = 0;
    std::string sinkName;
    bool mono = false;
    std::vector<std::uint32_t> streams;
    std::string target;
  };

  // Where a stream belongs: the target of the first tap that lists it, "" when none does.
  std::string placeOf(std::uint32_t stream) const;
  // Moves each stream to where it belongs, or to the default output when no tap takes it.
  void place(const std::vector<std::uint32_t>& streams);
  std::string defaultSink();
  std::vector<std::uint32_t> streamsOf(const TapDescription& description,
                                       const StreamResolver& resolve) const;

  PulseContext& context_;
  std::map<std::uint32_t, Tap> taps_;
  std::uint32_t next_ = 1;
};

}  // namespace vellory::pulse

#pragma once

#include <optional>
#include <string>
#include <vector>

namespace vellory::pulse {

// The live input as the server shows it.
struct CaptureInput {
  std::string name;
  unsigned channels = 0;
  std::string channelMap;  // position names joined by ","
};

// One tap of the capture device: its UID (the tap's own sink) and its channel count.
struct CaptureTap {
  std::string uid;
  unsigned channels = 0;
};

// How the device names its channels to recorders. The servers join a recorder's channels to a
// source's by position name, so the device presents the positions ordinary recorders ask for: the
// wave-extensible order of its channel count (front-left, front-right, front-center, lfe,
// rear-left, rear-right, front-left-of-center, front-right-of-center, rear-center, ...), the
// order ffmpeg's pulse input asks for by default. A recorder asking for the device's count then
// gets channel k at index k, and one asking for fewer gets a mix instead of silence.
enum class PresentedPositions {
  // libpulse's extension of that order: aux positions from the tenth channel on, as ffmpeg asks
  // for them.
  waveExtensible,
  // All 18 of the order's names before any aux position. PipeWire 0.3.65 delivers silence on
  // every aux channel of a source whose other channels are named, whatever the reader asks for.
  named,
};

// How the live input reaches its sink.
enum class LiveRoute {
  // A server loopback (`module-loopback`).
  loopback,
  // A record and a playback stream of ours. PipeWire 0.3.65 now and then stops for good an input
  // that is itself a loopback inside the server (a remap, echo-cancel or filter-chain source)
  // once a loopback from it comes and goes; recorders and players never stop it.
  streams,
};

// The live input carried into its sink by streams of ours.
struct LiveFeed {
  std::string source;  // the live input
  std::string sink;    // the sink over its channels of the mixer
  unsigned channels = 0;
  std::string channelMap;  // the input's own, as the sink's
  unsigned latencyMs = 0;
  std::string group;  // the device's UID, which both streams carry
};

// Everything the capture device is built from.
struct CaptureLayout {
  std::string uid;    // the source that stands for the device
  std::string name;   // its description
  std::string parts;  // prefix of the names of its inner sinks, unique to this process
  std::optional<CaptureInput> live;
  std::vector<CaptureTap> taps;
  unsigned liveLatencyMs = 10;
  unsigned mixerLatencyMs = 0;  // the latency the mixer is held at; 0: left to the server
  PresentedPositions positions = PresentedPositions::waveExtensible;
  LiveRoute liveRoute = LiveRoute::loopback;
};

// A latency the mixer is held at while the device exists, by a corked record stream of ours on
// its monitor: the stream asks the mixer for that latency and never carries audio. An idle
// PulseAudio null sink renders up to 2 s ahead at a time; a recorder that joins the device then
// waits for the next block while the rest of the current one is gone.
struct MixerHold {
  std::string sink;    // the mixer
  std::string source;  // its monitor
  unsigned channels = 0;
  std::string channelMap;  // the mixer's own, so the stream needs no conversion
  unsigned latencyMs = 0;
};

// One server module to load. `sinkName` is the sink it makes, if any; `tapUID` names the tap
// whose streams are moved into that sink once it exists.
struct PlannedModule {
  std::string module;
  std::string arguments;
  std::string sinkName;
  std::string tapUID;
  // A latency to hold the module's sink at once it is loaded, before anything plays into it: an
  // idle null sink keeps the block it has begun, whatever latency is asked for later.
  std::optional<MixerHold> hold;
  // Set for the step that feeds the live input through streams of ours: no module is loaded.
  std::optional<LiveFeed> feed;
};

// The modules that build the capture device, in load order (remove them in reverse). Empty when
// the layout has no channels or more than the server allows.
//
// An aux-mapped null sink mixes the parts: the live input reaches its channels through a
// loopback or a feed of ours into a remap sink (that comes last, once everything else stands),
// every stereo tap gets a remap sink over its two channels (its streams are moved straight into it,
// so no loopback and no drift), the mono pad needs nothing (no audio reaches its channel), and a
// remap source over the mixer's monitor presents the whole. The mixer carries the layout's hold, if
// any.
std::vector<PlannedModule> planCaptureDevice(const CaptureLayout& layout);

// The positions the device presents `channels` under, in the run report's order.
std::string presentedChannelMap(unsigned channels, PresentedPositions positions);

// The device's channel count: the live input's, then every tap's.
unsigned captureChannels(const CaptureLayout& layout);

}  // namespace vellory::pulse

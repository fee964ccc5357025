#include "platform/linux/PulseOwnStream.hpp"

#include <unistd.h>

#include <cstdint>

#include "platform/linux/PulseHardware.hpp"

namespace vellory::pulse {

namespace {

void stateChanged(pa_stream*, void* userdata) {
  pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(userdata), 0);
}

}  // namespace

pa_stream* newOwnStream(pa_threaded_mainloop* loop, pa_context* context, const char* name,
                        unsigned channels, const std::string& channelMap, const char* role,
                        const std::string& group) {
  const pa_sample_spec spec{PA_SAMPLE_FLOAT32LE, 48000, static_cast<std::uint8_t>(channels)};
  pa_channel_map map;
  if (pa_channel_map_parse(&map, channelMap.c_str()) == nullptr) return nullptr;
  pa_proplist* properties = pa_proplist_new();
  pa_proplist_sets(properties, roleProperty, role);
  pa_proplist_sets(properties, ownerProperty, std::to_string(getpid()).c_str());
  if (!group.empty()) pa_proplist_sets(properties, groupProperty, group.c_str());
  pa_stream* stream = pa_stream_new_with_proplist(context, name, &spec, &map, properties);
  pa_proplist_free(properties);
  if (stream != nullptr) pa_stream_set_state_callback(stream, stateChanged, loop);
  return stream;
}

void releaseOwnStream(pa_stream*& stream) {
  if (stream == nullptr) return;
  pa_stream_set_state_callback(stream, nullptr, nullptr);
  pa_stream_set_read_callback(stream, nullptr, nullptr);
  if (PA_STREAM_IS_GOOD(pa_stream_get_state(stream))) pa_stream_disconnect(stream);
  pa_stream_unref(stream);
  stream = nullptr;
}

}  // namespace vellory::pulse

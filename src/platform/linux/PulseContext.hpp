#pragma once

#include <pulse/pulseaudio.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace vellory::pulse {

// Properties of a server object, copied out of its pa_proplist.
using Properties = std::map<std::string, std::string>;
Properties copyProperties(const pa_proplist* list);
std::string channelMapText(const pa_channel_map& map);

struct SinkInputInfo {
  std::uint32_t index = PA_INVALID_INDEX;
  std::uint32_t client = PA_INVALID_INDEX;
  std::uint32_t ownerModule = PA_INVALID_INDEX;
  std::uint32_t sink = PA_INVALID_INDEX;
  std::string driver;
  bool corked = false;
  Properties properties;
};

struct SourceOutputInfo {
  std::uint32_t index = PA_INVALID_INDEX;
  std::uint32_t ownerModule = PA_INVALID_INDEX;
  std::uint32_t source = PA_INVALID_INDEX;
  Properties properties;
};

struct ClientInfo {
  std::uint32_t index = PA_INVALID_INDEX;
  Properties properties;
};

struct DeviceInfo {
  std::uint32_t index = PA_INVALID_INDEX;
  std::string name;
  std::string description;
  std::uint32_t channels = 0;
  std::string channelMap;  // position names joined by ","
  std::uint32_t rate = 0;
  std::uint32_t ownerModule = PA_INVALID_INDEX;
  std::uint32_t monitorOfSink = PA_INVALID_INDEX;  // sources only
  std::string monitorSourceName;                   // sinks only
  Properties properties;
};

struct ModuleInfo {
  std::uint32_t index = PA_INVALID_INDEX;
  std::string name;
  std::string argument;
};

struct ServerInfo {
  std::string defaultSinkName;
  std::string defaultSourceName;
  std::string serverName;  // "pulseaudio", or "PulseAudio (on PipeWire x.y.z)"
};

// One connection to the sound server on a threaded main loop of its own. Every method blocks
// until the server has answered and may be called from any thread but the loop's own; calls
// are serialised. A method returns nothing (or false) when the server cannot be reached or
// refused the request.
class PulseContext {
 public:
  explicit PulseContext(const std::string& clientName);
  ~PulseContext();
  PulseContext(const PulseContext&) = delete;
  PulseContext& operator=(const PulseContext&) = delete;

  // Connects on first use and after the server went away.
  bool connected();
  // How many connections were made so far: a change means the server went away in between and
  // everything made on the earlier connection's server is gone.
  std::uint64_t connections();
  // Asks the server, now and on every later connection, to announce changes of streams,
  // clients, devices and defaults. Only long-running users ask: the announcements cost a
  // wake-up of the loop each.
  void watchChanges();
  // How many changes of streams, clients, devices or server defaults the server has announced on
  // this connection; nothing when it cannot tell (not connected, not watching, or it refused).
  // A count that has not moved means nothing was announced since it was taken.
  std::optional<std::uint64_t> changes();
  // Streams whose announced changes are not counted: the server's modules' own, which a
  // loopback announces every time it adjusts its rate (once a second) and whose properties no
  // read depends on. New and removed streams always count.
  void setQuietStreams(std::set<std::uint32_t> streams);

  std::optional<ServerInfo> serverInfo();
  std::optional<std::vector<SinkInputInfo>> sinkInputs();
  std::optional<std::vector<SourceOutputInfo>> sourceOutputs();
  std::optional<std::vector<ClientInfo>> clients();
  std::optional<std::vector<DeviceInfo>> sinks();
  std::optional<std::vector<DeviceInfo>> sources();
  std::optional<std::vector<ModuleInfo>> modules();

  std::optional<std::uint32_t> loadModule(const std::string& name, const std::string& argument);
  bool unloadModule(std::uint32_t index);
  bool moveSinkInput(std::uint32_t sinkInput, const std::string& sinkName);
  bool moveSourceOutput(std::uint32_t sourceOutput, const std::string& sourceName);

  pa_threaded_mainloop* mainloop() { return mainloop_; }
  pa_context* context() { return context_; }

 private:
  bool connectLocked();
  void subscribeLocked();
  void disconnectLocked();
  // Runs an operation started under the loop lock and waits until it is done.
  bool await(pa_operation* operation);
  static void changed(pa_context* context, pa_subscription_event_type_t event, std::uint32_t index,
                      void* userdata);

  pa_threaded_mainloop* mainloop_ = nullptr;
  pa_context* context_ = nullptr;
  std::string clientName_;
  std::uint64_t connections_ = 0;
  std::atomic<std::uint64_t> changes_{0};  // raised on the loop's thread
  std::set<std::uint32_t> quietStreams_;   // loop lock
  bool watching_ = false;
  bool watchWanted_ = false;
};

}  // namespace vellory::pulse

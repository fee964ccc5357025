#include "platform/linux/PulseContext.hpp"

#include "platform/linux/PulseConnection.hpp"

namespace vellory::pulse {

namespace {

// What a list or result callback collects, plus the loop to wake.
template <class T>
struct Collector {
  pa_threaded_mainloop* loop;
  std::vector<T> items;
  bool failed = false;
};

struct Outcome {
  pa_threaded_mainloop* loop;
  bool success = false;
  std::uint32_t index = PA_INVALID_INDEX;
};

void successCallback(pa_context*, int success, void* userdata) {
  auto* outcome = static_cast<Outcome*>(userdata);
  outcome->success = success != 0;
  pa_threaded_mainloop_signal(outcome->loop, 0);
}

void indexCallback(pa_context*, std::uint32_t index, void* userdata) {
  auto* outcome = static_cast<Outcome*>(userdata);
  outcome->index = index;
  outcome->success = index != PA_INVALID_INDEX;
  pa_threaded_mainloop_signal(outcome->loop, 0);
}

template <class T>
bool finishList(Collector<T>* collector, int eol) {
  if (eol != 0) {
    if (eol < 0) collector->failed = true;
    pa_threaded_mainloop_signal(collector->loop, 0);
    return true;
  }
  return false;
}

void sinkInputCallback(pa_context*, const pa_sink_input_info* info, int eol, void* userdata) {
  auto* collector = static_cast<Collector<SinkInputInfo>*>(userdata);
  if (finishList(collector, eol) || info == nullptr) return;
  SinkInputInfo item;
  item.index = info->index;
  item.client = info->client;
  item.ownerModule = info->owner_module;
  item.sink = info->sink;
  item.driver = info->driver ? info->driver : "";
  item.corked = info->corked != 0;
  item.properties = copyProperties(info->proplist);
  collector->items.push_back(std::move(item));
}

void sourceOutputCallback(pa_context*, const pa_source_output_info* info, int eol, void* userdata) {
  auto* collector = static_cast<Collector<SourceOutputInfo>*>(userdata);
  if (finishList(collector, eol) || info == nullptr) return;
  collector->items.push_back(SourceOutputInfo{info->index, info->owner_module, info->source,
                                              copyProperties(info->proplist)});
}

void clientCallback(pa_context*, const pa_client_info* info, int eol, void* userdata) {
  auto* collector = static_cast<Collector<ClientInfo>*>(userdata);
  if (finishList(collector, eol) || info == nullptr) return;
  collector->items.push_back(ClientInfo{info->index, copyProperties(info->proplist)});
}

// What sinks and sources have in common; their info records name these fields alike.
template <class Info>
DeviceInfo deviceFrom(const Info& info) {
  DeviceInfo item;
  item.index = info.index;
  item.name = info.name ? info.name : "";
  item.description = info.description ? info.description : "";
  item.channels = info.sample_spec.channels;
  item.channelMap = channelMapText(info.channel_map);
  item.rate = info.sample_spec.rate;
  item.ownerModule = info.owner_module;
  item.properties = copyProperties(info.proplist);
  return item;
}

void sinkCallback(pa_context*, const pa_sink_info* info, int eol, void* userdata) {
  auto* collector = static_cast<Collector<DeviceInfo>*>(userdata);
  if (finishList(collector, eol) || info == nullptr) return;
  DeviceInfo item = deviceFrom(*info);
  item.monitorSourceName = info->monitor_source_name ? info->monitor_source_name : "";
  collector->items.push_back(std::move(item));
}

void sourceCallback(pa_context*, const pa_source_info* info, int eol, void* userdata) {
  auto* collector = static_cast<Collector<DeviceInfo>*>(userdata);
  if (finishList(collector, eol) || info == nullptr) return;
  DeviceInfo item = deviceFrom(*info);
  item.monitorOfSink = info->monitor_of_sink;
  collector->items.push_back(std::move(item));
}

void moduleCallback(pa_context*, const pa_module_info* info, int eol, void* userdata) {
  auto* collector = static_cast<Collector<ModuleInfo>*>(userdata);
  if (finishList(collector, eol) || info == nullptr) return;
  collector->items.push_back(
      ModuleInfo{info->index, info->name ? info->name : "", info->argument ? info->argument : ""});
}

struct ServerCollector {
  pa_threaded_mainloop* loop;
  std::optional<ServerInfo> info;
};

void serverCallback(pa_context*, const pa_server_info* info, void* userdata) {
  auto* collector = static_cast<ServerCollector*>(userdata);
  if (info != nullptr) {
    collector->info = ServerInfo{info->default_sink_name ? info->default_sink_name : "",
                                 info->default_source_name ? info->default_source_name : "",
                                 info->server_name ? info->server_name : ""};
  }
  pa_threaded_mainloop_signal(collector->loop, 0);
}

constexpr auto watchedChanges = static_cast<pa_subscription_mask_t>(
    PA_SUBSCRIPTION_MASK_SINK | PA_SUBSCRIPTION_MASK_SOURCE | PA_SUBSCRIPTION_MASK_SINK_INPUT |
    PA_SUBSCRIPTION_MASK_SOURCE_OUTPUT | PA_SUBSCRIPTION_MASK_CLIENT | PA_SUBSCRIPTION_MASK_SERVER |
    PA_SUBSCRIPTION_MASK_MODULE);

}  // namespace

std::string channelMapText(const pa_channel_map& map) {
  char text[PA_CHANNEL_MAP_SNPRINT_MAX];
  pa_channel_map_snprint(text, sizeof text, &map);
  return text;
}

Properties copyProperties(const pa_proplist* list) {
  Properties properties;
  if (list == nullptr) return properties;
  void* state = nullptr;
  while (const char* key = pa_proplist_iterate(list, &state)) {
    if (const char* value = pa_proplist_gets(list, key)) properties[key] = value;
  }
  return properties;
}

PulseContext::PulseContext(const std::string& clientName) : clientName_(clientName) {
  mainloop_ = pa_threaded_mainloop_new();
  pa_threaded_mainloop_start(mainloop_);
}

PulseContext::~PulseContext() {
  {
    LoopLock lock(mainloop_);
    disconnectLocked();
  }
  pa_threaded_mainloop_stop(mainloop_);
  pa_threaded_mainloop_free(mainloop_);
}

void PulseContext::disconnectLocked() {
  releaseContext(context_);
  context_ = nullptr;
}

bool PulseContext::connectLocked() {
  if (context_ != nullptr) {
    if (pa_context_get_state(context_) == PA_CONTEXT_READY) return true;
    disconnectLocked();
  }
  context_ = connectContext(mainloop_, clientName_);
  if (context_ == nullptr) return false;
  ++connections_;
  watching_ = false;
  if (watchWanted_) subscribeLocked();
  return true;
}

void PulseContext::subscribeLocked() {
  pa_context_set_subscribe_callback(context_, changed, this);
  Outcome outcome{mainloop_};
  watching_ = await(pa_context_subscribe(context_, watchedChanges, successCallback, &outcome)) &&
              outcome.success;
}

void PulseContext::changed(pa_context*, pa_subscription_event_type_t event, std::uint32_t index,
                           void* userdata) {
  auto* self = static_cast<PulseContext*>(userdata);
  const auto facility = event & PA_SUBSCRIPTION_EVENT_FACILITY_MASK;
  const auto type = event & PA_SUBSCRIPTION_EVENT_TYPE_MASK;
  if (facility == PA_SUBSCRIPTION_EVENT_SINK_INPUT && type == PA_SUBSCRIPTION_EVENT_CHANGE &&
      self->quietStreams_.count(index) != 0) {
    return;
  }
  self->changes_.fetch_add(1);
}

void PulseContext::setQuietStreams(std::set<std::uint32_t> streams) {
  LoopLock lock(mainloop_);
  quietStreams_ = std::move(streams);
}

void PulseContext::watchChanges() {
  LoopLock lock(mainloop_);
  if (watchWanted_) return;
  watchWanted_ = true;
  if (connectLocked() && !watching_) subscribeLocked();
}

bool PulseContext::connected() {
  LoopLock lock(mainloop_);
  return connectLocked();
}

std::uint64_t PulseContext::connections() {
  LoopLock lock(mainloop_);
  return connections_;
}

std::optional<std::uint64_t> PulseContext::changes() {
  LoopLock lock(mainloop_);
  if (!connectLocked() || !watching_) return std::nullopt;
  return changes_.load();
}

bool PulseContext::await(pa_operation* operation) {
  return awaitOperation(mainloop_, context_, operation);
}

std::optional<ServerInfo> PulseContext::serverInfo() {
  LoopLock lock(mainloop_);
  if (!connectLocked()) return std::nullopt;
  ServerCollector collector{mainloop_, std::nullopt};
  if (!await(pa_context_get_server_info(context_, serverCallback, &collector))) return std::nullopt;
  return collector.info;
}

#define VELLORY_PULSE_LIST(method, Type, call, callback)                             \
  std::optional<std::vector<Type>> PulseContext::method() {                          \
    LoopLock lock(mainloop_);                                                        \
    if (!connectLocked()) return std::nullopt;                                       \
    Collector<Type> collector{mainloop_, {}, false};                                 \
    if (!await(call(context_, callback, &collector)) || collector.failed) return {}; \
    return std::move(collector.items);                                               \
  }

VELLORY_PULSE_LIST(sinkInputs, SinkInputInfo, pa_context_get_sink_input_info_list,
                   sinkInputCallback)
VELLORY_PULSE_LIST(sourceOutputs, SourceOutputInfo, pa_context_get_source_output_info_list,
                   sourceOutputCallback)
VELLORY_PULSE_LIST(clients, ClientInfo, pa_context_get_client_info_list, clientCallback)
VELLORY_PULSE_LIST(sinks, DeviceInfo, pa_context_get_sink_info_list, sinkCallback)
VELLORY_PULSE_LIST(sources, DeviceInfo, pa_context_get_source_info_list, sourceCallback)
VELLORY_PULSE_LIST(modules, ModuleInfo, pa_context_get_module_info_list, moduleCallback)

#undef VELLORY_PULSE_LIST

std::optional<std::uint32_t> PulseContext::loadModule(const std::string& name,
                                                      const std::string& argument) {
  LoopLock lock(mainloop_);
  if (!connectLocked()) return std::nullopt;
  Outcome outcome{mainloop_};
  if (!await(pa_context_load_module(context_, name.c_str(), argument.c_str(), indexCallback,
                                    &outcome)) ||
      !outcome.success) {
    return std::nullopt;
  }
  return outcome.index;
}

bool PulseContext::unloadModule(std::uint32_t index) {
  LoopLock lock(mainloop_);
  if (!connectLocked()) return false;
  Outcome outcome{mainloop_};
  return await(pa_context_unload_module(context_, index, successCallback, &outcome)) &&
         outcome.success;
}

bool PulseContext::moveSinkInput(std::uint32_t sinkInput, const std::string& sinkName) {
  LoopLock lock(mainloop_);
  if (!connectLocked()) return false;
  Outcome outcome{mainloop_};
  return await(pa_context_move_sink_input_by_name(context_, sinkInput, sinkName.c_str(),
                                                  successCallback, &outcome)) &&
         outcome.success;
}

bool PulseContext::moveSourceOutput(std::uint32_t sourceOutput, const std::string& sourceName) {
  LoopLock lock(mainloop_);
  if (!connectLocked()) return false;
  Outcome outcome{mainloop_};
  return await(pa_context_move_source_output_by_name(context_, sourceOutput, sourceName.c_str(),
                                                     successCallback, &outcome)) &&
         outcome.success;
}

}  // namespace vellory::pulse

#include "platform/linux/PulseHardware.hpp"

#include <algorithm>
#include <cstring>
#include <set>

#include "platform/linux/PulseCaptureDevice.hpp"
#include "platform/linux/PulseFabric.hpp"
#include "platform/linux/PulseTaps.hpp"
#include "shared/BufferList.hpp"

namespace vellory::pulse {

namespace {

std::optional<std::string> property(const Properties& properties, const char* key) {
  auto it = properties.find(key);
  if (it == properties.end() || it->second.empty()) return std::nullopt;
  return it->second;
}

template <class T>
std::vector<std::byte> bytesOf(const T& value) {
  std::vector<std::byte> bytes(sizeof(T));
  std::memcpy(bytes.data(), &value, sizeof(T));
  return bytes;
}

// Our own changes reach the server's announcements later than its answers: the view is taken
// again after each.
struct MarkStale {
  bool& stale;
  ~MarkStale() { stale = true; }
};

// A stream of a server module (a loopback, a remap or combining sink's inner stream) is one for
// good: a stream never changes its client or its driver.
bool isModuleStream(const SinkInputInfo& stream) {
  return stream.client == PA_INVALID_INDEX || stream.driver.rfind("module-", 0) == 0;
}

std::set<std::uint32_t> moduleStreams(const std::vector<SinkInputInfo>& streams) {
  std::set<std::uint32_t> indexes;
  for (const auto& stream : streams) {
    if (isModuleStream(stream)) indexes.insert(stream.index);
  }
  return indexes;
}

}  // namespace

bool isApplicationStream(const SinkInputInfo& stream) {
  // Streams of server modules and our own are not applications.
  return !isModuleStream(stream) && stream.properties.count(roleProperty) == 0;
}

bool isInternalDevice(const DeviceInfo& device) {
  auto it = device.properties.find(roleProperty);
  if (it == device.properties.end()) return false;
  return it->second != "capture" && it->second != "fabric";
}

PulseHardware::PulseHardware() : context_("vellory") {
  taps_ = std::make_unique<PulseTaps>(context_);
  capture_ = std::make_unique<PulseCaptureDevice>(context_);
}

PulseHardware::~PulseHardware() = default;

bool PulseHardware::refresh() {
  const auto changes = context_.changes();
  if (haveSnapshot_ && !stale_ && changes && *changes == snapshotChanges_) return true;
  auto server = context_.serverInfo();
  if (!server) return false;
  auto streams = context_.sinkInputs();
  auto clients = context_.clients();
  auto sinks = context_.sinks();
  auto sources = context_.sources();
  if (!streams || !clients || !sinks || !sources) return false;
  snapshot_ = Snapshot{std::move(*streams), std::move(*clients), std::move(*sinks),
                       std::move(*sources), std::move(*server)};
  haveSnapshot_ = true;
  stale_ = !changes;
  snapshotChanges_ = changes.value_or(0);
  context_.setQuietStreams(moduleStreams(snapshot_.streams));
  taps_->enforce(snapshot_.streams);
  return true;
}

AudioObjectID PulseHardware::idFor(Kind kind, std::uint32_t index) {
  const auto key = std::make_pair(kind, index);
  auto it = ids_.find(key);
  if (it != ids_.end()) return it->second;
  const AudioObjectID id = nextID_++;
  ids_[key] = id;
  objects_[id] = key;
  return id;
}

std::optional<std::pair<PulseHardware::Kind, std::uint32_t>> PulseHardware::lookup(
    AudioObjectID object) const {
  auto it = objects_.find(object);
  if (it == objects_.end()) return std::nullopt;
  return it->second;
}

std::vector<AudioObjectID> PulseHardware::processObjects() {
  std::vector<AudioObjectID> ids;
  for (const auto& stream : snapshot_.streams) {
    if (!isApplicationStream(stream)) continue;
    ids.push_back(idFor(Kind::stream, stream.index));
  }
  return ids;
}

std::vector<AudioObjectID> PulseHardware::deviceObjects() {
  std::vector<AudioObjectID> ids;
  for (const auto& sink : snapshot_.sinks) {
    if (!isInternalDevice(sink)) ids.push_back(idFor(Kind::sink, sink.index));
  }
  for (const auto& source : snapshot_.sources) {
    if (source.monitorOfSink != PA_INVALID_INDEX || isInternalDevice(source)) continue;
    ids.push_back(idFor(Kind::source, source.index));
  }
  return ids;
}

const SinkInputInfo* PulseHardware::stream(std::uint32_t index) const {
  for (const auto& item : snapshot_.streams) {
    if (item.index == index && isApplicationStream(item)) return &item;
  }
  return nullptr;
}

const DeviceInfo* PulseHardware::sink(std::uint32_t index) const {
  for (const auto& item : snapshot_.sinks) {
    if (item.index == index && !isInternalDevice(item)) return &item;
  }
  return nullptr;
}

const DeviceInfo* PulseHardware::source(std::uint32_t index) const {
  for (const auto& item : snapshot_.sources) {
    if (item.index == index && item.monitorOfSink == PA_INVALID_INDEX && !isInternalDevice(item)) {
      return &item;
    }
  }
  return nullptr;
}

const DeviceInfo* PulseHardware::sinkNamed(const std::string& name) const {
  for (const auto& item : snapshot_.sinks) {
    if (item.name == name && !isInternalDevice(item)) return &item;
  }
  return nullptr;
}

OSStatus PulseHardware::resolve(AudioObjectID object, Kind& kind, std::uint32_t& index) {
  const auto found = lookup(object);
  if (!found) return status::badObject;
  kind = found->first;
  index = found->second;
  if (kind == Kind::tap) return taps_->exists(index) ? status::ok : status::badObject;
  const auto present = [&] {
    switch (kind) {
      case Kind::stream:
        return stream(index) != nullptr;
      case Kind::sink:
        return sink(index) != nullptr;
      case Kind::source:
        return source(index) != nullptr;
      case Kind::tap:
        break;
    }
    return false;
  };
  if (haveSnapshot_ && present()) return status::ok;
  if (!refresh()) return status::notRunning;
  return present() ? status::ok : status::badObject;
}

void PulseHardware::removeOrphansOnce() {
  if (orphansRemoved_) return;
  orphansRemoved_ = true;
  removeOrphans(context_);
}

PulseTaps::StreamResolver PulseHardware::streamResolver() {
  return [this](AudioObjectID process) -> std::optional<std::uint32_t> {
    const auto found = lookup(process);
    if (!found || found->first != Kind::stream) return std::nullopt;
    return found->second;
  };
}

OSStatus PulseHardware::readSystemValue(const PropertyAddress& address,
                                        std::vector<std::byte>& value) {
  switch (address.selector) {
    case selector::processObjectList:
    case selector::devices: {
      if (!refresh()) return status::notRunning;
      const auto ids = address.selector == selector::devices ? deviceObjects() : processObjects();
      value.resize(ids.size() * sizeof(AudioObjectID));
      if (!ids.empty()) std::memcpy(value.data(), ids.data(), value.size());
      return status::ok;
    }
    case selector::defaultOutputDevice:
    case selector::defaultSystemOutputDevice: {
      if (!refresh()) return status::notRunning;
      const DeviceInfo* device = sinkNamed(snapshot_.server.defaultSinkName);
      value = bytesOf<AudioObjectID>(device ? idFor(Kind::sink, device->index) : 0);
      return status::ok;
    }
    default:
      return status::unknownProperty;
  }
}

OSStatus PulseHardware::readStreamValue(const SinkInputInfo& info, const PropertyAddress& address,
                                        std::vector<std::byte>& value) const {
  if (address.selector == selector::processIsRunning) {
    value = bytesOf<std::uint32_t>(info.corked ? 0 : 1);
    return status::ok;
  }
  if (address.selector != selector::processPID) return status::unknownProperty;
  auto pid = property(info.properties, PA_PROP_APPLICATION_PROCESS_ID);
  if (!pid) {
    for (const auto& client : snapshot_.clients) {
      if (client.index == info.client)
        pid = property(client.properties, PA_PROP_APPLICATION_PROCESS_ID);
    }
  }
  if (!pid) return status::unknownProperty;
  try {
    value = bytesOf<std::int32_t>(static_cast<std::int32_t>(std::stol(*pid)));
  } catch (const std::exception&) {
    return status::unknownProperty;
  }
  return status::ok;
}

OSStatus PulseHardware::readDeviceValue(const DeviceInfo& info, bool outputs,
                                        const PropertyAddress& address,
                                        std::vector<std::byte>& value) const {
  if (address.selector == selector::streamConfiguration) {
    const std::vector<std::uint32_t> none;
    const std::vector<std::uint32_t> channels{info.channels};
    if (address.scope == scope::output) {
      value = encodeBufferList(outputs ? channels : none);
    } else if (address.scope == scope::input) {
      value = encodeBufferList(outputs ? none : channels);
    } else {
      value = encodeBufferList(channels);
    }
    return status::ok;
  }
  if (address.selector == selector::nominalSampleRate) {
    value = bytesOf<double>(static_cast<double>(info.rate));
    return status::ok;
  }
  return status::unknownProperty;
}

OSStatus PulseHardware::readTapValue(std::uint32_t index, const PropertyAddress& address,
                                     std::vector<std::byte>& value) const {
  if (address.selector != selector::tapFormat) return status::unknownProperty;
  AudioStreamBasicDescription format;
  if (!taps_->format(index, format)) return status::badObject;
  value = bytesOf(format);
  return status::ok;
}

OSStatus PulseHardware::readValue(AudioObjectID object, const PropertyAddress& address,
                                  std::vector<std::byte>& value) {
  if (object == systemObjectID) return readSystemValue(address, value);
  Kind kind{};
  std::uint32_t index = 0;
  if (const OSStatus found = resolve(object, kind, index); found != status::ok) return found;
  switch (kind) {
    case Kind::stream:
      return readStreamValue(*stream(index), address, value);
    case Kind::sink:
      return readDeviceValue(*sink(index), true, address, value);
    case Kind::source:
      return readDeviceValue(*source(index), false, address, value);
    case Kind::tap:
      return readTapValue(index, address, value);
  }
  return status::unknownProperty;
}

OSStatus PulseHardware::getPropertyDataSize(AudioObjectID object, const PropertyAddress& address,
                                            std::uint32_t& outSize) {
  std::lock_guard lock(mutex_);
  followServer();
  std::vector<std::byte> value;
  const OSStatus result = readValue(object, address, value);
  if (result != status::ok) return result;
  outSize = static_cast<std::uint32_t>(value.size());
  return status::ok;
}

OSStatus PulseHardware::getPropertyData(AudioObjectID object, const PropertyAddress& address,
                                        std::uint32_t& ioSize, void* data) {
  std::lock_guard lock(mutex_);
  followServer();
  std::vector<std::byte> value;
  const OSStatus result = readValue(object, address, value);
  if (result != status::ok) return result;
  const std::size_t count = std::min<std::size_t>(ioSize, value.size());
  if (count > 0) std::memcpy(data, value.data(), count);
  ioSize = static_cast<std::uint32_t>(count);
  return status::ok;
}

OSStatus PulseHardware::getStringProperty(AudioObjectID object, const PropertyAddress& address,
                                          std::optional<std::string>& out) {
  std::lock_guard lock(mutex_);
  followServer();
  out.reset();
  Kind kind{};
  std::uint32_t index = 0;
  if (object == systemObjectID) return status::unknownProperty;
  if (const OSStatus found = resolve(object, kind, index); found != status::ok) return found;
  switch (kind) {
    case Kind::stream: {
      if (address.selector != selector::processBundleID) return status::unknownProperty;
      const SinkInputInfo& info = *stream(index);
      const Properties* clientProperties = nullptr;
      for (const auto& client : snapshot_.clients) {
        if (client.index == info.client) clientProperties = &client.properties;
      }
      // The application id the stream or its client declares, else a sandbox's app id, else
      // the process binary's name; the stream's own properties first each time.
      for (const char* key : {PA_PROP_APPLICATION_ID, "pipewire.access.portal.app_id",
                              "application.flatpak.id", PA_PROP_APPLICATION_PROCESS_BINARY}) {
        if (auto value = property(info.properties, key)) {
          out = *value;
          return status::ok;
        }
        if (clientProperties) {
          if (auto value = property(*clientProperties, key)) {
            out = *value;
            return status::ok;
          }
        }
      }
      return status::ok;
    }
    case Kind::sink:
    case Kind::source: {
      const DeviceInfo& info = kind == Kind::sink ? *sink(index) : *source(index);
      if (address.selector == selector::objectName) {
        out = info.description;
        return status::ok;
      }
      if (address.selector == selector::deviceUID) {
        out = info.name;
        return status::ok;
      }
      return status::unknownProperty;
    }
    case Kind::tap: {
      if (address.selector != selector::tapUID) return status::unknownProperty;
      std::string uid;
      if (!taps_->uid(index, uid)) return status::badObject;
      out = uid;
      return status::ok;
    }
  }
  return status::unknownProperty;
}

OSStatus PulseHardware::setPropertyData(AudioObjectID object, const PropertyAddress& address,
                                        const TapDescription& description) {
  std::lock_guard lock(mutex_);
  followServer();
  const MarkStale changing{stale_};
  const auto found = lookup(object);
  if (!found) return status::badObject;
  if (found->first != Kind::tap || address.selector != selector::tapDescription) {
    return status::unknownProperty;
  }
  return taps_->setDescription(found->second, description, streamResolver());
}

OSStatus PulseHardware::createProcessTap(const TapDescription& description, AudioObjectID& outTap) {
  std::lock_guard lock(mutex_);
  followServer();
  const MarkStale changing{stale_};
  removeOrphansOnce();
  std::uint32_t index = 0;
  const OSStatus result = taps_->create(description, streamResolver(), index);
  if (result != status::ok) return result;
  outTap = idFor(Kind::tap, index);
  return status::ok;
}

OSStatus PulseHardware::destroyProcessTap(AudioObjectID tap) {
  std::lock_guard lock(mutex_);
  followServer();
  const MarkStale changing{stale_};
  const auto found = lookup(tap);
  if (!found || found->first != Kind::tap) return status::badObject;
  return taps_->destroy(found->second);
}

OSStatus PulseHardware::createAggregateDevice(const DescriptionDictionary& description,
                                              AudioObjectID& outDevice) {
  std::lock_guard lock(mutex_);
  followServer();
  const MarkStale changing{stale_};
  std::string deviceName;
  const bool capture = description.has(aggregateKey::tapList);
  if (capture) removeOrphansOnce();
  const OSStatus result = capture
                              ? capture_->create(description, *taps_, deviceName, stopRequested_)
                              : createFabric(context_, description, deviceName);
  if (result != status::ok) return result;
  const Kind kind = capture ? Kind::source : Kind::sink;
  const bool refreshed = refresh();
  if (refreshed) {
    for (const auto& device : kind == Kind::source ? snapshot_.sources : snapshot_.sinks) {
      if (device.name == deviceName) {
        outDevice = idFor(kind, device.index);
        return status::ok;
      }
    }
  }
  // A capture device that cannot be handed out is not left on the server; a fabric outlives
  // its tool by design and is found again by its UID.
  if (capture) capture_->abandon(*taps_);
  return refreshed ? status::unspecified : status::notRunning;
}

void PulseHardware::setStopCheck(std::function<bool()> stopRequested) {
  std::lock_guard lock(mutex_);
  stopRequested_ = std::move(stopRequested);
}

void PulseHardware::followServer() {
  if (!context_.connected()) return;
  const std::uint64_t connection = context_.connections();
  if (connection_ == 0) connection_ = connection;
  if (connection == connection_) return;
  // The server restarted: its indexes now name other objects, and none of ours exist. Acting
  // on what we knew would move, or unload, what belongs to somebody else.
  connection_ = connection;
  restartUnreported_ = true;
  taps_ = std::make_unique<PulseTaps>(context_);
  capture_->forget();
  ids_.clear();
  objects_.clear();
  snapshot_ = Snapshot{};
  haveSnapshot_ = false;
}

AudioHardware::Continuity PulseHardware::continuity() {
  std::lock_guard lock(mutex_);
  // Asked only by a caller that keeps watching (the capture run): from now on the view follows
  // the server's announcements instead of being fetched again at every read.
  context_.watchChanges();
  followServer();
  if (!context_.connected()) return Continuity::lost;
  if (!restartUnreported_) return Continuity::intact;
  restartUnreported_ = false;
  return Continuity::restarted;
}

OSStatus PulseHardware::destroyAggregateDevice(AudioObjectID device) {
  std::lock_guard lock(mutex_);
  followServer();
  const MarkStale changing{stale_};
  Kind kind{};
  std::uint32_t index = 0;
  if (const OSStatus found = resolve(device, kind, index); found != status::ok) return found;
  if (kind == Kind::source) return capture_->destroy(*source(index), *taps_);
  if (kind == Kind::sink) return destroyFabric(context_, *sink(index));
  return status::badObject;
}

}  // namespace vellory::pulse

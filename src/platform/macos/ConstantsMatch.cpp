// The shared layer spells the platform's selectors, scopes, statuses and dictionary keys out
// itself so that the logic builds everywhere; here the Mac compiler checks them against the SDK.
#include <AudioToolbox/AudioQueue.h>
#include <CoreAudio/AudioHardware.h>

#include <cstddef>
#include <string_view>

#include "shared/AudioTypes.hpp"
#include "shared/BufferList.hpp"
#include "shared/DescriptionDictionary.hpp"

namespace vellory::macos {

static_assert(systemObjectID == kAudioObjectSystemObject);
static_assert(selector::processObjectList == kAudioHardwarePropertyProcessObjectList);
static_assert(selector::devices == kAudioHardwarePropertyDevices);
static_assert(selector::processBundleID == kAudioProcessPropertyBundleID);
static_assert(selector::processPID == kAudioProcessPropertyPID);
static_assert(selector::processIsRunning == kAudioProcessPropertyIsRunning);
static_assert(selector::processIsRunningOutput == kAudioProcessPropertyIsRunningOutput);
static_assert(selector::deviceIsRunningSomewhere == kAudioDevicePropertyDeviceIsRunningSomewhere);
static_assert(selector::objectName == kAudioObjectPropertyName);
static_assert(selector::deviceUID == kAudioDevicePropertyDeviceUID);
static_assert(selector::tapUID == kAudioTapPropertyUID);
static_assert(selector::tapFormat == kAudioTapPropertyFormat);
static_assert(selector::tapDescription == kAudioTapPropertyDescription);
static_assert(selector::streamConfiguration == kAudioDevicePropertyStreamConfiguration);
static_assert(selector::nominalSampleRate == kAudioDevicePropertyNominalSampleRate);
static_assert(selector::defaultSystemOutputDevice ==
              kAudioHardwarePropertyDefaultSystemOutputDevice);
static_assert(selector::defaultOutputDevice == kAudioHardwarePropertyDefaultOutputDevice);
static_assert(scope::global == kAudioObjectPropertyScopeGlobal);
static_assert(scope::input == kAudioObjectPropertyScopeInput);
static_assert(scope::output == kAudioObjectPropertyScopeOutput);
static_assert(elementMain == kAudioObjectPropertyElementMain);
static_assert(elementWildcard == kAudioObjectPropertyElementWildcard);

static_assert(status::notRunning == kAudioHardwareNotRunningError);
static_assert(status::badObject == kAudioHardwareBadObjectError);
static_assert(status::unknownProperty == kAudioHardwareUnknownPropertyError);
static_assert(status::badPropertySize == kAudioHardwareBadPropertySizeError);
static_assert(status::illegalOperation == kAudioHardwareIllegalOperationError);
static_assert(status::unspecified == kAudioHardwareUnspecifiedError);
static_assert(status::paramError == kAudio_ParamError);

static_assert(std::string_view(aggregateKey::name) == kAudioAggregateDeviceNameKey);
static_assert(std::string_view(aggregateKey::uid) == kAudioAggregateDeviceUIDKey);
static_assert(std::string_view(aggregateKey::isPrivate) == kAudioAggregateDeviceIsPrivateKey);
static_assert(std::string_view(aggregateKey::isStacked) == kAudioAggregateDeviceIsStackedKey);
static_assert(std::string_view(aggregateKey::tapList) == kAudioAggregateDeviceTapListKey);
static_assert(std::string_view(aggregateKey::subDeviceList) ==
              kAudioAggregateDeviceSubDeviceListKey);
static_assert(std::string_view(aggregateKey::mainSubDevice) ==
              kAudioAggregateDeviceMainSubDeviceKey);
static_assert(std::string_view(aggregateKey::subDeviceUID) == kAudioSubDeviceUIDKey);
static_assert(std::string_view(aggregateKey::subTapUID) == kAudioSubTapUIDKey);
static_assert(std::string_view(aggregateKey::subDeviceDriftCompensation) ==
              kAudioSubDeviceDriftCompensationKey);
static_assert(std::string_view(aggregateKey::subTapDriftCompensation) ==
              kAudioSubTapDriftCompensationKey);

// Stream configurations are decoded from raw bytes by the shared layer.
static_assert(offsetof(AudioBufferList, mBuffers) == bufferListHeaderBytes);
static_assert(sizeof(AudioBuffer) == bufferListEntryBytes);
static_assert(offsetof(AudioBuffer, mNumberChannels) == 0);

}  // namespace vellory::macos

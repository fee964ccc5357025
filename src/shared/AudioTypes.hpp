#pragma once

#include <cstdint>
#include <string_view>

namespace vellory {

using AudioObjectID = std::uint32_t;
using OSStatus = std::int32_t;

// Packs a four-character code big-endian, first character in the most significant byte.
constexpr std::uint32_t fourCharCode(std::string_view code) {
  return (static_cast<std::uint32_t>(static_cast<unsigned char>(code[0])) << 24) |
         (static_cast<std::uint32_t>(static_cast<unsigned char>(code[1])) << 16) |
         (static_cast<std::uint32_t>(static_cast<unsigned char>(code[2])) << 8) |
         static_cast<std::uint32_t>(static_cast<unsigned char>(code[3]));
}

constexpr AudioObjectID systemObjectID = 1;

namespace selector {
constexpr std::uint32_t processObjectList = fourCharCode("prs#");
constexpr std::uint32_t devices = fourCharCode("dev#");
constexpr std::uint32_t processBundleID = fourCharCode("pbid");
constexpr std::uint32_t processPID = fourCharCode("ppid");
constexpr std::uint32_t processIsRunning = fourCharCode("pir?");
constexpr std::uint32_t processIsRunningOutput = fourCharCode("piro");
constexpr std::uint32_t deviceIsRunningSomewhere = fourCharCode("gone");
constexpr std::uint32_t objectName = fourCharCode("lnam");
constexpr std::uint32_t deviceUID = fourCharCode("uid ");
constexpr std::uint32_t tapUID = fourCharCode("tuid");
constexpr std::uint32_t tapFormat = fourCharCode("tfmt");
constexpr std::uint32_t tapDescription = fourCharCode("tdsc");
constexpr std::uint32_t streamConfiguration = fourCharCode("slay");
constexpr std::uint32_t nominalSampleRate = fourCharCode("nsrt");
constexpr std::uint32_t defaultSystemOutputDevice = fourCharCode("sOut");
constexpr std::uint32_t defaultOutputDevice = fourCharCode("dOut");
}  // namespace selector

namespace scope {
constexpr std::uint32_t global = fourCharCode("glob");
constexpr std::uint32_t input = fourCharCode("inpt");
constexpr std::uint32_t output = fourCharCode("outp");
}  // namespace scope

constexpr std::uint32_t elementMain = 0;
constexpr std::uint32_t elementWildcard = 0xFFFFFFFF;

struct PropertyAddress {
  std::uint32_t selector = 0;
  std::uint32_t scope = scope::global;
  std::uint32_t element = elementMain;
};

// Status codes of the hardware layer; other backends reuse them for the same meaning.
namespace status {
constexpr OSStatus ok = 0;
constexpr OSStatus notRunning = static_cast<OSStatus>(fourCharCode("stop"));
constexpr OSStatus badObject = static_cast<OSStatus>(fourCharCode("!obj"));
constexpr OSStatus unknownProperty = static_cast<OSStatus>(fourCharCode("who?"));
constexpr OSStatus badPropertySize = static_cast<OSStatus>(fourCharCode("!siz"));
constexpr OSStatus illegalOperation = static_cast<OSStatus>(fourCharCode("nope"));
constexpr OSStatus unspecified = static_cast<OSStatus>(fourCharCode("what"));
constexpr OSStatus paramError = -50;
}  // namespace status

// The platform's stream format record, field for field.
struct AudioStreamBasicDescription {
  double mSampleRate = 0;
  std::uint32_t mFormatID = 0;
  std::uint32_t mFormatFlags = 0;
  std::uint32_t mBytesPerPacket = 0;
  std::uint32_t mFramesPerPacket = 0;
  std::uint32_t mBytesPerFrame = 0;
  std::uint32_t mChannelsPerFrame = 0;
  std::uint32_t mBitsPerChannel = 0;
  std::uint32_t mReserved = 0;
};
static_assert(sizeof(AudioStreamBasicDescription) == 40);

constexpr std::uint32_t formatLinearPCM = fourCharCode("lpcm");
constexpr std::uint32_t formatFlagIsFloat = 1;
constexpr std::uint32_t formatFlagIsSignedInteger = 4;
constexpr std::uint32_t formatFlagIsPacked = 8;

}  // namespace vellory

#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace vellory {

// A list of small dictionaries, as the aggregate's sub-device and tap lists are: each entry's
// keys hold a text (a UID) or a number (a 0/1 switch such as drift compensation).
using DictionaryEntry = std::map<std::string, std::variant<std::string, std::int32_t>>;
using DictionaryList = std::vector<DictionaryEntry>;
using DictionaryValue = std::variant<std::string, bool, DictionaryList>;

// The aggregate device description handed to the platform: text keys, each holding a text,
// a boolean or a list of small dictionaries.
struct DescriptionDictionary {
  std::map<std::string, DictionaryValue> entries;

  bool has(const std::string& key) const { return entries.count(key) != 0; }
  std::optional<std::string> text(const std::string& key) const;
  std::optional<bool> boolean(const std::string& key) const;
  DictionaryList list(const std::string& key) const;
  bool operator==(const DescriptionDictionary&) const = default;
};

// The text or the number held by one key of a list entry; none when absent or of the other kind.
std::optional<std::string> entryText(const DictionaryEntry& entry, const std::string& key);
std::optional<std::int32_t> entryNumber(const DictionaryEntry& entry, const std::string& key);

namespace aggregateKey {
inline constexpr const char* name = "name";
inline constexpr const char* uid = "uid";
inline constexpr const char* isPrivate = "private";
inline constexpr const char* isStacked = "stacked";
inline constexpr const char* tapList = "taps";
inline constexpr const char* subDeviceList = "subdevices";
inline constexpr const char* mainSubDevice = "master";
inline constexpr const char* subDeviceUID = "uid";
inline constexpr const char* subTapUID = "uid";
// A number, 1 to resample a sub-device or tap onto the aggregate's clock. Set on every tap of a
// capture with a live input (the taps run on the output device's clock, the live input drives
// the aggregate) and on every fabric member that is not its clock master.
inline constexpr const char* subDeviceDriftCompensation = "drift";
inline constexpr const char* subTapDriftCompensation = "drift";
}  // namespace aggregateKey

}  // namespace vellory

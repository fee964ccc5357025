#pragma once

#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace vellory {

// A list of one-key dictionaries, as the aggregate's sub-device and tap lists are.
using DictionaryList = std::vector<std::map<std::string, std::string>>;
using DictionaryValue = std::variant<std::string, bool, DictionaryList>;

// The aggregate device description handed to the platform: text keys, each holding a text,
// a boolean or a list of one-key dictionaries.
struct DescriptionDictionary {
  std::map<std::string, DictionaryValue> entries;

  bool has(const std::string& key) const { return entries.count(key) != 0; }
  std::optional<std::string> text(const std::string& key) const;
  std::optional<bool> boolean(const std::string& key) const;
  DictionaryList list(const std::string& key) const;
  bool operator==(const DescriptionDictionary&) const = default;
};

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
}  // namespace aggregateKey

}  // namespace vellory

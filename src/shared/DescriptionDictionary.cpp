#include "shared/DescriptionDictionary.hpp"

namespace vellory {

std::optional<std::string> DescriptionDictionary::text(const std::string& key) const {
  auto it = entries.find(key);
  if (it == entries.end()) return std::nullopt;
  if (const auto* value = std::get_if<std::string>(&it->second)) return *value;
  return std::nullopt;
}

std::optional<bool> DescriptionDictionary::boolean(const std::string& key) const {
  auto it = entries.find(key);
  if (it == entries.end()) return std::nullopt;
  if (const auto* value = std::get_if<bool>(&it->second)) return *value;
  return std::nullopt;
}

DictionaryList DescriptionDictionary::list(const std::string& key) const {
  auto it = entries.find(key);
  if (it == entries.end()) return {};
  if (const auto* value = std::get_if<DictionaryList>(&it->second)) return *value;
  return {};
}

std::optional<std::string> entryText(const DictionaryEntry& entry, const std::string& key) {
  auto it = entry.find(key);
  if (it == entry.end()) return std::nullopt;
  if (const auto* value = std::get_if<std::string>(&it->second)) return *value;
  return std::nullopt;
}

std::optional<std::int32_t> entryNumber(const DictionaryEntry& entry, const std::string& key) {
  auto it = entry.find(key);
  if (it == entry.end()) return std::nullopt;
  if (const auto* value = std::get_if<std::int32_t>(&it->second)) return *value;
  return std::nullopt;
}

}  // namespace vellory

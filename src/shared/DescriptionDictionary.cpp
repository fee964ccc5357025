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

}  // namespace vellory

#pragma once

#include <cstdint>
#include <limits>
#include <nlohmann/json.hpp>
#include <optional>
#include <stdexcept>
#include <string>

namespace vellory::jsonfield {

// Strict readers for decoding records: a missing key or a value of another JSON type fails
// with std::invalid_argument naming the key.

inline const nlohmann::json& required(const nlohmann::json& object, const char* key) {
  if (!object.is_object()) throw std::invalid_argument("expected an object");
  auto it = object.find(key);
  if (it == object.end()) throw std::invalid_argument(std::string("missing key \"") + key + "\"");
  return *it;
}

[[noreturn]] inline void wrongType(const char* key, const char* expected) {
  throw std::invalid_argument(std::string("key \"") + key + "\" is not " + expected);
}

inline std::string text(const nlohmann::json& object, const char* key) {
  const auto& value = required(object, key);
  if (!value.is_string()) wrongType(key, "a string");
  return value.get<std::string>();
}

inline bool boolean(const nlohmann::json& object, const char* key) {
  const auto& value = required(object, key);
  if (!value.is_boolean()) wrongType(key, "a boolean");
  return value.get<bool>();
}

inline std::uint32_t uint32(const nlohmann::json& object, const char* key) {
  const auto& value = required(object, key);
  if (!value.is_number_integer() || value.get<std::int64_t>() < 0 ||
      value.get<std::uint64_t>() > std::numeric_limits<std::uint32_t>::max()) {
    wrongType(key, "an unsigned 32-bit integer");
  }
  return value.get<std::uint32_t>();
}

inline std::int64_t int64(const nlohmann::json& object, const char* key) {
  const auto& value = required(object, key);
  if (!value.is_number_integer() ||
      (value.is_number_unsigned() &&
       value.get<std::uint64_t>() >
           static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))) {
    wrongType(key, "a signed 64-bit integer");
  }
  return value.get<std::int64_t>();
}

inline std::int32_t int32(const nlohmann::json& object, const char* key) {
  const std::int64_t value = int64(object, key);
  if (value < std::numeric_limits<std::int32_t>::min() ||
      value > std::numeric_limits<std::int32_t>::max()) {
    wrongType(key, "a signed 32-bit integer");
  }
  return static_cast<std::int32_t>(value);
}

inline double number(const nlohmann::json& object, const char* key) {
  const auto& value = required(object, key);
  if (!value.is_number()) wrongType(key, "a number");
  return value.get<double>();
}

inline std::optional<std::string> optionalText(const nlohmann::json& object, const char* key) {
  if (!object.is_object()) throw std::invalid_argument("expected an object");
  auto it = object.find(key);
  if (it == object.end() || it->is_null()) return std::nullopt;
  if (!it->is_string()) wrongType(key, "a string");
  return it->get<std::string>();
}

}  // namespace vellory::jsonfield

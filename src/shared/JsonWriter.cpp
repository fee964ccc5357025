#include "shared/JsonWriter.hpp"

#include <stdexcept>

namespace vellory {

std::string encodeJson(const nlohmann::json& value) {
  return value.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
}

void writeJson(OutputSink& out, const nlohmann::json& value) {
  const std::string text = encodeJson(value);
  if (!out.write(text) || !out.write("\n")) {
    throw std::runtime_error("Unable to write the JSON document to standard output.");
  }
}

}  // namespace vellory

#include "shared/JsonWriter.hpp"

namespace vellory {

std::string encodeJson(const nlohmann::json& value) {
  return value.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
}

void writeJson(OutputSink& out, const nlohmann::json& value) {
  const std::string text = encodeJson(value);
  out.write(text);
  out.write("\n");
}

}  // namespace vellory

#pragma once

#include <nlohmann/json.hpp>

#include "shared/OutputSink.hpp"

namespace vellory {

// Renders one document pretty-printed with keys in ascending order and "/" left unescaped.
// Bytes that are not valid UTF-8 are replaced, so the document always stays valid JSON.
std::string encodeJson(const nlohmann::json& value);

// Writes one document and then a newline, each as its own unbuffered write. Throws
// std::runtime_error when standard output takes not all of it.
void writeJson(OutputSink& out, const nlohmann::json& value);

}  // namespace vellory

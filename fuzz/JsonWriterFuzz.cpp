// The JSON writer on arbitrary bytes as texts (and as a key): the document is always valid JSON
// and keeps every value. Keys of the tools' documents are fixed words; two keys that differ only
// in bytes that are not UTF-8 would both be written as the same replaced text.
#include <nlohmann/json.hpp>

#include "FuzzInput.hpp"
#include "shared/JsonWriter.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vellory;
  const auto parts = fuzz::words(data, size);
  nlohmann::json document = nlohmann::json::object();
  nlohmann::json list = nlohmann::json::array();
  for (std::size_t i = 0; i < parts.size(); ++i) {
    document["text" + std::to_string(i)] = parts[i];
    list.push_back(parts[i]);
  }
  document["list"] = list;
  document["keyed"][parts.front()] = nullptr;
  const std::string text = encodeJson(document);
  const auto parsed = nlohmann::json::parse(text, nullptr, false);
  fuzz::require(!parsed.is_discarded(), "the writer made invalid JSON");
  fuzz::require(parsed["list"].size() == parts.size(), "values lost");
  for (std::size_t i = 0; i < parts.size(); ++i) {
    fuzz::require(parsed["text" + std::to_string(i)] == parsed["list"][i], "texts differ");
  }
  return 0;
}

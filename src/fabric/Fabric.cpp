#include "fabric/Fabric.hpp"

#include <cmath>
#include <cstdlib>
#include <nlohmann/json.hpp>

namespace vellory::fabric {

namespace {

using nlohmann::json;

// Follows JSON text byte by byte and says which bytes belong to a string, quotes included.
class StringTracker {
 public:
  bool inString(char c) {
    if (!open_) {
      open_ = c == '"';
      return open_;
    }
    if (escaped_) {
      escaped_ = false;
    } else if (c == '\\') {
      escaped_ = true;
    } else if (c == '"') {
      open_ = false;
    }
    return true;
  }

 private:
  bool open_ = false;
  bool escaped_ = false;
};

// Brackets nested deeper than any request needs are refused before the parser sees them.
void checkNesting(const std::string& text) {
  int depth = 0;
  StringTracker strings;
  for (const char c : text) {
    if (strings.inString(c)) continue;
    if (c == '[' || c == '{') {
      if (++depth > maxRequestNesting) throw FabricRequestError("nested too deeply.");
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
}

bool isNumberByte(char c) {
  return (c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.' || c == 'e' || c == 'E';
}

// The 1-based byte offset of the first number outside strings that no double can hold; the
// parser refuses such a number with its own text, which names no place.
std::size_t overflowingNumberAt(const std::string& text) {
  StringTracker strings;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (strings.inString(c)) continue;
    if (c != '-' && (c < '0' || c > '9')) continue;
    std::size_t end = i;
    while (end < text.size() && isNumberByte(text[end])) ++end;
    const std::string token = text.substr(i, end - i);
    const double value = std::strtod(token.c_str(), nullptr);
    if (std::isinf(value)) return i + 1;
    i = end - 1;
  }
  return 0;
}

// Any text is a well-formed identifier: one that names no usable device is refused later as an
// unavailable member, or falls back to the first member as clock master.
std::string checkedStableId(const json& value, const std::string& where) {
  if (!value.is_string()) throw FabricRequestError(where + " is not a string.");
  return value.get<std::string>();
}

FabricMember decodeMember(const json& value, std::size_t index) {
  const std::string where = "members[" + std::to_string(index) + "]";
  if (!value.is_object()) throw FabricRequestError(where + " is not an object.");
  FabricMember member;
  const auto id = value.find("stableId");
  if (id == value.end()) throw FabricRequestError(where + " has no \"stableId\".");
  member.stableId = checkedStableId(*id, where + ".stableId");
  const auto enabled = value.find("enabled");
  if (enabled != value.end() && !enabled->is_null()) {
    if (!enabled->is_boolean()) throw FabricRequestError(where + ".enabled is not a boolean.");
    member.enabled = enabled->get<bool>();
  }
  return member;
}

}  // namespace

Fabric decodeFabric(const std::string& text) {
  checkNesting(text);
  json root;
  try {
    root = json::parse(text);
  } catch (const json::parse_error& error) {
    throw FabricRequestError("not valid JSON (at byte " + std::to_string(error.byte) + ").");
  } catch (const json::out_of_range&) {
    const std::size_t at = overflowingNumberAt(text);
    if (at == 0) throw FabricRequestError("a number is out of range.");
    throw FabricRequestError("number out of range at byte " + std::to_string(at) + ".");
  } catch (const json::exception&) {
    throw FabricRequestError("not valid JSON.");
  }
  if (!root.is_object()) throw FabricRequestError("expected a JSON object.");
  Fabric request;
  const auto members = root.find("members");
  if (members == root.end()) throw FabricRequestError("missing key \"members\".");
  if (!members->is_array()) throw FabricRequestError("\"members\" is not an array.");
  if (members->size() > maxFabricMembers) {
    throw FabricRequestError("\"members\" has " + std::to_string(members->size()) +
                             " entries; at most " + std::to_string(maxFabricMembers) +
                             " are accepted.");
  }
  for (std::size_t i = 0; i < members->size(); ++i) {
    request.members.push_back(decodeMember((*members)[i], i));
  }
  const auto master = root.find("clockMasterStableId");
  if (master != root.end() && !master->is_null()) {
    request.clockMasterStableId = checkedStableId(*master, "clockMasterStableId");
  }
  return request;
}

std::vector<std::string> selectedStableIds(const Fabric& request) {
  std::vector<std::string> ids;
  for (const auto& member : request.members) {
    if (member.selected()) ids.push_back(member.stableId);
  }
  return ids;
}

}  // namespace vellory::fabric

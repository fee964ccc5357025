// The fabric request decoder on any bytes: it decodes or refuses with one bounded line.
#include <string>

#include "FuzzInput.hpp"
#include "fabric/Fabric.hpp"
#include "shared/ErrorLine.hpp"
#include "shared/UnicodeText.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vellory;
  using namespace vellory::fabric;
  const std::string text(reinterpret_cast<const char*>(data), size);
  if (!isValidUtf8(text)) return 0;
  try {
    const Fabric request = decodeFabric(text);
    const auto ids = selectedStableIds(request);
    fuzz::require(ids.size() <= request.members.size(), "more selected than members");
    fuzz::require(request.members.size() <= maxFabricMembers, "member bound");
  } catch (const FabricRequestError& error) {
    const std::string line = errorLine("[output-fabric] ", error.what());
    fuzz::require(line.find('\n') == line.size() - 1, "one line");
    fuzz::require(line.size() < 4096, "bounded line");
  }
  return 0;
}

// The stream player's command line and source check, and the decoder command built from it.
#include <algorithm>

#include "FuzzInput.hpp"
#include "player/DecoderCommand.hpp"
#include "player/PlayerError.hpp"
#include "player/SourceCheck.hpp"
#include "shared/OptionLookup.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vellory;
  using namespace vellory::player;
  const auto args = fuzz::words(data, size);
  const auto url = argument("--url", args);
  const auto file = argument("--file", args);
  const std::optional<std::string> source = url ? url : file;
  if (!source) return 0;
  const bool isURL = url.has_value();
  try {
    checkSource(*source, isURL);
  } catch (const PlayerError& error) {
    fuzz::require(!error.description().empty(), "a refusal says why");
    return 0;
  }
  if (isURL) fuzz::require(urlScheme(*source).has_value(), "a URL without a scheme passed");
  if (!isURL) fuzz::require(source->front() == '/', "a relative path passed");
  const auto words = decoderArguments(*source, isURL, std::nullopt);
  const auto input = std::find(words.begin(), words.end(), "-i");
  fuzz::require(input != words.end() && input + 1 != words.end() && input[1] == *source,
                "the source follows -i unchanged");
  return 0;
}

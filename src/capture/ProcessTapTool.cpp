#include "capture/ProcessTapTool.hpp"

#include "capture/ProcessInventory.hpp"
#include "capture/TapError.hpp"
#include "shared/ErrorLine.hpp"
#include "shared/JsonWriter.hpp"

namespace vellory::capture {

int runProcessTapTool(const std::vector<std::string>& args, CoreAudioAccess& access,
                      ToolStreams streams, const CaptureRunCommand& run) {
  try {
    const std::string command = args.empty() ? "list" : args.front();
    const std::vector<ProcessInfo> inventory = processes(access, streams.err);
    if (command == "list") {
      writeJson(streams.out, encode(inventory));
      return 0;
    }
    if (command != "run") throw TapError::usage(captureUsage);
    const RunOptions options = parseRunItems({args.begin() + 1, args.end()});
    run(options, inventory);
    return 0;
  } catch (const ToolError& error) {
    streams.err.write("[process-tap] " + error.description() + "\n");
  } catch (const std::exception& error) {
    // A library's message (a failed write, an allocation): bounded like any outside text.
    streams.err.write(errorLine("[process-tap] ", boundedText(error.what())));
  }
  return 1;
}

}  // namespace vellory::capture

#include "fabric/OutputFabricTool.hpp"

#include "fabric/FabricCommands.hpp"
#include "fabric/FabricError.hpp"
#include "shared/ErrorLine.hpp"

namespace vellory::fabric {

namespace {

void dispatch(const std::vector<std::string>& args, CoreAudioAccess& access, ToolStreams streams,
              Clock& clock) {
  const std::string command = args.empty() ? "list" : args.front();
  if (command == "list") return list(access, streams.out);
  if (command == "ensure" && args.size() == 2) return ensure(args[1], access, streams.out, clock);
  if (command == "remove") return remove(access, streams.out);
  throw FabricError::usage(fabricUsage);
}

}  // namespace

int runOutputFabricTool(const std::vector<std::string>& args, CoreAudioAccess& access,
                        ToolStreams streams, Clock& clock) {
  std::string failure;
  try {
    dispatch(args, access, streams, clock);
    return 0;
  } catch (const ToolError& error) {
    failure = error.description();
  } catch (const std::exception& error) {
    failure = boundedText(error.what());
  } catch (...) {
    failure = "Unexpected failure.";
  }
  streams.err.write(errorLine("[output-fabric] ", failure));
  return 1;
}

}  // namespace vellory::fabric

#pragma once

#include <functional>
#include <string>
#include <vector>

#include "announcement/StereoFilePlayer.hpp"
#include "shared/OutputSink.hpp"

namespace vellory::announcement {

inline constexpr const char* usageLine =
    "Usage: vellory-announcement-player --file <absolute.wav> [--source-slot N]";

// Makes SIGINT and SIGTERM call the given action (and nothing else) from then on.
using StopHandlerInstaller = std::function<void(std::function<void()> stop)>;

// The announcement player's whole run: reads the command line (the words after the program's
// name), builds the player, waits 1.1 s with the queue primed, installs the stop-only signal
// handlers, plays with the fade-in, schedules the fade-out and polls every 0.05 s until the
// playback is over. Returns the exit status: 0 after playing or a signal; 1 for an unusable
// command line, a player that could not be built or started, or playback that failed part-way
// (the output went away, or the file could not be read further).
int runAnnouncementPlayer(const std::vector<std::string>& args, PlayerPlatform platform,
                          ToolStreams streams, const StopHandlerInstaller& installStopHandler,
                          const std::string& logPath = statisticsLogPath);

}  // namespace vellory::announcement

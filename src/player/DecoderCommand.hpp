#pragma once

#include <optional>
#include <string>
#include <vector>

namespace vellory::player {

// The decoder's arguments after its path: read `source`, write 48000 Hz stereo signed 16-bit
// little-endian PCM to standard output. For a stream (`isURL`) the decoder is also asked to
// reconnect, from where it was, when the connection breaks, fails or stalls for 5 s; it gives up
// once a wait between attempts would pass 4 s, about 4 s after the first failure. It is also asked
// to verify the server's certificate against `caFile` when given, otherwise against the trust it
// finds by itself, and it may open nothing but what https needs (`httpsProtocols`).
std::vector<std::string> decoderArguments(const std::string& source, bool isURL,
                                          const std::optional<std::string>& caFile);

// The CA file for https: `VELLORY_TLS_CA_FILE` when it is set and not empty, else
// `platformFile`. Any thread.
std::optional<std::string> trustedCAFile(const std::optional<std::string>& platformFile);

// Where the decoder is looked for, in order: `VELLORY_FFMPEG` when set (even when empty), the
// fixed places, then `home` + "/Vellory/Runtime/ffmpeg" (and on Linux "/usr/bin/ffmpeg" last).
std::vector<std::string> ffmpegCandidates(const std::optional<std::string>& environmentValue,
                                          const std::string& home);

// True for an existing regular file that this process may execute.
bool isExecutableFile(const std::string& path);

// The first executable candidate for this process's environment and `home` (the account's home
// directory, from the platform); absent when none is. Any thread.
std::optional<std::string> findFFmpeg(const std::string& home);

}  // namespace vellory::player

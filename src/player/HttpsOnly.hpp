#pragma once

#include <string_view>

namespace vellory::player {

// The only protocols a stream's decoder may open, for the stream itself and for everything it
// opens from there (playlists, segments, keys): https, the TLS and TCP beneath it, and the
// decryption layer of encrypted playlists.
inline constexpr const char* httpsProtocols = "https,tls,tcp,crypto";

// The failure of a stream that left https somewhere.
inline constexpr const char* notServedOverHttps =
    "Part of the stream was not served over https, so it was not played.";

// True when the decoder's diagnostic `text` says that it refused part of a stream for leaving
// https: it met a protocol outside `httpsProtocols` (but for the proxy tunnel that an
// `http_proxy` setting asks for, which is a setting, not the stream), or a redirect took it to
// plain http, where its certificate options were left unused.
bool reportsLeavingHttps(std::string_view text);

}  // namespace vellory::player

#pragma once

#include <cstdint>
#include <string>

#include "shared/AudioTypes.hpp"

// What the Linux file readers have in common: their statuses, how they open a file, and the one
// client format they deliver.
namespace vellory::audiofile {

// The statuses, in the values Core Audio gives for the same cases.
inline constexpr OSStatus fileNotFound = -43;
inline constexpr OSStatus permissionDenied = -54;
inline constexpr OSStatus unsupportedFileType = static_cast<OSStatus>(fourCharCode("typ?"));
inline constexpr OSStatus unsupportedFormat = static_cast<OSStatus>(fourCharCode("fmt?"));
inline constexpr OSStatus readFailed = static_cast<OSStatus>(fourCharCode("rea?"));

// Opens `path` for reading as a blocking descriptor, only when it is a regular file: a FIFO or
// a folder in its place fails with 'typ?' at once instead of blocking. A missing file fails with
// -43, one that may not be read with -54.
OSStatus openRegularFile(const std::string& path, int& outFd);

// The file's own format as the readers give it: packed linear PCM of the samples a file holds
// or decodes to (`bits` 0 when they have no fixed width).
AudioStreamBasicDescription pcmFormat(double rate, std::uint32_t channels, std::uint32_t bits,
                                      bool floatSamples);

// Whether `format` is packed interleaved 32-bit float at the file's rate (any rate when the file
// has none): the readers convert samples and channels, but do not resample.
bool deliversFloatAtRate(const AudioStreamBasicDescription& format, int fileRate);

}  // namespace vellory::audiofile

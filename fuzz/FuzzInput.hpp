#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace vellory::fuzz {

// Command-line words from fuzz input: the bytes split at each zero byte.
inline std::vector<std::string> words(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> result(1);
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] == 0) {
      result.emplace_back();
    } else {
      result.back().push_back(static_cast<char>(data[i]));
    }
  }
  return result;
}

// Aborts with a message, so that a broken property shows as a crash with its input kept.
inline void require(bool holds, const char* what) {
  if (!holds) {
    std::fprintf(stderr, "property broken: %s\n", what);
    std::abort();
  }
}

}  // namespace vellory::fuzz

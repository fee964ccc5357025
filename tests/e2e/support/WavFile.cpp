#include "e2e/support/WavFile.hpp"

#include <filesystem>
#include <fstream>

namespace vellory::e2e {

namespace {

void put16(std::string& out, std::uint32_t value) {
  out.push_back(static_cast<char>(value & 0xFF));
  out.push_back(static_cast<char>((value >> 8) & 0xFF));
}

void put32(std::string& out, std::uint32_t value) {
  put16(out, value & 0xFFFF);
  put16(out, value >> 16);
}

std::string wavHeader(std::uint64_t dataBytes) {
  std::string header = "RIFF";
  put32(header, static_cast<std::uint32_t>(36 + dataBytes));
  header += "WAVEfmt ";
  put32(header, 16);
  put16(header, 1);  // PCM
  put16(header, 2);
  put32(header, 48000);
  put32(header, 48000 * 4);
  put16(header, 4);
  put16(header, 16);
  header += "data";
  put32(header, static_cast<std::uint32_t>(dataBytes));
  return header;
}

}  // namespace

void writeWav(const std::string& path, const std::vector<std::uint8_t>& pcm) {
  std::ofstream file(path, std::ios::binary);
  file << wavHeader(pcm.size());
  file.write(reinterpret_cast<const char*>(pcm.data()), static_cast<std::streamsize>(pcm.size()));
}

void writeSparseWav(const std::string& path, std::uint64_t seconds) {
  const std::uint64_t dataBytes = seconds * 48000 * 4;
  {
    std::ofstream file(path, std::ios::binary);
    file << wavHeader(dataBytes);
  }
  std::filesystem::resize_file(path, 44 + dataBytes);
}

}  // namespace vellory::e2e

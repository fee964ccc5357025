// Stands in for the decoder in the stream player's tests. Runs the script words that come
// before "--" (the words after it are the decoder arguments it was given), in order:
//   out:N        N bytes of counting frames on standard output, continuing where the last ended
//   hex:HEX      these bytes on standard output
//   err:N        N bytes of text on standard error
//   say:TEXT     TEXT and a line feed on standard error
//   sleep:MS     pause
//   ignore-term  ignore SIGTERM from now on
//   close-out    close standard output (and go on)
//   die:SIGNAL   end by this signal, as a crash would
//   hold         wait until killed
//   exit:N       exit with status N
// Without an exit word it exits with status 0. Frame k of the counting frames holds the
// left sample (k & 0xFFFF) - 32768 and the right sample (k >> 16) + 1, little-endian.
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::uint64_t position = 0;  // bytes of counting frames written so far

void writeAll(int fd, const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      std::exit(3);
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
}

std::uint8_t frameByte(std::uint64_t at) {
  const std::uint64_t frame = at / 4;
  const auto left = static_cast<std::uint16_t>(static_cast<std::int32_t>(frame & 0xFFFF) - 32768);
  const auto right = static_cast<std::uint16_t>((frame >> 16) + 1);
  switch (at % 4) {
    case 0:
      return static_cast<std::uint8_t>(left & 0xFF);
    case 1:
      return static_cast<std::uint8_t>(left >> 8);
    case 2:
      return static_cast<std::uint8_t>(right & 0xFF);
    default:
      return static_cast<std::uint8_t>(right >> 8);
  }
}

void writeFrames(std::uint64_t count) {
  std::vector<std::uint8_t> block;
  while (count > 0) {
    block.clear();
    const std::uint64_t n = count < 65536 ? count : 65536;
    for (std::uint64_t i = 0; i < n; ++i) block.push_back(frameByte(position++));
    writeAll(1, block.data(), block.size());
    count -= n;
  }
}

void writeHex(const std::string& hex) {
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes.push_back(static_cast<std::uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
  }
  writeAll(1, bytes.data(), bytes.size());
}

void writeErrors(std::uint64_t count) {
  std::string line(63, 'e');
  line += '\n';
  while (count > 0) {
    const std::size_t n = count < line.size() ? static_cast<std::size_t>(count) : line.size();
    writeAll(2, reinterpret_cast<const std::uint8_t*>(line.data()), n);
    count -= n;
  }
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string word = argv[i];
    if (word == "--") break;
    const auto colon = word.find(':');
    const std::string name = word.substr(0, colon);
    const std::string value = colon == std::string::npos ? "" : word.substr(colon + 1);
    if (name == "out") {
      writeFrames(std::stoull(value));
    } else if (name == "hex") {
      writeHex(value);
    } else if (name == "err") {
      writeErrors(std::stoull(value));
    } else if (name == "say") {
      const std::string line = value + "\n";
      writeAll(2, reinterpret_cast<const std::uint8_t*>(line.data()), line.size());
    } else if (name == "sleep") {
      usleep(static_cast<useconds_t>(std::stoul(value) * 1000));
    } else if (name == "ignore-term") {
      signal(SIGTERM, SIG_IGN);
    } else if (name == "close-out") {
      close(1);
    } else if (name == "die") {
      const int number = std::stoi(value);
      signal(number, SIG_DFL);
      raise(number);
    } else if (name == "hold") {
      for (;;) pause();
    } else if (name == "exit") {
      return std::stoi(value);
    }
  }
  return 0;
}

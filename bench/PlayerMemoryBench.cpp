// Memory of the stream player: the store's cost per block whatever waits in it, and the real
// player's peak resident memory ten seconds into a 30-minute file that the decoder reads far
// faster than real time (needs a sound server in PULSE_SERVER and ffmpeg).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "player/PcmStore.hpp"

extern char** environ;

namespace {

// One block in, one block out, with `waiting` bytes queued ahead of it.
void PcmStoreBlockCycle(benchmark::State& state) {
  vellory::player::PcmStore store;
  std::vector<std::uint8_t> block(16384, 1);
  const auto waiting = static_cast<std::size_t>(state.range(0));
  for (std::size_t filled = 0; filled < waiting; filled += block.size()) {
    store.append(block.data(), block.size());
  }
  std::vector<std::uint8_t> out(16384);
  for (auto _ : state) {
    store.append(block.data(), block.size());
    benchmark::DoNotOptimize(store.take(out.data(), out.size()));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 16384);
}
BENCHMARK(PcmStoreBlockCycle)->Arg(0)->Arg(1 << 20)->Arg(32 << 20);

std::string playerProgram() {
  if (const char* path = std::getenv("VELLORY_PLAYER")) return path;
  return (std::filesystem::canonical("/proc/self/exe").parent_path().parent_path() / "src" /
          "vellory-player")
      .string();
}

void writeSparseWav(const std::string& path, std::uint32_t seconds) {
  const std::uint32_t dataBytes = seconds * 48000 * 4;
  std::string header = "RIFF";
  auto put = [&](std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) header.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
  };
  put(36 + dataBytes, 4);
  header += "WAVEfmt ";
  put(16, 4);
  put(1, 2);
  put(2, 2);
  put(48000, 4);
  put(48000 * 4, 4);
  put(4, 2);
  put(16, 2);
  header += "data";
  put(dataBytes, 4);
  std::ofstream(path, std::ios::binary) << header;
  std::filesystem::resize_file(path, 44 + dataBytes);
}

long peakKB(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
  }
  return -1;
}

void PlayerPeakMemoryTenSecondsIntoThirtyMinutes(benchmark::State& state) {
  if (std::getenv("PULSE_SERVER") == nullptr) {
    state.SkipWithError("needs a sound server in PULSE_SERVER");
    return;
  }
  const std::string path = "/tmp/vellory-bench-thirty-minutes.wav";
  writeSparseWav(path, 30 * 60);
  const std::string program = playerProgram();
  long peak = -1;
  for (auto _ : state) {
    std::vector<std::string> words = {program, "--file", path};
    std::vector<char*> argv;
    for (auto& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int failed = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0) {
      state.SkipWithError("cannot start the player");
      break;
    }
    std::this_thread::sleep_for(std::chrono::seconds(10));
    peak = peakKB(pid);
    kill(pid, SIGTERM);
    int raw = 0;
    waitpid(pid, &raw, 0);
    state.SetIterationTime(10.0);
  }
  std::filesystem::remove(path);
  state.counters["peak_MB"] = static_cast<double>(peak) / 1024.0;
}
BENCHMARK(PlayerPeakMemoryTenSecondsIntoThirtyMinutes)->Iterations(1)->UseManualTime();

}  // namespace

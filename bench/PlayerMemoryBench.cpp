// Memory of the stream player: the store's cost per block whatever waits in it, and the real
// player's peak resident memory ten seconds into a 30-minute file that the decoder reads far
// faster than real time (needs a sound server in PULSE_SERVER and ffmpeg).
#include <benchmark/benchmark.h>
#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "e2e/support/Command.hpp"
#include "e2e/support/ProcessMemory.hpp"
#include "e2e/support/WavFile.hpp"
#include "player/PcmStore.hpp"

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

void PlayerPeakMemoryTenSecondsIntoThirtyMinutes(benchmark::State& state) {
  if (std::getenv("PULSE_SERVER") == nullptr) {
    state.SkipWithError("needs a sound server in PULSE_SERVER");
    return;
  }
  const std::string path = "/tmp/vellory-bench-thirty-minutes.wav";
  vellory::e2e::writeSparseWav(path, 30 * 60);
  const std::string program = playerProgram();
  long peak = -1;
  for (auto _ : state) {
    vellory::e2e::BackgroundProcess player({program, "--file", path});
    std::this_thread::sleep_for(std::chrono::seconds(10));
    peak = vellory::e2e::peakMemoryKB(player.pid());
    player.signal(SIGTERM);
    if (!player.wait(std::chrono::seconds(5))) {
      state.SkipWithError("the player did not end after SIGTERM");
      break;
    }
    state.SetIterationTime(10.0);
  }
  std::filesystem::remove(path);
  state.counters["peak_MB"] = static_cast<double>(peak) / 1024.0;
}
BENCHMARK(PlayerPeakMemoryTenSecondsIntoThirtyMinutes)->Iterations(1)->UseManualTime();

}  // namespace

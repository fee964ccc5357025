// How long one refill of the announcement player takes on the queue's thread: a read of 4096
// frames and the gain pass. It must stay far below the 85 ms that a buffer plays for.
#if __has_include("fakes/FakeOutputQueue.hpp")

#include <benchmark/benchmark.h>

#include <memory>

#include "announcement/StereoFilePlayer.hpp"
#include "fakes/FakeAudioFile.hpp"
#include "fakes/FakeClock.hpp"
#include "fakes/FakeHardware.hpp"
#include "fakes/FakeOutputQueue.hpp"
#include "shared/OutputSink.hpp"

namespace {

using namespace vellory;

struct Rig {
  testing::FakeHardware hardware;
  testing::FakeAudioOutput output;
  testing::FakeAudioFileReader files;
  testing::FakeClock clock;
  StringSink err;
  std::unique_ptr<announcement::StereoFilePlayer> player;

  Rig() {
    testing::FakeFileScript script;
    script.samples = testing::constantFrames(4096 * 200, 0.5f, -0.25f);
    files.setScript(script);
  }
  void rebuild(double fadeInSeconds, double fadeOutSeconds) {
    player.reset();
    player = std::make_unique<announcement::StereoFilePlayer>(
        "/bench.wav", announcement::PlayerPlatform{hardware, output, files, clock}, err,
        "/dev/null");
    player->play(fadeInSeconds);
    if (fadeOutSeconds > 0) player->fadeOut(fadeOutSeconds);
  }
};

void refill(benchmark::State& state, double fadeInSeconds, double fadeOutSeconds) {
  Rig rig;
  rig.rebuild(fadeInSeconds, fadeOutSeconds);
  for (auto _ : state) {
    if (!rig.output.last()->playNext()) {
      state.PauseTiming();
      rig.rebuild(fadeInSeconds, fadeOutSeconds);
      state.ResumeTiming();
    }
  }
  state.SetItemsProcessed(state.iterations() * 4096);
}

void BM_RefillAtFullGain(benchmark::State& state) {
  refill(state, 0, 0);
}
void BM_RefillDuringFadeIn(benchmark::State& state) {
  refill(state, 1000.0, 0);
}
void BM_RefillDuringFadeOut(benchmark::State& state) {
  refill(state, 0, 1000.0);
}

BENCHMARK(BM_RefillAtFullGain);
BENCHMARK(BM_RefillDuringFadeIn);
BENCHMARK(BM_RefillDuringFadeOut);

}  // namespace

#endif

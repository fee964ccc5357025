#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "e2e/support/SoundFixtures.hpp"
#include "platform/linux/LinuxAudioFileReader.hpp"

namespace vellory::e2e {
namespace {

struct ReadFile {
  std::int64_t lengthFrames = -1;
  std::vector<float> samples;  // interleaved stereo
};

// Everything the Linux reader delivers of `path` as stereo float at the file's own rate.
ReadFile readAll(const std::string& path) {
  ReadFile read;
  LinuxAudioFileReader reader;
  std::unique_ptr<AudioFile> file;
  EXPECT_EQ(reader.open(path, file), 0) << path;
  if (!file) return read;
  AudioStreamBasicDescription format{};
  EXPECT_EQ(file->fileDataFormat(format), 0);
  EXPECT_EQ(file->fileLengthFrames(read.lengthFrames), 0);
  const AudioStreamBasicDescription stereo{format.mSampleRate,
                                           formatLinearPCM,
                                           formatFlagIsFloat | formatFlagIsPacked,
                                           8,
                                           1,
                                           8,
                                           2,
                                           32,
                                           0};
  EXPECT_EQ(file->setClientDataFormat(stereo), 0);
  std::vector<float> buffer(2 * 4096);
  for (;;) {
    std::uint32_t frames = 4096;
    EXPECT_EQ(file->read(frames, buffer.data(), 4096 * 8), 0);
    if (frames == 0) break;
    read.samples.insert(read.samples.end(), buffer.begin(), buffer.begin() + 2 * frames);
  }
  return read;
}

void run(const std::vector<std::string>& argv) {
  const auto result = runCommand(argv);
  ASSERT_EQ(result.status, 0) << result.err;
}

void encode(const std::string& source, const std::string& codec, const std::string& path) {
  run({"ffmpeg", "-nostdin", "-loglevel", "error", "-y", "-i", source, "-c:a", codec, path});
}

TEST(LinuxAudioFileReader, AppleLosslessReadsSampleForSampleAsItsSource) {
  TempDir dir;
  // 16 and 24 bits, a different tone on each channel, at a rate other than the server's.
  for (const std::string bits : {"16", "24"}) {
    const std::string source = dir.file("source" + bits + ".wav");
    const std::string lossless = dir.file("lossless" + bits + ".m4a");
    run({"sox", "-n", "-r", "44100", "-c", "2", "-b", bits, source, "synth", "1.3", "sine", "440",
         "sine", "660", "vol", "0.7"});
    encode(source, "alac", lossless);
    const ReadFile original = readAll(source);
    const ReadFile decoded = readAll(lossless);
    ASSERT_EQ(original.samples.size(), 2u * 57330u) << bits;
    EXPECT_EQ(decoded.lengthFrames, 57330) << bits;
    EXPECT_TRUE(decoded.samples == original.samples) << bits << " bits differ";
  }
}

TEST(LinuxAudioFileReader, AacEndsAtItsStatedLengthWithoutTheEncodersPadding) {
  TempDir dir;
  makeTone(dir.file("tone.wav"), 440, 1.0);
  encode(dir.file("tone.wav"), "aac", dir.file("tone.m4a"));
  const ReadFile decoded = readAll(dir.file("tone.m4a"));
  EXPECT_EQ(decoded.lengthFrames, 48000);
  EXPECT_EQ(decoded.samples.size(), 2u * 48000u);
}

}  // namespace
}  // namespace vellory::e2e

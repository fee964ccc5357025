#include "e2e/announcement/MonitorRecording.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace vellory::e2e {

std::unique_ptr<Recorder> recordMonitor(const std::string& sink, const std::string& path) {
  auto recorder = std::make_unique<Recorder>(sink + ".monitor", path, 2);
  const bool flowing = waitUntil(
      [&] {
        struct stat info {};
        return ::stat(path.c_str(), &info) == 0 && info.st_size > 48000 * 8 / 10;
      },
      std::chrono::seconds(10));
  EXPECT_TRUE(flowing) << "the recorder of " << sink << " delivered nothing";
  return recorder;
}

}  // namespace vellory::e2e

#pragma once

#include <chrono>

namespace vellory::announcement {

// Seconds as a sleepable duration: negative and NaN give 0, and a length too large to count in
// microseconds is held at about 3000 years instead of overflowing.
std::chrono::microseconds microsecondsOf(double seconds);

}  // namespace vellory::announcement

#include "announcement/Seconds.hpp"

namespace vellory::announcement {

std::chrono::microseconds microsecondsOf(double seconds) {
  constexpr double longest = 1e17;  // microseconds
  const double micros = seconds * 1e6;
  if (!(micros > 0)) return std::chrono::microseconds(0);
  if (micros >= longest) return std::chrono::microseconds(static_cast<std::int64_t>(longest));
  return std::chrono::microseconds(static_cast<std::int64_t>(micros));
}

}  // namespace vellory::announcement

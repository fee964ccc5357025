#pragma once

#include <string>

namespace vellory::announcement {

// The shortest decimal text that reads back as the same single-precision value, always with a
// fractional part ("0.0", "0.5", "1.0"); magnitudes below 0.0001 (other than zero) and from
// 2^24 up in exponent form ("1e-05", "1.6777216e+07").
std::string floatText(float value);

}  // namespace vellory::announcement

#include "shared/OptionLookup.hpp"

#include <algorithm>
#include <charconv>

namespace vellory {

std::optional<std::string> argument(const std::string& name, const std::vector<std::string>& args) {
  const auto it = std::find(args.begin(), args.end(), name);
  if (it == args.end() || it + 1 == args.end()) return std::nullopt;
  return *(it + 1);
}

std::int64_t milliseconds(const std::string& name, const std::vector<std::string>& args) {
  const std::string text = argument(name, args).value_or("0");
  std::string_view digits = text;
  bool negative = false;
  if (!digits.empty() && (digits.front() == '+' || digits.front() == '-')) {
    negative = digits.front() == '-';
    digits.remove_prefix(1);
  }
  if (digits.empty() ||
      !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return 0;
  }
  // Parse with the sign so that the most negative 64-bit value still counts as a number.
  std::string signedText(negative ? "-" : "");
  signedText.append(digits);
  std::int64_t value = 0;
  const auto [end, error] =
      std::from_chars(signedText.data(), signedText.data() + signedText.size(), value);
  if (error != std::errc() || end != signedText.data() + signedText.size()) return 0;
  return std::max<std::int64_t>(0, value);
}

}  // namespace vellory

#pragma once

#include <optional>
#include <string>

namespace vellory {

// What the platform says about this account and system, for finding and running the decoder;
// each backend implements these. Any thread.

// The account's home directory: on macOS the one the system gives for the account, whatever HOME
// says; on Linux $HOME, then the password database. Empty when there is none.
std::string homeDirectory();

// The CA bundle that the decoder is to trust for https when it is not told otherwise; absent
// where the decoder finds the system's trust by itself.
std::optional<std::string> systemCAFile();

}  // namespace vellory

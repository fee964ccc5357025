#pragma once

#include <sys/types.h>

namespace vellory::e2e {

// Peak resident memory of a running process in kB (VmHWM), or -1.
long peakMemoryKB(pid_t pid);

}  // namespace vellory::e2e

#include "shared/CallGate.hpp"

#include <thread>

namespace vellory {

bool CallGate::enter() {
  // Counted before looking at the mark: a `close` that set the mark before this count either
  // is seen here, or sees the count and waits for it.
  inside_.fetch_add(1);
  if (closed_.load()) {
    inside_.fetch_sub(1);
    return false;
  }
  return true;
}

void CallGate::leave() {
  inside_.fetch_sub(1);
}

void CallGate::close() {
  closed_.store(true);
  // Callbacks are short and never wait for the closing thread, so a brief spin ends soon.
  while (inside_.load() != 0) std::this_thread::yield();
}

}  // namespace vellory

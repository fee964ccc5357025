#include "platform/linux/PulseConnection.hpp"

namespace vellory::pulse {

namespace {

void wakeLoop(pa_context*, void* userdata) {
  pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(userdata), 0);
}

}  // namespace

pa_context* connectContext(pa_threaded_mainloop* loop, const std::string& clientName) {
  pa_proplist* properties = pa_proplist_new();
  pa_proplist_sets(properties, PA_PROP_APPLICATION_NAME, clientName.c_str());
  pa_proplist_sets(properties, PA_PROP_APPLICATION_ID, "com.vellory.runtime");
  pa_context* context = pa_context_new_with_proplist(pa_threaded_mainloop_get_api(loop),
                                                     clientName.c_str(), properties);
  pa_proplist_free(properties);
  if (context == nullptr) return nullptr;
  pa_context_set_state_callback(context, wakeLoop, loop);
  if (pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
    releaseContext(context);
    return nullptr;
  }
  for (;;) {
    const pa_context_state_t state = pa_context_get_state(context);
    if (state == PA_CONTEXT_READY) return context;
    if (!PA_CONTEXT_IS_GOOD(state)) {
      releaseContext(context);
      return nullptr;
    }
    pa_threaded_mainloop_wait(loop);
  }
}

bool awaitOperation(pa_threaded_mainloop* loop, pa_context* context, pa_operation* operation) {
  if (operation == nullptr) return false;
  while (pa_operation_get_state(operation) == PA_OPERATION_RUNNING) {
    if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(context))) break;
    pa_threaded_mainloop_wait(loop);
  }
  const bool done = pa_operation_get_state(operation) == PA_OPERATION_DONE;
  if (!done) pa_operation_cancel(operation);
  pa_operation_unref(operation);
  return done;
}

void releaseContext(pa_context* context) {
  if (context == nullptr) return;
  pa_context_set_state_callback(context, nullptr, nullptr);
  pa_context_disconnect(context);
  pa_context_unref(context);
}

}  // namespace vellory::pulse

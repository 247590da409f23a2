#include <pthread.h>

#include <cerrno>
#include <new>

#include "platform/platform.h"

namespace kestrun::platform {
namespace {

struct ThreadStart {
  void (*routine)(void*);
  void* argument;
};

void* RunThread(void* start) {
  const ThreadStart copy = *static_cast<ThreadStart*>(start);
  delete static_cast<ThreadStart*>(start);
  copy.routine(copy.argument);
  return nullptr;
}

}  // namespace

int StartDetachedThread(void (*routine)(void*), void* argument) {
  auto* start = new (std::nothrow) ThreadStart{routine, argument};
  if (start == nullptr) return ENOMEM;
  pthread_t thread;
  const int error = pthread_create(&thread, nullptr, RunThread, start);
  if (error != 0) {
    delete start;
    return error;
  }
  pthread_detach(thread);
  return 0;
}

}  // namespace kestrun::platform

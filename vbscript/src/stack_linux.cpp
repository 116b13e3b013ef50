// The Linux side of stack.h: the thread's stack bounds come from pthread_getattr_np.
#include <pthread.h>

#include <algorithm>
#include <cstdint>
#include <exception>

#include "stack.h"

namespace ralvek::vbscript::stack {

namespace {

#if defined(__SANITIZE_ADDRESS__)
#define RALVEK_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define RALVEK_ASAN 1
#endif
#endif

#ifdef RALVEK_ASAN
// AddressSanitizer cannot clean up after an exception thrown deeper than 64 MiB into a stack
// (its false reports end the program), so a sanitized build uses no more than this.
constexpr std::uintptr_t kSanitizedDepth = std::uintptr_t{56} << 20;
#endif

// The lowest address a check may see on this thread; 0 until first asked.
thread_local std::uintptr_t t_floor = 0;

std::uintptr_t here() {
  // The frame address is the real stack even where AddressSanitizer moves locals elsewhere.
  return reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0));
}

std::uintptr_t find_floor() {
  pthread_attr_t attr;
  void* low = nullptr;
  std::size_t size = 0;
  if (pthread_getattr_np(pthread_self(), &attr) == 0) {
    pthread_attr_getstack(&attr, &low, &size);
    pthread_attr_destroy(&attr);
  }
  std::uintptr_t base = reinterpret_cast<std::uintptr_t>(low);
  std::uintptr_t top = here();
  if (size == 0 || top <= base) return top - std::min<std::uintptr_t>(top, 256u << 10);
  // A small foreign stack keeps half of what is left for the reserve.
  std::size_t reserve = std::min(kReserveBytes, static_cast<std::size_t>(top - base) / 2);
  std::uintptr_t floor = base + reserve;
#ifdef RALVEK_ASAN
  std::uintptr_t end = base + size;
  if (end - floor > kSanitizedDepth) floor = end - kSanitizedDepth;
#endif
  return floor;
}

struct Job {
  const std::function<void()>* fn;
  std::exception_ptr error;
};

void* thread_main(void* arg) {
  Job& job = *static_cast<Job*>(arg);
  try {
    (*job.fn)();
  } catch (...) {
    job.error = std::current_exception();
  }
  return nullptr;
}

}  // namespace

bool has_room() {
  if (t_floor == 0) t_floor = find_floor();
  return here() > t_floor;
}

void run_on_new_stack(std::size_t bytes, const std::function<void()>& fn) {
#ifdef RALVEK_ASAN
  // No more is used (above), and the sanitizer clears the shadow of the whole stack per thread.
  bytes = std::min<std::size_t>(bytes, kSanitizedDepth + (std::size_t{8} << 20));
#endif
  Job job{&fn, nullptr};
  pthread_attr_t attr;
  pthread_t thread{};
  int rc = pthread_attr_init(&attr);
  if (rc == 0) rc = pthread_attr_setstacksize(&attr, bytes);
  if (rc == 0) rc = pthread_create(&thread, &attr, thread_main, &job);
  pthread_attr_destroy(&attr);
  if (rc != 0) {
    // No memory for a thread: the checks still hold on the caller's own stack.
    fn();
    return;
  }
  pthread_join(thread, nullptr);
  if (job.error) std::rethrow_exception(job.error);
}

}  // namespace ralvek::vbscript::stack

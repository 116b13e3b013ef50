// Bounds of one call: the memory held by script strings and arrays, string length, time.
//
// Script strings and arrays allocate through TrackedAlloc, which counts the bytes they hold in one
// process-wide counter. While a call runs, a Budget on the calling thread sets the bounds; an
// allocation past the memory bound throws MemoryExhausted (a std::bad_alloc) before it happens.
#pragma once

#include <chrono>
#include <cstddef>
#include <new>
#include <optional>
#include <string>

namespace ralvek::vbscript {

struct MemoryExhausted : std::bad_alloc {
  const char* what() const noexcept override { return "script memory limit reached"; }
};

namespace budget {

std::size_t held_bytes();
void on_allocate(std::size_t bytes);  // throws MemoryExhausted past the bound of the active budget
void on_free(std::size_t bytes);

struct Bounds {
  std::size_t max_memory = 0;         // 0: none
  std::size_t max_string_length = 0;  // 0: none
  std::size_t max_array_elements = 0;
  std::optional<std::chrono::steady_clock::time_point> deadline;
};

// The bounds of the call running on this thread (all zero outside a call).
const Bounds& current();

// Installs bounds for its lifetime on this thread (nestable; the previous ones come back).
class Scope {
 public:
  explicit Scope(const Bounds& bounds);
  ~Scope();
  Scope(const Scope&) = delete;
  Scope& operator=(const Scope&) = delete;

 private:
  Bounds previous_;
};

// Throws the fatal "Out of string space" error when a string of `length` would pass the bound.
void check_string_length(std::size_t length);
// Throws the fatal time-out error when the deadline has passed.
void check_deadline();
[[noreturn]] void raise_timeout();

}  // namespace budget

// Raw memory counted as TrackedAlloc counts it (for the parsed tree's nodes).
inline void* tracked_new(std::size_t size) {
  budget::on_allocate(size);
  try {
    return ::operator new(size);
  } catch (...) {
    budget::on_free(size);
    throw;
  }
}
inline void tracked_delete(void* p, std::size_t size) noexcept {
  ::operator delete(p);
  budget::on_free(size);
}

template <class T>
struct TrackedAlloc {
  using value_type = T;
  TrackedAlloc() noexcept = default;
  template <class U>
  TrackedAlloc(const TrackedAlloc<U>&) noexcept {}
  T* allocate(std::size_t n) {
    budget::on_allocate(n * sizeof(T));
    try {
      return std::allocator<T>{}.allocate(n);
    } catch (...) {
      budget::on_free(n * sizeof(T));
      throw;
    }
  }
  void deallocate(T* p, std::size_t n) noexcept {
    std::allocator<T>{}.deallocate(p, n);
    budget::on_free(n * sizeof(T));
  }
  template <class U>
  bool operator==(const TrackedAlloc<U>&) const noexcept {
    return true;
  }
};

using Str = std::basic_string<char, std::char_traits<char>, TrackedAlloc<char>>;

inline Str to_str(std::string_view text) {
  return Str(text.data(), text.size());
}
inline std::string to_std(const Str& text) {
  return std::string(text.data(), text.size());
}

}  // namespace ralvek::vbscript

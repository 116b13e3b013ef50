#include "budget.h"

#include <atomic>

#include "errors.h"
#include "vbscript/engine.h"

namespace ralvek::vbscript::budget {

namespace {
std::atomic<std::size_t> g_held{0};
thread_local Bounds t_bounds;
}  // namespace

std::size_t held_bytes() {
  return g_held.load(std::memory_order_relaxed);
}

void on_allocate(std::size_t bytes) {
  std::size_t now = g_held.fetch_add(bytes, std::memory_order_relaxed) + bytes;
  if (t_bounds.max_memory != 0 && now > t_bounds.max_memory) {
    g_held.fetch_sub(bytes, std::memory_order_relaxed);
    throw MemoryExhausted();
  }
}

void on_free(std::size_t bytes) {
  g_held.fetch_sub(bytes, std::memory_order_relaxed);
}

const Bounds& current() {
  return t_bounds;
}

Scope::Scope(const Bounds& bounds) : previous_(t_bounds) {
  t_bounds = bounds;
}
Scope::~Scope() {
  t_bounds = previous_;
}

void check_string_length(std::size_t length) {
  if (t_bounds.max_string_length != 0 && length > t_bounds.max_string_length) {
    raise_fatal(err::kOutOfStringSpace, "Out of string space (a string may hold at most " +
                                            std::to_string(t_bounds.max_string_length) +
                                            " characters)");
  }
}

void check_deadline() {
  if (t_bounds.deadline && std::chrono::steady_clock::now() >= *t_bounds.deadline) raise_timeout();
}

void raise_timeout() {
  raise_fatal(kTimeoutError, "Script timed out");
}

}  // namespace ralvek::vbscript::budget

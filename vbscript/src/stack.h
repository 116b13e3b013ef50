// The native stack under the engine: how much of it is left, and a thread with a stack of known
// size to run script calls on.
//
// Every recursion of the parser and the interpreter passes check(), so no script text and no run
// can overflow the stack: what would is error 28 "Out of stack space" instead.
#pragma once

#include <cstddef>
#include <functional>

namespace ralvek::vbscript::stack {

// Room kept free below the last check: enough for a built-in function, a library call and the
// unwinding of the error thrown at the limit.
inline constexpr std::size_t kReserveBytes = std::size_t{1} << 20;

// True while more than the reserve is left on the calling thread's stack (in an
// AddressSanitizer build, also while less than 56 MiB of it are in use).
bool has_room();

// Runs `fn` on a new thread whose stack holds `bytes` and waits for it to end; an exception
// that leaves `fn` is thrown again on the calling thread.
void run_on_new_stack(std::size_t bytes, const std::function<void()>& fn);

}  // namespace ralvek::vbscript::stack

#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace ralvek::platform {

// Programs are started from an argument vector, never through a shell, so a value put into
// an argument stays one argument whatever characters it holds. argv[0] is looked up on PATH
// when it has no slash.

// Starts the program and waits for it. Returns its exit status (128 + signal when killed), or
// nothing when it could not be started.
std::optional<int> run_and_wait(const std::vector<std::string>& argv);

// Starts the program without waiting; its exit status is collected by the kernel's init
// (SIGCHLD is not watched). Returns false when it could not be started.
bool start_detached(const std::vector<std::string>& argv);

// True when `name` is an executable file in one of the PATH directories.
bool on_path(const std::string& name);

// Splits a command template into words as a POSIX shell would (blanks separate words; single
// quotes, double quotes and backslashes quote), without any expansion.
std::vector<std::string> split_words(const std::string& text);

// Lowers the calling thread's scheduling priority (nice 10, the thread only), so that its
// background work gives way to the event loop whenever both want the CPU. Only a hint.
void lower_this_thread_priority();

// The process's limit of open descriptors (the soft limit); a large number when unlimited.
std::size_t open_files_limit();

}  // namespace ralvek::platform

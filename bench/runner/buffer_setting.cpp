#include "buffer_setting.h"

#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace ralvek::bench {
namespace {

constexpr const char* kPath = "/proc/sys/net/core/rmem_default";
// The value to put back, as text, kept where a signal handler can reach it without allocating.
char g_saved[32] = {};
volatile std::sig_atomic_t g_changed = 0;

bool write_value(const char* text) {
  int fd = ::open(kPath, O_WRONLY | O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = ::write(fd, text, std::strlen(text)) == static_cast<ssize_t>(std::strlen(text));
  ::close(fd);
  return ok;
}

}  // namespace

bool BufferSetting::available() { return ::access(kPath, W_OK) == 0; }

BufferSetting::BufferSetting(long bytes) {
  if (bytes <= 0) return;
  int fd = ::open(kPath, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return;
  ssize_t n = ::read(fd, g_saved, sizeof(g_saved) - 1);
  ::close(fd);
  if (n <= 0) return;
  g_saved[n] = '\0';
  char text[32];
  std::snprintf(text, sizeof(text), "%ld\n", bytes);
  g_changed = 1;
  if (!write_value(text)) g_changed = 0;
}

BufferSetting::~BufferSetting() { restore_now(); }

void BufferSetting::restore_now() {
  if (!g_changed) return;
  write_value(g_saved);
  g_changed = 0;
}

}  // namespace ralvek::bench

#include <new>
#include <string>
#include <vector>

#include "pemrod/cls_logger.h"
#include "pemrod/pemrod.h"

struct pemrod_logger {
  ralvek::pemrod::clsLogger logger;
  std::string last_error;
};

namespace {

using ralvek::pemrod::Error;

int fail(pemrod_logger* l, int number, const char* description) noexcept {
  try {
    l->last_error = description;
  } catch (...) {
    l->last_error.clear();
  }
  return number;
}

// Runs `f` on the logger and turns whatever it throws into the C result.
template <typename F>
int guarded(pemrod_logger* l, F&& f) noexcept {
  if (l == nullptr) return ralvek::pemrod::kErrInternal;
  try {
    f(l->logger);
    return 0;
  } catch (const Error& e) {
    return fail(l, e.number(), e.description().c_str());
  } catch (const std::bad_alloc&) {
    return fail(l, ralvek::pemrod::kErrOutOfMemory, "Out of memory");
  } catch (const std::exception& e) {
    return fail(l, ralvek::pemrod::kErrInternal, e.what());
  } catch (...) {
    return fail(l, ralvek::pemrod::kErrInternal, "Internal error");
  }
}

const char* text_or_empty(const char* s) {
  return s == nullptr ? "" : s;
}

}  // namespace

extern "C" {

pemrod_logger* pemrod_create(void) {
  try {
    return new pemrod_logger{};
  } catch (...) {
    return nullptr;
  }
}

void pemrod_destroy(pemrod_logger* logger) {
  delete logger;
}

const char* pemrod_version(const pemrod_logger* logger) {
  return logger == nullptr ? "" : logger->logger.Version().c_str();
}

int pemrod_set_max_size(pemrod_logger* logger, int32_t kb) {
  return guarded(logger, [kb](auto& log) { log.MaxSize(kb); });
}

int32_t pemrod_get_max_size(const pemrod_logger* logger) {
  return logger == nullptr ? 0 : logger->logger.MaxSize();
}

int pemrod_set_log_file(pemrod_logger* logger, const char* file) {
  return guarded(logger, [file](auto& log) { log.LogFile(text_or_empty(file)); });
}

const char* pemrod_get_log_file(const pemrod_logger* logger) {
  return logger == nullptr ? "" : logger->logger.LogFile().c_str();
}

int pemrod_set_log_path(pemrod_logger* logger, const char* path) {
  return guarded(logger, [path](auto& log) { log.LogPath(text_or_empty(path)); });
}

const char* pemrod_get_log_path(const pemrod_logger* logger) {
  return logger == nullptr ? "" : logger->logger.LogPath().c_str();
}

int pemrod_log(pemrod_logger* logger, const char* const* texts, size_t count) {
  if (logger != nullptr && texts == nullptr && count > 0) {
    return fail(logger, ralvek::pemrod::kErrInvalidCall, "Invalid procedure call or argument");
  }
  return guarded(logger, [texts, count](auto& log) {
    std::vector<std::string_view> lines;
    lines.reserve(count);
    for (size_t i = 0; i < count; ++i) lines.emplace_back(text_or_empty(texts[i]));
    log.Log(std::span<const std::string_view>(lines));
  });
}

void pemrod_open_log(pemrod_logger* logger, const char* file_name) {
  guarded(logger, [file_name](auto& log) { log.OpenLog(text_or_empty(file_name)); });
}

void pemrod_close_log(pemrod_logger* logger) {
  guarded(logger, [](auto& log) { log.CloseLog(); });
}

const char* pemrod_last_error(const pemrod_logger* logger) {
  return logger == nullptr ? "" : logger->last_error.c_str();
}

}  // extern "C"

#include "pemrod/cls_logger.h"

#include <cerrno>
#include <limits>
#include <utility>
#include <vector>

#include "entry_text.h"
#include "event_report.h"
#include "path_parts.h"
#include "ralvek_version.h"

namespace ralvek::pemrod {

struct clsLogger::Impl {
  std::int32_t max_size = 0;  // bytes, -1: no limit
  std::string version;
  std::string log_file;
  std::string log_path;
  bool open = false;
  std::shared_ptr<Env> fso;
  std::unique_ptr<LogStream> stream;

  std::string full_path() const { return build_path(log_path, log_file); }
};

clsLogger::clsLogger() : clsLogger(posix_env()) {}

clsLogger::clsLogger(std::shared_ptr<Env> env) : impl_(std::make_unique<Impl>()) {
  if (!env) throw Error(kErrInvalidCall, "clsLogger needs an Env");
  impl_->fso = std::move(env);
  MaxSize(1024);
  impl_->version = std::to_string(kVersionMajor) + "." + std::to_string(kVersionMinor) + "." +
                   std::to_string(kVersionRevision);
}

clsLogger::~clsLogger() {
  CloseLog();
}

const std::string& clsLogger::Version() const {
  return impl_->version;
}

void clsLogger::MaxSize(std::int32_t kb) {
  if (kb < 1) {
    impl_->max_size = -1;
    return;
  }
  if (kb > std::numeric_limits<std::int32_t>::max() / 1024) throw Error(kErrOverflow, "Overflow");
  impl_->max_size = kb * 1024;
}

std::int32_t clsLogger::MaxSize() const {
  return impl_->max_size;
}

void clsLogger::LogFile(std::string_view s) {
  impl_->log_file = file_name(s);
  if (s != impl_->log_file) LogPath(parent_folder(s));
}

const std::string& clsLogger::LogFile() const {
  return impl_->log_file;
}

void clsLogger::LogPath(std::string_view s) {
  impl_->log_path = std::string(s);
  if (!impl_->fso->folder_exists(impl_->log_path)) {
    throw Error(kErrProgram, "Path doesn't exists: " + impl_->log_path);
  }
}

const std::string& clsLogger::LogPath() const {
  return impl_->log_path;
}

void clsLogger::Log(std::span<const std::string> v) {
  const std::vector<std::string_view> parts(v.begin(), v.end());
  Log(std::span<const std::string_view>(parts));
}

void clsLogger::Log(std::span<const std::string_view> v) {
  Impl& m = *impl_;
  if (!m.open) {
    OpenLog();
    if (!m.open) return;
  }
  const std::string full = m.full_path();
  const std::time_t now = m.fso->now();

  std::uint64_t size = 0;
  try {
    size = m.fso->file_size(full);
  } catch (const Error& e) {
    // Removed behind our back (by hand or a rotation tool): the open stream would write into
    // a file nobody can see, so start a new one under the name.
    if (e.system_error() != ENOENT) throw;
    OpenLog();
    if (!m.open) return;
  }

  if (m.max_size > 0 && size > static_cast<std::uint64_t>(m.max_size)) {
    CloseLog();
    try {
      m.fso->rename_no_replace(full, rolled_over_path(full, rollover_stamp(now)));
    } catch (const Error& e) {
      // The stamped name is taken (second rollover within a second): keeping that file beats
      // keeping the limit, so this entry goes to the current file and the next one retries.
      if (e.number() != kErrFileExists) throw;
    }
    OpenLog();
    if (!m.open) return;
  }

  m.stream->write(entry_bytes(entry_stamp(now), v));
}

void clsLogger::OpenLog(std::string_view strFileName) {
  CloseLog();
  Impl& m = *impl_;
  std::string description;
  try {
    if (!strFileName.empty()) LogFile(strFileName);
    m.stream = m.fso->open_append(m.full_path());
    m.open = true;
    return;
  } catch (const Error& e) {
    description = e.description();
  } catch (const std::exception& e) {
    description = e.what();
  } catch (...) {
    description = "Internal error";
  }
  try {
    report_error_event(
        "An error occurred during file access: " + description + "\r\nFile: " + m.full_path(),
        m.fso->now());
  } catch (...) {
    // OpenLog never raises, even when the report cannot be built.
  }
}

void clsLogger::CloseLog() {
  if (!impl_->open) return;
  impl_->open = false;
  impl_->stream.reset();
}

}  // namespace ralvek::pemrod

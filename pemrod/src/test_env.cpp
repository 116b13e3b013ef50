#include "test_env.h"

#include <stdlib.h>

#include <fstream>
#include <sstream>
#include <stdexcept>

#include "pemrod/error.h"

namespace ralvek::pemrod::testing {

TempDir::TempDir() {
  std::string templ = (std::filesystem::temp_directory_path() / "pemrod_test_XXXXXX").string();
  if (mkdtemp(templ.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = templ;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void write_file(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

std::vector<std::string> read_lines(const std::string& path) {
  std::vector<std::string> lines;
  std::ifstream in(path, std::ios::binary);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

ScopedTz::ScopedTz(const char* tz) {
  const char* old = getenv("TZ");
  had_old_ = old != nullptr;
  if (had_old_) old_ = old;
  setenv("TZ", tz, 1);
  tzset();
}

ScopedTz::~ScopedTz() {
  if (had_old_) {
    setenv("TZ", old_.c_str(), 1);
  } else {
    unsetenv("TZ");
  }
  tzset();
}

ScopedEventLog::ScopedEventLog(const TempDir& dir) : path_(dir / "events.jsonl") {
  setenv("RALVEK_EVENT_LOG", path_.c_str(), 1);
}

ScopedEventLog::~ScopedEventLog() {
  unsetenv("RALVEK_EVENT_LOG");
}

namespace {

class FaultStream : public LogStream {
 public:
  FaultStream(std::unique_ptr<LogStream> real, const int& fault)
      : real_(std::move(real)), fault_(fault) {}
  void write(std::string_view bytes) override {
    if (fault_ != 0) throw Error::from_errno(fault_);
    real_->write(bytes);
  }

 private:
  std::unique_ptr<LogStream> real_;
  const int& fault_;  // the Env's switch, which outlives the logger's streams in the tests
};

}  // namespace

bool FaultEnv::folder_exists(const std::string& path) {
  return real_->folder_exists(path);
}

std::unique_ptr<LogStream> FaultEnv::open_append(const std::string& path) {
  ++open_attempts;
  if (open_fault != 0) throw Error::from_errno(open_fault);
  return std::make_unique<FaultStream>(real_->open_append(path), write_fault);
}

std::uint64_t FaultEnv::file_size(const std::string& path) {
  if (size_fault != 0) throw Error::from_errno(size_fault);
  return real_->file_size(path);
}

void FaultEnv::rename_no_replace(const std::string& from, const std::string& to) {
  if (rename_fault != 0) throw Error::from_errno(rename_fault);
  real_->rename_no_replace(from, to);
}

}  // namespace ralvek::pemrod::testing

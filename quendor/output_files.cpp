#include "output_files.h"

#include <cerrno>

#include "platform/clock.h"
#include "vb/vb.h"

namespace ralvek::quendor {
namespace {

// More taken seconds in a row than this are no clash of periods but something else using
// the names; the create fails instead of searching on.
constexpr int kMaxSkippedSeconds = 3600;

}  // namespace

OutputFiles::OutputFiles(platform::FileSystem& fs, files::Finisher& finisher, std::filesystem::path data_path)
    : fs_(fs), finisher_(finisher), data_path_(std::move(data_path)) {
  resize(0);
}

void OutputFiles::resize(int highest) {
  for (std::size_t n = 0; n < tsFiles_.size(); ++n) close(static_cast<int>(n));
  tsFiles_.clear();
  tsFiles_.resize(static_cast<std::size_t>(highest < 0 ? 0 : highest) + 1);
  paths_.assign(tsFiles_.size(), {});
}

std::size_t OutputFiles::slot(int exchange) const {
  if (exchange < 0 || static_cast<std::size_t>(exchange) >= tsFiles_.size()) {
    throw vb::VbError(9, "Subscript out of range");
  }
  return static_cast<std::size_t>(exchange);
}

bool OutputFiles::is_open(int exchange) const {
  return tsFiles_[slot(exchange)] != nullptr;
}

std::string OutputFiles::file_name(int exchange, const std::string& stamp) {
  return std::to_string(exchange) + "_" + stamp + ".hp4";
}

// A name is looked up, not the folder listed: with brastel away for a few minutes the folder
// holds thousands of .dat files, and listing them at each of 200 creations after a rotation held
// the loop for most of a second. Renames go to the lower-case ".dat"; the upper-case forms are
// checked as well for files put there from outside.
bool OutputFiles::name_taken(const std::string& base) {
  for (const char* ext : {".dat", ".hp4", ".DAT", ".HP4"}) {
    if (fs_.exists(data_path_ / (base + ext))) return true;
  }
  return false;
}

std::string OutputFiles::free_stamp(int exchange, std::time_t now) {
  std::string prefix = std::to_string(exchange) + "_";
  for (int skipped = 0; skipped <= kMaxSkippedSeconds; ++skipped) {
    std::string stamp = platform::time_stamp(now + skipped);
    if (!name_taken(prefix + stamp) && finisher_.claim(data_path_ / file_name(exchange, stamp))) return stamp;
  }
  throw platform::FileError(EEXIST, data_path_ / file_name(exchange, platform::time_stamp(now)));
}

// free_stamp() claims the name it returns.
std::string OutputFiles::create(int exchange, std::time_t now) {
  close(exchange);
  std::string name = file_name(exchange, free_stamp(exchange, now));
  try {
    // Appending: should the name be taken after all, nothing already in it is lost.
    tsFiles_[slot(exchange)] = finisher_.open_claimed(data_path_ / name);
  } catch (...) {
    finisher_.release(data_path_ / name);
    throw;
  }
  paths_[slot(exchange)] = data_path_ / name;
  return name;
}

void OutputFiles::write(int exchange, std::string_view bytes) {
  auto& file = tsFiles_[slot(exchange)];
  if (!file) {
    throw vb::VbError(91, "No open output file for exchange " + std::to_string(exchange) + ": " +
                              std::to_string(bytes.size()) + " bytes lost");
  }
  file->append(bytes);
}

void OutputFiles::close(int exchange) {
  auto& file = tsFiles_[slot(exchange)];
  if (!file) return;
  file.reset();
  finisher_.release(paths_[slot(exchange)]);
}

void OutputFiles::hand_over(int exchange, files::Finisher::OnError on_error) {
  auto& file = tsFiles_[slot(exchange)];
  if (!file) return;
  finisher_.finish(std::move(file), paths_[slot(exchange)], std::move(on_error));
}

}  // namespace ralvek::quendor

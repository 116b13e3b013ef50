#pragma once

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "files/finisher.h"
#include "platform/files.h"

namespace ralvek::quendor {

// The temporary ".hp4" output files of the exchanges, at most one open per exchange number.
// Numbers outside 0..highest throw vb::VbError "Subscript out of range".
class OutputFiles {
 public:
  // `fs` and `finisher` must outlive this object.
  OutputFiles(platform::FileSystem& fs, files::Finisher& finisher, std::filesystem::path data_path);

  // Closes every file and makes room for exchange numbers 0..highest, all closed.
  void resize(int highest);
  int highest() const { return static_cast<int>(tsFiles_.size()) - 1; }

  bool is_open(int exchange) const;
  // Opens the exchange's new temporary file "<exchange>_<stamp>.hp4" and returns its name. The
  // stamp is the local time `now` or, when a ".dat" or ".hp4" of that name is already in the
  // folder (a period begun in the same second, a restart within it, a repeated local hour),
  // the next second whose name is free: a second file of one name could never be renamed, since
  // renames never replace a ".dat"; a name whose finish is pending counts as taken. So the name
  // is never an existing file's, and it sorts after the taken names it skipped. Throws platform::FileError when the file cannot be opened, or
  // with EEXIST when an hour of seconds is taken; the exchange then stays closed.
  std::string create(int exchange, std::time_t now);
  // Writes the bytes unchanged with one write. Throws when the exchange has no open file or
  // the write fails; the file stays open.
  void write(int exchange, std::string_view bytes);
  // Closes the file and leaves it as ".hp4".
  void close(int exchange);
  // Hands the open file to the finisher, which makes it a ".dat" (or deletes it when empty).
  void hand_over(int exchange, files::Finisher::OnError on_error);

  static std::string file_name(int exchange, const std::string& stamp);

 private:
  std::size_t slot(int exchange) const;
  std::string free_stamp(int exchange, std::time_t now);
  // True when a ".dat" or ".hp4" of that base name is in the folder.
  bool name_taken(const std::string& base);

  platform::FileSystem& fs_;
  files::Finisher& finisher_;
  std::filesystem::path data_path_;
  std::vector<std::unique_ptr<platform::WritableFile>> tsFiles_;  // empty slot: closed
  std::vector<std::filesystem::path> paths_;                     // of the open files
};

}  // namespace ralvek::quendor

#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files.h"

namespace ralvek::quendor {

// The temporary ".hp4" output files of the exchanges, at most one open per exchange number.
// Numbers outside 0..highest throw vb::VbError "Subscript out of range".
class OutputFiles {
 public:
  // `fs` must outlive this object.
  OutputFiles(platform::FileSystem& fs, std::filesystem::path data_path);

  // Closes every file and makes room for exchange numbers 0..highest, all closed.
  void resize(int highest);
  int highest() const { return static_cast<int>(tsFiles_.size()) - 1; }

  bool is_open(int exchange) const;
  // Opens "<exchange>_<stamp>.hp4" for appending: a file of that name that already exists
  // (the clock repeated a second, or an earlier rename failed) is added to, never emptied.
  // Throws platform::FileError when it cannot be opened; the exchange then stays closed.
  void create(int exchange, const std::string& stamp);
  // Writes the bytes unchanged with one write. Throws when the exchange has no open file or
  // the write fails; the file stays open.
  void write(int exchange, std::string_view bytes);
  void close(int exchange);

  static std::string file_name(int exchange, const std::string& stamp);

 private:
  std::size_t slot(int exchange) const;

  platform::FileSystem& fs_;
  std::filesystem::path data_path_;
  std::vector<std::unique_ptr<platform::WritableFile>> tsFiles_;  // empty slot: closed
};

}  // namespace ralvek::quendor

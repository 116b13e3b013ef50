#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "files/data_files.h"
#include "platform/files.h"

namespace ralvek::tolvin {

inline constexpr int kMaxSiteIndex = 1000;

// Cleans a received block in place: every NUL removed, then leading and trailing spaces
// (spaces only), then A-Z lower-cased. Other bytes, those above 127 included, stay as they are.
void clean_block(std::string& block);

// The temporary ".ip" files of the sites, one per site that has sent data this period.
// Site numbers outside 0..1000 throw vb::VbError "Subscript out of range".
class SiteFiles {
 public:
  SiteFiles(platform::FileSystem& fs, std::filesystem::path data_path);

  bool is_open(int site) const;
  // Opens a new file "<site>_<stamp><random>.ip" for appending (an existing file of that name is
  // appended to, never replaced). Throws on failure.
  void create(int site);
  // Closes the site's file; the file stays as ".ip" until the next rename.
  void close(int site);
  // Appends the bytes with one write. Throws on failure; the file stays open.
  void append(int site, std::string_view bytes);
  // The name the next file of `site` would get at `stamp` with `random_part`.
  static std::string file_name(int site, const std::string& stamp, const std::string& random_part);

 private:
  static std::size_t slot(int site);

  platform::FileSystem& fs_;
  std::filesystem::path data_path_;
  files::RandomPart random_;
  std::array<std::unique_ptr<platform::WritableFile>, kMaxSiteIndex + 1> tsSite_;
};

}  // namespace ralvek::tolvin

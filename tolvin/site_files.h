#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "files/data_files.h"
#include "files/finisher.h"
#include "platform/files.h"

namespace ralvek::tolvin {

inline constexpr int kMaxSiteIndex = 1000;

// Cleans a received block in place: every NUL removed, then leading and trailing spaces
// (spaces only), then A-Z lower-cased. Other bytes, those above 127 included, stay as they are.
void clean_block(std::string& block);

// The temporary ".ip" files of the sites, one per site that has sent data this period.
// Site numbers outside 0..1000 throw vb::VbError "Subscript out of range".
//
// Received blocks are held and written with one write per run of one site: hold() each block,
// then write_held() before waiting for more input (a burst of datagrams shares one write). Holding a
// block of another site, close() and create() write what is held first. A held run whose write
// fails is written again block by block, so only the blocks that cannot be written are lost,
// each passed to `lost`.
class SiteFiles {
 public:
  using LostBlock = std::function<void(int site, const std::exception& error)>;
  // `finisher`, which opens the files, must outlive this object.
  SiteFiles(files::Finisher& finisher, std::filesystem::path data_path, LostBlock lost);

  bool is_open(int site) const;
  // Opens a new file "<site>_<stamp><random>.ip" for appending (an existing file of that name is
  // appended to, never replaced). The name is claimed from the finisher: a name whose finish is
  // pending takes another random part. Returns the file's name. Throws on failure.
  std::string create(int site);
  // Closes the site's file; the file stays as ".ip" until the next rename.
  void close(int site);
  // Hands the site's open file to the finisher, which makes it a ".dat"; `on_error` hears of a
  // failure, on the loop.
  void hand_over(int site, files::Finisher::OnError on_error);
  // Holds one block for the site's open file; `line_end` follows it. Throws when the site has no
  // open file.
  void hold(int site, std::string_view block, std::string_view line_end);
  void write_held();
  // Writes `bytes` to the site's open file at once with one write, after what is held for the
  // site. Throws when the site has no open file, or platform::FileError when the write fails;
  // nothing of `bytes` then stays in the file.
  void write(int site, std::string_view bytes);
  // The name the next file of `site` would get at `stamp` with `random_part`.
  static std::string file_name(int site, const std::string& stamp, const std::string& random_part);

 private:
  static std::size_t slot(int site);
  void write_held_of(int site);

  files::Finisher& finisher_;
  std::filesystem::path data_path_;
  LostBlock lost_;
  files::RandomPart random_;
  std::array<std::unique_ptr<platform::WritableFile>, kMaxSiteIndex + 1> tsSite_;
  std::array<std::filesystem::path, kMaxSiteIndex + 1> site_path_;  // of each open file

  int held_site_ = -1;
  std::string held_;
  std::vector<std::size_t> held_ends_;  // where each held block ends in held_
};

}  // namespace ralvek::tolvin

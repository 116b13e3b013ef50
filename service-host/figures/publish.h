#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace ralvek::figures {

class Board;

// The board in the Prometheus text format: one family a figure, named ralvek_..., each sample
// labelled with service and source.
std::string prometheus_text(const Board& board);

// The board as the status file holds it: a first line "ralvek-status 1", lines "key<TAB>value"
// (program, pid, updated), then one line a source: "row" and TAB-separated key=value fields.
std::string status_text(const Board& board);

// The status file read back. Nothing when the text is not a status file.
struct StatusFile {
  std::string program;
  int pid = 0;
  std::string updated;
  std::vector<std::vector<std::pair<std::string, std::string>>> rows;
};
bool parse_status(const std::string& text, StatusFile& status);

// The status as a table for people, or as one JSON object.
std::string status_table(const StatusFile& status);
std::string status_json(const StatusFile& status);

// Writes `text` to a new file beside `path` and renames it over `path`, so a reader sees the
// old file or the new one, never a part. Throws std::filesystem::filesystem_error.
void replace_file(const std::filesystem::path& path, const std::string& text);

}  // namespace ralvek::figures

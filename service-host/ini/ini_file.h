#pragma once

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace ralvek::ini {

struct IniKey {
  std::string name;
  std::string value;  // as written, blanks around it removed
  int line = 0;       // 1-based line of the file, for messages
};

struct IniSection {
  std::string name;
  std::vector<IniKey> keys;  // file order; a repeated key appears each time it is written
  int line = 0;              // line of its first header
};

// A line that is neither blank, a comment, a section header nor a key in a section.
struct IgnoredLine {
  int line = 0;
  std::string text;
};

class SectionNotFound : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A Windows-style settings file: "[section]" lines each followed by "key=value" lines.
// Accepts CR LF or LF line ends, a UTF-8 byte-order mark, blank lines, comment lines starting
// with ';' or '#', and blanks around '='. Section and key names compare without regard to
// ASCII case; a section written twice is one section; lines before the first section and
// lines without '=' are ignored.
class IniFile {
 public:
  // Largest file read; a bigger file is treated as missing.
  static constexpr std::uintmax_t kMaxFileSize = 4 * 1024 * 1024;

  // Reads the file now. A missing or unreadable file leaves the reader with no sections.
  void set_file_path(const std::filesystem::path& path);
  const std::string& file_path() const { return path_; }

  // Number of sections: below 1 when the file is missing, empty or holds no section.
  int count() const { return static_cast<int>(sections_.size()); }

  // The first value written for the key, or `default_text` when the section or key is missing.
  std::string read_value(const std::string& section, const std::string& key,
                         const std::string& default_text) const;

  // Throws SectionNotFound when there is no such section.
  const IniSection& section(const std::string& name) const;

  // Parses text as the content of a settings file (used by set_file_path).
  void parse(std::string_view text);

  // Every section in file order, and the lines the reading passed over (for a settings check).
  const std::vector<IniSection>& sections() const { return sections_; }
  const std::vector<IgnoredLine>& ignored_lines() const { return ignored_; }

 private:
  const IniSection* find(const std::string& name) const;

  std::string path_;
  std::vector<IniSection> sections_;
  std::vector<IgnoredLine> ignored_;
};

}  // namespace ralvek::ini

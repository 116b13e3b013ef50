#pragma once

#include <filesystem>
#include <functional>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

#include "ini/ini_file.h"

// The reporting half of each service's "--check": what the program makes of its settings file,
// and what in the file it passes over without a word at its start.
namespace ralvek::ini {

// What the program makes of one value: the text shown in the report and, when the value is
// usable but doubtful (out of the sensible range, say), a warning. A value the start would
// fail on throws the error the start raises.
struct ValueUse {
  std::string shown;
  std::string warning;
};
using UseValue = std::function<ValueUse(const std::string& text)>;

// How a value's text is read before it is converted.
enum class Reading {
  kLeadingNumber,  // the leading number of the text, 0 when there is none (warned about)
  kAsWritten,      // the text itself
};

// One key the program reads, with its default and its conversion: one row of a service's table.
struct KnownKey {
  std::string name;
  std::string default_text;
  Reading reading = Reading::kAsWritten;
  UseValue use;  // empty: the text as written
};

// Conversions for the tables.
// The leading number rounded into 16 or 32 bits (Overflow past them, as the start); outside
// low..high a warning that says what the program does then (`outside`).
UseValue whole_number(int bits, double low = -std::numeric_limits<double>::infinity(),
                      double high = std::numeric_limits<double>::infinity(),
                      const std::string& outside = "");
// The leading number: 0 is `off`, anything else `on`.
UseValue switch_value(const std::string& on, const std::string& off);

// One run of a settings check: reads the file as the start does, prints a report and the
// findings to `out`, and counts the findings that would fail the start.
class SettingsCheck {
 public:
  SettingsCheck(std::ostream& out, const std::filesystem::path& file, std::string section);

  // Reads the file. Reports a missing or unreadable file, a file without any section (both fail
  // the start), the lines the reading passes over, other sections, and a missing section:
  // an error when `section_required`, else a warning that every key takes its default.
  // False when the start would fail here.
  bool read(bool section_required);

  const IniFile& ini() const { return ini_; }
  // The keys of the section in file order; empty when there is no section.
  const std::vector<IniKey>& keys() const;
  const std::string& file() const { return file_; }

  // Reports each known key: the value the program uses and where it comes from (the line, or
  // the default); warns about values the lenient reading cut or turned into 0, about doubtful
  // values and about keys written more than once (the first counts); an error for a value the
  // start fails on. Then warns about each key of the section that is neither known nor
  // accepted by `is_entry` (the program ignores it).
  void report_keys(const std::vector<KnownKey>& known,
                   const std::function<bool(const IniKey&)>& is_entry);

  // One line of the report, indented.
  void show(const std::string& text);
  // A finding at a line of the file (0: the file as a whole) about a key (may be empty).
  void warning(int line, const std::string& key, const std::string& text);
  void error(int line, const std::string& key, const std::string& text);

  int errors() const { return errors_; }
  // Prints the summary line; returns the exit status: 0 when the start would succeed, else 1.
  int finish();

 private:
  void finding(const char* kind, int line, const std::string& key, const std::string& text);
  void report_key(const KnownKey& known);

  std::ostream& out_;
  std::string file_;
  std::string section_;
  IniFile ini_;
  const IniSection* found_ = nullptr;
  int warnings_ = 0;
  int errors_ = 0;
};

// "abc" -> "\"abc\"": a value as it stands in the file, quoted for messages; past 60
// characters the rest is "...".
std::string quote(const std::string& text);
std::string shortened(const std::string& text);

}  // namespace ralvek::ini

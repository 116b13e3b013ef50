#include "ini/settings_check.h"

#include <cmath>
#include <exception>
#include <sstream>

#include "vb/vb.h"

namespace ralvek::ini {
namespace {

bool same_name(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

std::string number_text(double value) {
  std::ostringstream text;
  text.precision(15);
  text << value;
  return text.str();
}

// What the lenient reading does to a text that should be a number: empty when it reads the
// whole text.
std::string lenient_reading(const std::string& text) {
  size_t end = text.find_last_not_of(" \t");
  std::string word = end == std::string::npos ? std::string() : text.substr(0, end + 1);
  size_t length = vb::ValLength(word);
  if (word.empty()) return "empty value, read as 0";
  if (length == 0) return quote(text) + " has no leading number, read as 0";
  if (length < word.size()) {
    return quote(text) + " is read as " + number_text(vb::Val(word)) + ": " +
           quote(word.substr(length)) + " after the number is ignored";
  }
  return {};
}

}  // namespace

std::string shortened(const std::string& text) {
  constexpr size_t kShown = 60;  // a mebibyte line must not become a mebibyte message
  return text.size() <= kShown ? text : text.substr(0, kShown) + "...";
}

std::string quote(const std::string& text) {
  std::string quoted = "\"";  // appended, not "literal" + string: GCC 12 -O3 warns falsely
  quoted += shortened(text);
  quoted += '"';
  return quoted;
}

UseValue whole_number(int bits, double low, double high, const std::string& outside) {
  return [=](const std::string& text) {
    double value = vb::Val(text);
    double used = bits == 16 ? vb::CInt(value) : vb::CLng(value);
    ValueUse use{number_text(used), {}};
    if (used != value) use.warning = number_text(value) + " is rounded to " + use.shown;
    if (used < low || used > high) {
      use.warning = use.shown + " is outside " + number_text(low) + ".." + number_text(high);
      if (!outside.empty()) use.warning += ": " + outside;
    }
    return use;
  };
}

UseValue switch_value(const std::string& on, const std::string& off) {
  return [=](const std::string& text) { return ValueUse{vb::Val(text) != 0 ? on : off, {}}; };
}

SettingsCheck::SettingsCheck(std::ostream& out, const std::filesystem::path& file,
                             std::string section)
    : out_(out), file_(file.string()), section_(std::move(section)) {}

bool SettingsCheck::read(bool section_required) {
  std::error_code ec;
  bool exists = std::filesystem::exists(file_, ec);
  ini_.set_file_path(file_);
  out_ << "Settings file " << file_ << ", section [" << section_ << "]\n";
  if (!exists) {
    error(0, "", "file not found; the start fails with \"INI file not found: " + file_ + "\"");
    return false;
  }
  if (ini_.count() < 1) {
    auto size = std::filesystem::file_size(file_, ec);
    if (ec || size > IniFile::kMaxFileSize) {
      error(0, "", "the file cannot be read (unreadable, or larger than " +
                       std::to_string(IniFile::kMaxFileSize) + " bytes); the start fails");
    } else {
      error(0, "", "the file holds no section at all (no [" + section_ +
                       "] line); the start fails with \"INI file not found: " + file_ + "\"");
    }
    return false;
  }
  for (const auto& line : ini_.ignored_lines()) {
    warning(line.line, "", quote(line.text) + " is ignored: not a key=value line of a section");
  }
  for (const auto& section : ini_.sections()) {
    if (!same_name(section.name, section_)) {
      warning(section.line, "", "section [" + section.name + "] is not read by this program");
    } else {
      found_ = &section;
    }
  }
  if (found_) return true;
  if (section_required) {
    error(0, "", "no section [" + section_ + "]; the start fails");
    return false;
  }
  warning(0, "", "no section [" + section_ + "]: every key takes its default");
  return true;
}

const std::vector<IniKey>& SettingsCheck::keys() const {
  static const std::vector<IniKey> kNone;
  return found_ ? found_->keys : kNone;
}

void SettingsCheck::report_keys(const std::vector<KnownKey>& known,
                                const std::function<bool(const IniKey&)>& is_entry) {
  for (const auto& key : known) report_key(key);
  for (const auto& key : keys()) {
    bool is_known = false;
    for (const auto& k : known) is_known = is_known || same_name(k.name, key.name);
    if (!is_known && !(is_entry && is_entry(key))) {
      warning(key.line, key.name, "unknown key, ignored");
    }
  }
}

void SettingsCheck::report_key(const KnownKey& known) {
  std::vector<const IniKey*> written;
  for (const auto& key : keys()) {
    if (same_name(key.name, known.name)) written.push_back(&key);
  }
  const IniKey* first = written.empty() ? nullptr : written.front();
  std::string text = first ? first->value : known.default_text;
  int line = first ? first->line : 0;
  std::string where = first ? "line " + std::to_string(line) : "default";
  ValueUse use;
  std::string failure;
  try {
    use = known.use ? known.use(text) : ValueUse{text, {}};
  } catch (const std::exception& e) {
    use.shown = quote(text);
    failure = e.what();
  }
  show(known.name + " = " + shortened(use.shown) + "  (" + where + ")");
  for (size_t i = 1; i < written.size(); ++i) {
    warning(written[i]->line, known.name,
            "written again; only the first (line " + std::to_string(line) + ") is used");
  }
  if (first && known.reading == Reading::kLeadingNumber) {
    std::string cut = lenient_reading(text);
    if (!cut.empty()) warning(line, known.name, cut);
  }
  if (!use.warning.empty()) warning(line, known.name, use.warning);
  if (!failure.empty()) error(line, known.name, quote(text) + ": " + failure + "; the start fails");
}

void SettingsCheck::show(const std::string& text) { out_ << "  " << text << '\n'; }

void SettingsCheck::warning(int line, const std::string& key, const std::string& text) {
  ++warnings_;
  finding("warning", line, key, text);
}

void SettingsCheck::error(int line, const std::string& key, const std::string& text) {
  ++errors_;
  finding("error", line, key, text);
}

void SettingsCheck::finding(const char* kind, int line, const std::string& key,
                            const std::string& text) {
  out_ << file_;
  if (line > 0) out_ << ':' << line;
  out_ << ": " << kind << ": ";
  if (!key.empty()) out_ << shortened(key) << ": ";
  // Texts of the conversions may carry a whole value; a finding stays a line.
  constexpr size_t kLongest = 300;
  out_ << (text.size() <= kLongest ? text : text.substr(0, kLongest) + "...") << '\n';
}

int SettingsCheck::finish() {
  out_ << warnings_ << (warnings_ == 1 ? " warning, " : " warnings, ") << errors_
       << (errors_ == 1 ? " error" : " errors") << ": the start would "
       << (errors_ ? "fail" : "succeed") << "\n";
  return errors_ ? 1 : 0;
}

}  // namespace ralvek::ini

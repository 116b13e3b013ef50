#include "figures/publish.h"

#include <fstream>
#include <functional>
#include <sstream>

#include "figures/board.h"
#include "platform/clock.h"
#include "platform/process_probe.h"

namespace ralvek::figures {
namespace {

// One metric family: its header and how a sample is read off a source's (or the copy's) figures.
template <typename Figures>
struct Family {
  const char* name;
  const char* type;
  const char* help;
  std::function<double(const Figures&)> value;
};

const std::vector<Family<SourceFigures>>& source_families() {
  static const std::vector<Family<SourceFigures>> families = {
      {"ralvek_source_connected", "gauge", "1 while the source is connected (TCP) or its line is open.",
       [](const SourceFigures& f) { return f.connected ? 1.0 : 0.0; }},
      {"ralvek_received_bytes_total", "counter", "Bytes received since the start.",
       [](const SourceFigures& f) { return static_cast<double>(f.bytes_total); }},
      {"ralvek_received_records_total", "counter", "Records (line ends) received since the start.",
       [](const SourceFigures& f) { return static_cast<double>(f.records_total); }},
      {"ralvek_received_bytes_today", "gauge", "Bytes received since local midnight.",
       [](const SourceFigures& f) { return static_cast<double>(f.bytes_today); }},
      {"ralvek_received_records_today", "gauge", "Records received since local midnight.",
       [](const SourceFigures& f) { return static_cast<double>(f.records_today); }},
      {"ralvek_last_data_timestamp_seconds", "gauge", "Unix time of the last data; 0: none since the start.",
       [](const SourceFigures& f) { return static_cast<double>(f.last_data); }},
      {"ralvek_files_finished_total", "counter", "Files closed with data, renamed to .dat.",
       [](const SourceFigures& f) { return static_cast<double>(f.files_finished); }},
      {"ralvek_failed_writes_total", "counter", "Writes of received data that failed.",
       [](const SourceFigures& f) { return static_cast<double>(f.failed_writes); }},
      {"ralvek_silence_alarm", "gauge", "1 while the source's silence warning stands.",
       [](const SourceFigures& f) { return f.alarmed ? 1.0 : 0.0; }},
  };
  return families;
}

const std::vector<Family<CopyFigures>>& copy_families() {
  static const std::vector<Family<CopyFigures>> families = {
      {"ralvek_files_moved_total", "counter", "Files moved to the remote folder since the start.",
       [](const CopyFigures& f) { return static_cast<double>(f.files_moved); }},
      {"ralvek_moved_bytes_total", "counter", "Bytes of the files moved since the start.",
       [](const CopyFigures& f) { return static_cast<double>(f.bytes_moved); }},
      {"ralvek_copy_passes_total", "counter", "Copy passes run since the start.",
       [](const CopyFigures& f) { return static_cast<double>(f.passes); }},
      {"ralvek_copy_failures_total", "counter", "Copy passes that failed since the start.",
       [](const CopyFigures& f) { return static_cast<double>(f.failed_passes); }},
      {"ralvek_last_pass_timestamp_seconds", "gauge", "Unix time of the last pass; 0: none yet.",
       [](const CopyFigures& f) { return static_cast<double>(f.last_pass); }},
      {"ralvek_last_failure_timestamp_seconds", "gauge", "Unix time of the last failed pass; 0: none.",
       [](const CopyFigures& f) { return static_cast<double>(f.last_failure); }},
      {"ralvek_copy_error_count", "gauge", "Failed passes in a row, counted against MaxErrCount.",
       [](const CopyFigures& f) { return static_cast<double>(f.error_count); }},
  };
  return families;
}

std::string label_value(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\\') out += "\\\\";
    else if (c == '"') out += "\\\"";
    else if (c == '\n') out += "\\n";
    else out += c;
  }
  return out;
}

std::string number(double value) {
  std::ostringstream out;
  out.precision(17);
  out << value;
  return out.str();
}

void header(std::string& out, const char* name, const char* type, const char* help) {
  out.append("# HELP ").append(name).append(" ").append(help).append("\n");
  out.append("# TYPE ").append(name).append(" ").append(type).append("\n");
}

void sample(std::string& out, const char* name, const std::string& service, const std::string& source,
            double value) {
  out.append(name).append("{service=\"").append(label_value(service));
  out.append("\",source=\"").append(label_value(source)).append("\"} ");
  out.append(number(value)).append("\n");
}

std::string field(const std::string& text) {
  std::string out = text;
  for (char& c : out) {
    if (c == '\t' || c == '\r' || c == '\n') c = ' ';
  }
  return out;
}

std::string when(std::time_t time) { return time ? platform::iso_local_time(time) : std::string(); }

std::string row_line(const std::vector<std::pair<std::string, std::string>>& fields) {
  std::string line = "row";
  for (const auto& [key, value] : fields) line.append("\t").append(key).append("=").append(field(value));
  return line + "\n";
}

// Fields shown as text in JSON; all others are whole numbers.
bool text_field(const std::string& key) {
  return key == "source" || key == "address" || key == "current_file" || key.starts_with("last_");
}

std::string json_string(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof(escaped), "\\u%04x", c);
      out += escaped;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

}  // namespace

std::string prometheus_text(const Board& board) {
  std::string out;
  if (board.copy_service()) {
    for (const auto& family : copy_families()) {
      header(out, family.name, family.type, family.help);
      sample(out, family.name, board.program(), "copy", family.value(board.copy_figures()));
    }
    return out;
  }
  for (const auto& family : source_families()) {
    header(out, family.name, family.type, family.help);
    for (const auto& row : board.sources()) sample(out, family.name, board.program(), row.source, family.value(row));
  }
  return out;
}

std::string status_text(const Board& board) {
  std::string out = "ralvek-status 1\n";
  out += "program\t" + board.program() + "\n";
  out += "pid\t" + std::to_string(platform::current_process_id()) + "\n";
  out += "updated\t" + platform::iso_local_time(std::time(nullptr)) + "\n";
  if (board.copy_service()) {
    const CopyFigures& f = board.copy_figures();
    out += row_line({{"source", "copy"},
                     {"files_moved", std::to_string(f.files_moved)},
                     {"bytes_moved", std::to_string(f.bytes_moved)},
                     {"passes", std::to_string(f.passes)},
                     {"failed_passes", std::to_string(f.failed_passes)},
                     {"error_count", std::to_string(f.error_count)},
                     {"last_pass", when(f.last_pass)},
                     {"last_failure", when(f.last_failure)}});
    return out;
  }
  for (const auto& f : board.sources()) {
    out += row_line({{"source", f.source},
                     {"address", f.address},
                     {"connected", f.connected ? "1" : "0"},
                     {"records_today", std::to_string(f.records_today)},
                     {"records_total", std::to_string(f.records_total)},
                     {"bytes_today", std::to_string(f.bytes_today)},
                     {"bytes_total", std::to_string(f.bytes_total)},
                     {"last_data", when(f.last_data)},
                     {"files_finished", std::to_string(f.files_finished)},
                     {"failed_writes", std::to_string(f.failed_writes)},
                     {"silent", f.alarmed ? "1" : "0"},
                     {"current_file", f.current_file}});
  }
  return out;
}

bool parse_status(const std::string& text, StatusFile& status) {
  std::istringstream in(text);
  std::string line;
  if (!std::getline(in, line) || line != "ralvek-status 1") return false;
  while (std::getline(in, line)) {
    auto tab = line.find('\t');
    if (tab == std::string::npos) continue;
    std::string key = line.substr(0, tab);
    if (key == "program") status.program = line.substr(tab + 1);
    else if (key == "updated") status.updated = line.substr(tab + 1);
    else if (key == "pid") status.pid = std::atoi(line.c_str() + tab + 1);
    else if (key == "row") {
      std::vector<std::pair<std::string, std::string>> fields;
      std::istringstream parts(line.substr(tab + 1));
      for (std::string part; std::getline(parts, part, '\t');) {
        auto eq = part.find('=');
        if (eq == std::string::npos) continue;
        fields.emplace_back(part.substr(0, eq), part.substr(eq + 1));
      }
      status.rows.push_back(std::move(fields));
    }
  }
  return status.pid > 0;
}

std::string status_table(const StatusFile& status) {
  std::string out = status.program + " (pid " + std::to_string(status.pid) + "), figures of " +
                    status.updated + "\n";
  if (status.rows.empty()) return out + "no sources\n";
  const auto& first = status.rows.front();
  std::vector<std::size_t> widths;
  for (const auto& [key, value] : first) widths.push_back(key.size());
  for (const auto& row : status.rows) {
    for (std::size_t i = 0; i < row.size() && i < widths.size(); ++i) {
      widths[i] = std::max(widths[i], row[i].second.size());
    }
  }
  auto line = [&](const std::function<const std::string&(std::size_t)>& cell, std::size_t count) {
    std::string text;
    for (std::size_t i = 0; i < count && i < widths.size(); ++i) {
      std::string shown = cell(i).empty() ? "-" : cell(i);
      text += shown;
      if (i + 1 < count) text.append(widths[i] + 2 - std::min(widths[i] + 1, shown.size()), ' ');
    }
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text + "\n";
  };
  out += line([&](std::size_t i) -> const std::string& { return first[i].first; }, first.size());
  for (const auto& row : status.rows) {
    out += line([&](std::size_t i) -> const std::string& { return row[i].second; }, row.size());
  }
  return out;
}

std::string status_json(const StatusFile& status) {
  std::string out = "{\"program\":" + json_string(status.program) + ",\"pid\":" + std::to_string(status.pid) +
                    ",\"updated\":" + json_string(status.updated) + ",\"sources\":[";
  for (std::size_t r = 0; r < status.rows.size(); ++r) {
    if (r) out += ",";
    out += "{";
    for (std::size_t i = 0; i < status.rows[r].size(); ++i) {
      const auto& [key, value] = status.rows[r][i];
      if (i) out += ",";
      out += json_string(key) + ":";
      bool numeric = !text_field(key) && !value.empty() &&
                     value.find_first_not_of("0123456789") == std::string::npos;
      out += numeric ? value : json_string(value);
    }
    out += "}";
  }
  return out + "]}\n";
}

void replace_file(const std::filesystem::path& path, const std::string& text) {
  std::filesystem::path temp = path;
  temp += ".tmp";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) {
      throw std::filesystem::filesystem_error("cannot write", temp,
                                              std::make_error_code(std::errc::io_error));
    }
  }
  std::filesystem::rename(temp, path);
}

}  // namespace ralvek::figures

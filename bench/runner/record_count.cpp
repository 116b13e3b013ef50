#include "record_count.h"

#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>

#include "process.h"
#include "records.h"

namespace ralvek::bench {
namespace {

// A fast reading of pbxsim's record "rec;<source>;<seq, 10 digits>;<padding>": the padding of
// record n is the alphabet from letter n mod 26 on, repeated, so one memcmp against a long
// repeated alphabet checks it (gigabytes are checked per run; a division per byte is too slow).
class RecordReader {
 public:
  RecordReader() {
    for (int i = 0; i < 4096 + 26; ++i) alphabet_ += static_cast<char>('a' + i % 26);
  }
  std::optional<pbxsim::ParsedRecord> parse(std::string_view line) const {
    if (line.size() < 4 || line.compare(0, 4, "rec;") != 0) return std::nullopt;
    std::size_t semi = line.find(';', 4);
    if (semi == std::string_view::npos || line.size() < semi + 12 || line[semi + 11] != ';') {
      return std::nullopt;
    }
    pbxsim::ParsedRecord r{std::string(line.substr(4, semi - 4)), 0};
    for (std::size_t i = semi + 1; i < semi + 11; ++i) {
      if (line[i] < '0' || line[i] > '9') return std::nullopt;
      r.seq = r.seq * 10 + static_cast<unsigned>(line[i] - '0');
    }
    std::string_view padding = line.substr(semi + 12);
    if (padding.size() > 4096 ||
        padding != std::string_view(alphabet_).substr(r.seq % 26, padding.size())) {
      return pbxsim::parse_record(line);  // the reference reading decides the rare odd case
    }
    return r;
  }

 private:
  std::string alphabet_;
};

}  // namespace

std::string RecordCount::summary() const {
  return std::to_string(found) + "/" + std::to_string(expected) + " records, " +
         std::to_string(missing) + " missing, " + std::to_string(doubled) + " doubled, " +
         std::to_string(broken) + " broken, " + std::to_string(out_of_order) + " out of order, " +
         std::to_string(unexpected) + " unexpected";
}

RecordCount count_records(const std::string& dir, const std::string& suffix,
                          const std::map<std::string, std::uint64_t>& sent, std::size_t size,
                          const std::string& line_end) {
  RecordCount result;
  RecordReader reader;
  std::map<std::string, std::vector<std::uint8_t>, std::less<>> seen;
  for (const auto& [source, count] : sent) {
    seen[source].assign(count, 0);
    result.expected += count;
  }
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    std::string name = entry.path().filename().string();
    if (!entry.is_regular_file() || name.size() < suffix.size() ||
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0) {
      continue;
    }
    std::string content = read_file(entry.path().string());
    std::map<std::string, std::uint64_t, std::less<>> last;
    std::size_t at = 0;
    while (at < content.size()) {
      std::size_t end = content.find(line_end, at);
      std::size_t stop = end == std::string::npos ? content.size() : end;
      std::string_view line(content.data() + at, stop - at);
      at = end == std::string::npos ? content.size() : end + line_end.size();
      auto record = reader.parse(line);
      if (!record || line.size() + 2 != size || end == std::string::npos) {
        ++result.broken;
        continue;
      }
      auto slots = seen.find(record->source);
      if (slots == seen.end() || record->seq < 1 || record->seq > slots->second.size()) {
        ++result.unexpected;
        continue;
      }
      auto& previous = last[record->source];
      if (record->seq < previous) ++result.out_of_order;
      previous = record->seq;
      auto& slot = slots->second[record->seq - 1];
      ++result.found;
      if (slot > 0) ++result.doubled;
      if (slot < 255) ++slot;
    }
  }
  for (const auto& [source, slots] : seen) {
    for (auto n : slots) {
      if (n == 0) ++result.missing;
    }
  }
  return result;
}

std::uintmax_t bytes_in(const std::string& dir) {
  std::uintmax_t total = 0;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
    if (entry.is_regular_file(ec)) total += entry.file_size(ec);
  }
  return total;
}

}  // namespace ralvek::bench

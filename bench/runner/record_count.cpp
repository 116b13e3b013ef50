#include "record_count.h"

#include <filesystem>
#include <string_view>
#include <vector>

#include "process.h"
#include "records.h"

namespace ralvek::bench {

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
  std::map<std::string, std::vector<std::uint8_t>> seen;
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
      auto record = pbxsim::parse_record(line);
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

}  // namespace ralvek::bench

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "options.h"
#include "records.h"
#include "send.h"

namespace ralvek::pbxsim {

int run_check(int argc, char** argv) {
  Options options(argc, argv, {{"dir", "data"}, {"from", "127.0.0.20"}, {"count", "10"},
                               {"first", "1"}, {"size", "120"}, {"ext", "dat"}});
  std::string source = options.text("from");
  std::uint64_t count = options.number("count"), first = options.number("first");
  std::size_t size = std::max<std::size_t>(options.number("size"), kMinRecordSize);
  std::vector<int> seen(count, 0);
  std::uint64_t foreign = 0, broken = 0, out_of_order = 0, out_of_range = 0;
  for (const auto& entry : std::filesystem::directory_iterator(options.text("dir"))) {
    if (entry.path().extension() != "." + options.text("ext")) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    std::string content((std::istreambuf_iterator<char>(in)), {});
    std::uint64_t last = 0;
    size_t at = 0;
    while (at < content.size()) {
      size_t end = content.find("\r\n", at);
      std::string_view line(content.data() + at, (end == std::string::npos ? content.size() : end) - at);
      at = end == std::string::npos ? content.size() : end + 2;
      if (line.empty()) continue;
      auto record = parse_record(line);
      if (!record || line.size() + 2 != size) {
        ++broken;
        continue;
      }
      if (record->source != source) {
        ++foreign;
        continue;
      }
      if (record->seq < first || record->seq >= first + count) {
        ++out_of_range;
        continue;
      }
      if (record->seq < last) ++out_of_order;
      last = record->seq;
      ++seen[record->seq - first];
    }
  }
  std::uint64_t missing = 0, doubled = 0;
  for (int n : seen) {
    if (n == 0) ++missing;
    if (n > 1) doubled += static_cast<std::uint64_t>(n - 1);
  }
  std::printf("%s: %llu expected, %llu missing, %llu doubled, %llu broken lines, %llu out of order, "
              "%llu out of range, %llu from other sources\n",
              source.c_str(), static_cast<unsigned long long>(count),
              static_cast<unsigned long long>(missing), static_cast<unsigned long long>(doubled),
              static_cast<unsigned long long>(broken), static_cast<unsigned long long>(out_of_order),
              static_cast<unsigned long long>(out_of_range), static_cast<unsigned long long>(foreign));
  return missing || doubled || broken || out_of_order || out_of_range ? 1 : 0;
}

}  // namespace ralvek::pbxsim

#include "record_ledger.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <random>
#include <stdexcept>
#include <iterator>

#include "records.h"

namespace ralvek::reliability {

std::vector<std::uint64_t> Ledger::missing(const std::string& source, std::uint64_t first,
                                           std::uint64_t count) const {
  std::vector<std::uint64_t> result;
  auto it = sources.find(source);
  for (std::uint64_t seq = first; seq < first + count; ++seq) {
    if (it == sources.end() || !it->second.seen.count(seq)) result.push_back(seq);
  }
  return result;
}

std::vector<std::uint64_t> Ledger::doubled(const std::string& source) const {
  std::vector<std::uint64_t> result;
  auto it = sources.find(source);
  if (it == sources.end()) return result;
  for (const auto& [seq, n] : it->second.seen) {
    if (n > 1) result.push_back(seq);
  }
  return result;
}

std::string dat_name(const std::string& temp_name) { return temp_name.substr(0, temp_name.rfind('.')) + ".dat"; }

std::vector<std::string> unfinished(const std::filesystem::path& dir, const std::map<std::string, std::string>& left) {
  std::vector<std::string> faults;
  for (const auto& [name, content] : left) {
    auto dat = dir / dat_name(name);
    if (std::filesystem::exists(dir / name)) faults.push_back(name + " is still there");
    if (content.empty()) {
      if (std::filesystem::exists(dat)) faults.push_back(name + " was empty but has a .dat");
      continue;
    }
    std::ifstream in(dat, std::ios::binary);
    if (std::string(std::istreambuf_iterator<char>(in), {}) != content) faults.push_back(name + ": its .dat differs");
  }
  return faults;
}

std::size_t Ledger::count(const std::string& source) const {
  auto it = sources.find(source);
  return it == sources.end() ? 0 : it->second.seen.size();
}

Ledger read_ledger(const std::filesystem::path& dir, const std::string& ext) {
  Ledger ledger;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
    if (entry.path().extension() != "." + ext) continue;
    ++ledger.files;
    std::ifstream in(entry.path(), std::ios::binary);
    std::string content((std::istreambuf_iterator<char>(in)), {});
    std::map<std::string, std::uint64_t> last;
    size_t at = 0;
    while (at < content.size()) {
      size_t end = content.find("\r\n", at);
      std::string_view line(content.data() + at, (end == std::string::npos ? content.size() : end) - at);
      at = end == std::string::npos ? content.size() : end + 2;
      if (end == std::string::npos) {
        ledger.tails.emplace_back(line);
        continue;
      }
      auto record = pbxsim::parse_record(line);
      if (!record) {
        ledger.torn.push_back(entry.path().filename().string() + ": " + std::string(line.substr(0, 60)));
        continue;
      }
      auto& source = ledger.sources[record->source];
      if (record->seq < last[record->source]) ++source.out_of_order;
      last[record->source] = record->seq;
      ++source.seen[record->seq];
    }
  }
  return ledger;
}

bool is_record_prefix(const std::string& tail, std::size_t size) {
  // "rec;" + source + ";" + 10 digits + ";" identifies the record the tail belongs to.
  size_t source_end = tail.find(';', 4);
  if (tail.rfind("rec;", 0) != 0 || source_end == std::string::npos || tail.size() < source_end + 12) {
    return std::string("rec;").rfind(tail.substr(0, 4), 0) == 0 && tail.size() < size;
  }
  std::uint64_t seq = 0;
  for (size_t i = source_end + 1; i < source_end + 11; ++i) {
    if (tail[i] < '0' || tail[i] > '9') return false;
    seq = seq * 10 + static_cast<unsigned>(tail[i] - '0');
  }
  std::string whole = pbxsim::make_record(tail.substr(4, source_end - 4), seq, size);
  return tail.size() < whole.size() && whole.compare(0, tail.size(), tail) == 0;
}

std::uintmax_t bytes_in(const std::filesystem::path& dir, const std::set<std::string>& exts) {
  std::uintmax_t total = 0;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
    std::error_code size_ec;
    auto size = entry.file_size(size_ec);
    if (!size_ec && exts.count(entry.path().extension().string())) total += size;
  }
  return total;
}

int quiet_port() {
  static std::mt19937 random(std::random_device{}());
  for (int attempt = 0; attempt < 200; ++attempt) {
    int port = 20000 + static_cast<int>(random() % 12000);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_ANY);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    int tcp = ::socket(AF_INET, SOCK_STREAM, 0);
    int udp = ::socket(AF_INET, SOCK_DGRAM, 0);
    bool free = ::bind(tcp, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0 &&
                ::bind(udp, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0;
    ::close(tcp);
    ::close(udp);
    if (free) return port;
  }
  throw std::runtime_error("no quiet port");
}

std::string first_numbers(const std::vector<std::uint64_t>& numbers, std::size_t shown) {
  std::string text = std::to_string(numbers.size()) + ":";
  for (std::size_t i = 0; i < numbers.size() && i < shown; ++i) {
    text += ' ';
    text += std::to_string(numbers[i]);
  }
  return text;
}

}  // namespace ralvek::reliability

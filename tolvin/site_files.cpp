#include "site_files.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "platform/clock.h"
#include "vb/vb.h"

namespace ralvek::tolvin {

namespace {

// Lower-cases A-Z in eight bytes at once; bytes from 128 up are left alone. Per byte, the low
// seven bits plus 0x3F carry into the top bit from 'A' up, plus 0x25 from '[' up; no sum leaves
// its byte. A byte is upper case when exactly one of the two did and its own top bit is clear.
std::uint64_t lower_eight(std::uint64_t x) {
  constexpr std::uint64_t kOnes = 0x0101010101010101;
  std::uint64_t low = x & (0x7F * kOnes);
  std::uint64_t from_a = low + (0x80 - 'A') * kOnes;
  std::uint64_t past_z = low + (0x7F - 'Z') * kOnes;
  std::uint64_t upper = (from_a ^ past_z) & ~x & (0x80 * kOnes);
  return x | (upper >> 2);
}

}  // namespace

void clean_block(std::string& block) {
  // NULs are rare: look for one before paying for the copy that removes them.
  if (std::memchr(block.data(), '\0', block.size())) {
    block.erase(std::remove(block.begin(), block.end(), '\0'), block.end());
  }
  size_t first = block.find_first_not_of(' ');
  if (first == std::string::npos) {
    block.clear();
    return;
  }
  block.erase(block.find_last_not_of(' ') + 1);
  block.erase(0, first);
  // Received blocks are tens of KiB; this loop was most of the receiver's CPU a byte at a time.
  char* p = block.data();
  char* end = p + block.size();
  for (; end - p >= 8; p += 8) {
    std::uint64_t word;
    std::memcpy(&word, p, 8);
    word = lower_eight(word);
    std::memcpy(p, &word, 8);
  }
  for (; p != end; ++p) {
    auto byte = static_cast<unsigned char>(*p);
    *p = static_cast<char>(byte | (static_cast<unsigned char>(byte - 'A') < 26 ? 0x20 : 0));
  }
}

SiteFiles::SiteFiles(platform::FileSystem& fs, std::filesystem::path data_path)
    : fs_(fs), data_path_(std::move(data_path)) {}

std::size_t SiteFiles::slot(int site) {
  if (site < 0 || site > kMaxSiteIndex) throw vb::VbError(9, "Subscript out of range");
  return static_cast<std::size_t>(site);
}

bool SiteFiles::is_open(int site) const { return tsSite_[slot(site)] != nullptr; }

std::string SiteFiles::file_name(int site, const std::string& stamp, const std::string& random_part) {
  return std::to_string(site) + "_" + stamp + random_part + ".ip";
}

void SiteFiles::create(int site) {
  auto& stream = tsSite_[slot(site)];
  stream.reset();
  stream = fs_.open(data_path_ / file_name(site, platform::time_stamp_now(), random_.next()),
                    platform::OpenMode::kAppend);
}

void SiteFiles::close(int site) { tsSite_[slot(site)].reset(); }

void SiteFiles::append(int site, std::string_view bytes) {
  auto& stream = tsSite_[slot(site)];
  if (!stream) throw vb::VbError(91, "Object variable or With block variable not set");
  stream->append(bytes);
}

}  // namespace ralvek::tolvin

#include "site_files.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>

#include "platform/clock.h"
#include "vb/vb.h"

namespace ralvek::tolvin {

namespace {

constexpr std::size_t kKeptHeldCapacity = 256 * 1024;
// Random parts drawn for one new file before its creation fails as a name clash.
constexpr int kMaxDraws = 64;

// Sixteen bytes as one vector (GCC and Clang vector extensions, on any target).
using Bytes16 = unsigned char __attribute__((vector_size(16)));

// Lower-cases A-Z in sixteen bytes at once; bytes from 128 up are left alone. A byte is upper
// case when it lies 0 to 25 above 'A' (unsigned, so smaller bytes wrap far above).
Bytes16 lower_sixteen(Bytes16 x) {
  Bytes16 upper = reinterpret_cast<Bytes16>(x - static_cast<unsigned char>('A') < static_cast<unsigned char>(26));
  return x | (upper & static_cast<unsigned char>(0x20));
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
  // Received blocks are tens of KiB; this loop was most of the receiver's CPU a byte at a time,
  // and still its largest part eight bytes at a time.
  char* p = block.data();
  char* end = p + block.size();
  for (; end - p >= 16; p += 16) {
    Bytes16 bytes;
    std::memcpy(&bytes, p, 16);
    bytes = lower_sixteen(bytes);
    std::memcpy(p, &bytes, 16);
  }
  for (; p != end; ++p) {
    auto byte = static_cast<unsigned char>(*p);
    *p = static_cast<char>(byte | (static_cast<unsigned char>(byte - 'A') < 26 ? 0x20 : 0));
  }
}

SiteFiles::SiteFiles(files::Finisher& finisher, std::filesystem::path data_path, LostBlock lost)
    : finisher_(finisher), data_path_(std::move(data_path)), lost_(std::move(lost)) {}

std::size_t SiteFiles::slot(int site) {
  if (site < 0 || site > kMaxSiteIndex) throw vb::VbError(9, "Subscript out of range");
  return static_cast<std::size_t>(site);
}

bool SiteFiles::is_open(int site) const { return tsSite_[slot(site)] != nullptr; }

std::string SiteFiles::file_name(int site, const std::string& stamp, const std::string& random_part) {
  return std::to_string(site) + "_" + stamp + random_part + ".ip";
}

std::string SiteFiles::create(int site) {
  close(site);
  std::string stamp = platform::time_stamp_now();
  std::filesystem::path path = data_path_ / file_name(site, stamp, random_.next());
  // A name of this site and second whose finish is pending (a rotation a block): another draw.
  for (int draws = 1; !finisher_.claim(path); ++draws) {
    if (draws == kMaxDraws) throw platform::FileError(EEXIST, path);
    path = data_path_ / file_name(site, stamp, random_.next());
  }
  try {
    tsSite_[slot(site)] = finisher_.open_claimed(path);
  } catch (...) {
    finisher_.release(path);
    throw;
  }
  std::string name = path.filename().string();
  site_path_[slot(site)] = std::move(path);
  return name;
}

void SiteFiles::close(int site) {
  auto& stream = tsSite_[slot(site)];
  write_held_of(site);
  if (!stream) return;
  stream.reset();
  finisher_.release(site_path_[slot(site)]);
}

void SiteFiles::hand_over(int site, files::Finisher::OnError on_error) {
  auto& stream = tsSite_[slot(site)];
  write_held_of(site);
  if (!stream) return;
  finisher_.finish(std::move(stream), site_path_[slot(site)], std::move(on_error));
}

void SiteFiles::hold(int site, std::string_view block, std::string_view line_end) {
  if (!tsSite_[slot(site)]) throw vb::VbError(91, "Object variable or With block variable not set");
  if (held_site_ != site) write_held();
  held_site_ = site;
  held_.append(block);
  held_.append(line_end);
  held_ends_.push_back(held_.size());
}

void SiteFiles::write(int site, std::string_view bytes) {
  auto& stream = tsSite_[slot(site)];
  if (!stream) throw vb::VbError(91, "Object variable or With block variable not set");
  write_held_of(site);
  stream->append(bytes);
}

void SiteFiles::write_held_of(int site) {
  if (held_site_ == site) write_held();
}

void SiteFiles::write_held() {
  if (held_site_ < 0) return;
  int site = held_site_;
  auto& stream = *tsSite_[static_cast<std::size_t>(site)];
  std::string bytes = std::move(held_);
  std::vector<std::size_t> ends = std::move(held_ends_);
  held_site_ = -1;
  held_.clear();
  held_ends_.clear();
  try {
    stream.append(bytes);
  } catch (const std::exception& e) {
    if (ends.size() == 1) {
      lost_(site, e);
      return;
    }
    // Nothing of the failed write stays in the file: give every block its own chance.
    std::size_t begin = 0;
    for (std::size_t end : ends) {
      try {
        stream.append(std::string_view(bytes).substr(begin, end - begin));
      } catch (const std::exception& e) {
        lost_(site, e);
      }
      begin = end;
    }
  }
  // A burst of large datagrams must not keep its memory for the life of the service.
  if (bytes.capacity() <= kKeptHeldCapacity) {
    bytes.clear();
    held_ = std::move(bytes);
  }
}

}  // namespace ralvek::tolvin

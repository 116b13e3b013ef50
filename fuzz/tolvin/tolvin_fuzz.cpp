// tolvin's handling of hostile input: the cleaning of received blocks, and the settings and site
// entries of an arbitrary tolvin.ini. The first byte chooses which.
#include <cstddef>
#include <cstdint>
#include <string>

#include "ini/ini_file.h"
#include "settings.h"
#include "site_files.h"
#include "vb/vb.h"

namespace {

void fuzz_cleaning(std::string block) {
  std::string original = block;
  ralvek::tolvin::clean_block(block);
  if (block.size() > original.size()) __builtin_trap();
  for (char c : block) {
    if (c == '\0' || (c >= 'A' && c <= 'Z')) __builtin_trap();
  }
  if (!block.empty() && (block.front() == ' ' || block.back() == ' ')) __builtin_trap();
  std::string again = block;
  ralvek::tolvin::clean_block(again);
  if (again != block) __builtin_trap();  // cleaning twice changes nothing more
}

void fuzz_settings(std::string_view text) {
  ralvek::ini::IniFile ini;
  ini.parse(text);
  try {
    (void)ralvek::tolvin::read_settings(ini);
  } catch (const ralvek::vb::VbError&) {
  }
  try {
    const auto& section = ini.section("tolvin");
    int tcp_sites = 0;
    auto table = ralvek::tolvin::build_site_table(section, [&](std::int16_t site, const std::string&) {
      if (site >= 1000) __builtin_trap();  // site numbers that reach a socket are below 1000
      ++tcp_sites;
    });
    if (table.intMaxSite >= 1000) __builtin_trap();
    if (table.dicSites.size() < static_cast<std::size_t>(tcp_sites)) __builtin_trap();
  } catch (const ralvek::ini::SectionNotFound&) {
  } catch (const ralvek::vb::VbError&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  if (data[0] % 2 == 0) {
    fuzz_cleaning(std::string(rest));
  } else {
    fuzz_settings(rest);
  }
  return 0;
}

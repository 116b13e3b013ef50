// The INI reader on arbitrary settings files: parsing, then every look-up the services make.
#include <cstddef>
#include <cstdint>
#include <string>

#include "ini/ini_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  ralvek::ini::IniFile ini;
  ini.parse(text);
  for (const char* name : {"tolvin", "serrak", "quendor", "brastel", "Config", ""}) {
    (void)ini.read_value(name, "local_port", "5005");
    try {
      const auto& section = ini.section(name);
      for (const auto& key : section.keys) {
        // A key read back by its own name is found: the default text plays no part.
        if (ini.read_value(name, key.name, "a") != ini.read_value(name, key.name, "b")) __builtin_trap();
      }
    } catch (const ralvek::ini::SectionNotFound&) {
    }
  }
  return 0;
}

#include "files/data_files.h"

#include <chrono>
#include <cmath>
#include <cstdio>

namespace ralvek::files {

std::string lower_extension(std::string_view name) {
  size_t dot = name.rfind('.');
  if (dot == std::string_view::npos) return {};
  std::string ext(name.substr(dot + 1));
  for (char& c : ext) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  }
  return ext;
}

std::string base_name(std::string_view name) {
  size_t dot = name.rfind('.');
  return std::string(dot == std::string_view::npos ? name : name.substr(0, dot));
}

void finish_temp_files(platform::FileSystem& fs, const std::filesystem::path& dir,
                       std::string_view ext,
                       const std::function<void(const std::string& description)>& on_error) {
  for (const auto& entry : fs.list(dir)) {
    if (lower_extension(entry.name) != ext) continue;
    try {
      if (entry.size != 0) {
        fs.publish(dir / entry.name, dir / (base_name(entry.name) + ".dat"));
      } else {
        fs.remove(dir / entry.name);
      }
    } catch (const std::exception& e) {
      on_error(e.what());
    }
  }
}

std::unordered_set<std::string> names_in_use(platform::FileSystem& fs, const std::filesystem::path& dir,
                                             std::string_view prefix, std::string_view temp_ext) {
  std::unordered_set<std::string> taken;
  for (const auto& entry : fs.list(dir)) {
    auto ext = lower_extension(entry.name);
    if ((ext == "dat" || ext == temp_ext) && entry.name.starts_with(prefix)) taken.insert(base_name(entry.name));
  }
  return taken;
}

RandomPart::RandomPart()
    : engine_(static_cast<std::uint64_t>(
          std::chrono::system_clock::now().time_since_epoch().count())) {}

std::string RandomPart::next() {
  return from_fraction(std::generate_canonical<double, 53>(engine_));
}

std::string RandomPart::from_fraction(double fraction) {
  auto value = static_cast<long>(std::nearbyint(fraction * 1000000.0));
  char hex[32];
  std::snprintf(hex, sizeof(hex), "00000%lX", value);
  std::string text = hex;
  return text.substr(text.size() - 5);
}

}  // namespace ralvek::files

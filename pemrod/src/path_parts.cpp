#include "path_parts.h"

namespace ralvek::pemrod {

namespace {

std::string_view without_trailing_slashes(std::string_view path) {
  while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  return path;
}

}  // namespace

std::string file_name(std::string_view path) {
  path = without_trailing_slashes(path);
  if (path == "/") return {};
  const auto slash = path.rfind('/');
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string parent_folder(std::string_view path) {
  path = without_trailing_slashes(path);
  const auto slash = path.rfind('/');
  if (slash == std::string_view::npos || path == "/") return {};
  auto folder = without_trailing_slashes(path.substr(0, slash + 1));
  return std::string(folder);
}

std::string build_path(std::string_view folder, std::string_view name) {
  if (folder.empty()) return std::string(name);
  if (name.empty()) return std::string(folder);
  std::string path(folder);
  if (path.back() != '/') path += '/';
  path += name;
  return path;
}

std::string rolled_over_path(std::string_view path, std::string_view stamp) {
  path = without_trailing_slashes(path);
  const auto slash = path.rfind('/');
  const auto name_at = slash == std::string_view::npos ? 0 : slash + 1;
  const auto name = path.substr(name_at);
  const auto dot = name.rfind('.');
  std::string rolled(path.substr(0, name_at));
  rolled += name.substr(0, dot);
  rolled += '_';
  rolled += stamp;
  // A name without extension gets none: the original platform dropped a trailing dot.
  if (dot != std::string_view::npos) rolled += name.substr(dot);
  return rolled;
}

}  // namespace ralvek::pemrod

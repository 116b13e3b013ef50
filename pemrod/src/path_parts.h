#pragma once

// Path pieces as the logger's original file system object cut them, on '/' paths.
// Trailing separators are ignored: "/var/log/" names the folder "log" in "/var".

#include <string>
#include <string_view>

namespace ralvek::pemrod {

// Last component: "/a/b.log" -> "b.log", "b.log" -> "b.log", "/" -> "".
std::string file_name(std::string_view path);
// Everything before the last component: "/a/b.log" -> "/a", "/b.log" -> "/", "b.log" -> "".
std::string parent_folder(std::string_view path);
// Joins with one '/': ("/a", "b") and ("/a/", "b") -> "/a/b"; an empty side gives the other.
std::string build_path(std::string_view folder, std::string_view name);
// `path` with its file name svc.log replaced by svc_<stamp>.log (svc -> svc_<stamp>).
std::string rolled_over_path(std::string_view path, std::string_view stamp);

}  // namespace ralvek::pemrod

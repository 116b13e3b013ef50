#include "fso.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <random>

#include "budget.h"
#include "datetime.h"
#include "errors.h"
#include "text_stream.h"

namespace ralvek::vbscript {

namespace fs = std::filesystem;

namespace {

std::string arg_text(std::vector<Value>& args, std::size_t i) {
  if (i >= args.size()) raise(err::kWrongArgCount);
  return to_std_string(args[i]);
}
bool arg_flag(std::vector<Value>& args, std::size_t i, bool fallback) {
  return i < args.size() && !args[i].is_empty() ? to_bool(args[i]) : fallback;
}
long arg_long(std::vector<Value>& args, std::size_t i, long fallback) {
  return i < args.size() && !args[i].is_empty() ? to_long(args[i]) : fallback;
}

bool is_sep(char c) {
  return c == '/' || c == '\\';
}

[[noreturn]] void fail(int number, const std::string& path) {
  raise(number, std::string(error_text(number)) + ": '" + path + "'");
}

// Maps a failed file-system operation on `path` to VBScript's error.
[[noreturn]] void fail_ec(const std::error_code& ec, const std::string& path,
                          int missing = err::kFileNotFound) {
  if (ec == std::errc::no_such_file_or_directory || ec == std::errc::not_a_directory)
    fail(missing, path);
  if (ec == std::errc::permission_denied || ec == std::errc::operation_not_permitted ||
      ec == std::errc::read_only_file_system || ec == std::errc::directory_not_empty)
    raise(err::kPermissionDenied, std::string(error_text(err::kPermissionDenied)) + ": '" + path +
                                      "' (" + ec.message() + ")");
  if (ec == std::errc::file_exists) fail(err::kFileExists, path);
  raise(err::kPermissionDenied, "Cannot use '" + path + "': " + ec.message());
}

double file_time(const fs::path& p) {
  std::error_code ec;
  auto ft = fs::last_write_time(p, ec);
  if (ec) fail_ec(ec, p.string());
  auto sys = std::chrono::file_clock::to_sys(ft);
  std::time_t t = std::chrono::system_clock::to_time_t(
      std::chrono::time_point_cast<std::chrono::system_clock::duration>(sys));
  std::tm tm{};
  localtime_r(&t, &tm);
  return datetime::from_date(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday) +
         datetime::from_time(tm.tm_hour, tm.tm_min, tm.tm_sec);
}

std::string last_component(std::string_view p) {
  while (!p.empty() && is_sep(p.back())) p.remove_suffix(1);
  std::size_t at = p.find_last_of("/\\");
  return std::string(at == std::string_view::npos ? p : p.substr(at + 1));
}

std::string parent_text(std::string_view p) {
  while (p.size() > 1 && is_sep(p.back())) p.remove_suffix(1);
  std::size_t at = p.find_last_of("/\\");
  if (at == std::string_view::npos) return "";
  if (at == 0) return std::string(p.substr(0, 1));
  return std::string(p.substr(0, at));
}

bool glob_match(std::string_view pat, std::string_view name) {
  std::size_t p = 0, n = 0, star = std::string_view::npos, mark = 0;
  while (n < name.size()) {
    if (p < pat.size() &&
        (pat[p] == '?' || std::tolower(static_cast<unsigned char>(pat[p])) ==
                              std::tolower(static_cast<unsigned char>(name[n])))) {
      ++p, ++n;
    } else if (p < pat.size() && pat[p] == '*') {
      star = p++;
      mark = n;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      n = ++mark;
    } else {
      return false;
    }
  }
  while (p < pat.size() && pat[p] == '*') ++p;
  return p == pat.size();
}

bool has_wildcard(std::string_view s) {
  return s.find_first_of("*?") != std::string_view::npos;
}

// The files a source argument names: one path, or the matches of a pattern in its last part.
std::vector<fs::path> expand(const std::string& native, const std::string& shown, bool folders) {
  fs::path p(native);
  std::string name = last_component(native);
  if (!has_wildcard(name)) return {p};
  fs::path dir = p.parent_path().empty() ? fs::path(".") : p.parent_path();
  std::vector<fs::path> out;
  std::error_code ec;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    bool is_dir = it->is_directory(ec);
    if (is_dir == folders && glob_match(name, it->path().filename().string()))
      out.push_back(it->path());
  }
  if (out.empty()) fail(folders ? err::kPathNotFound : err::kFileNotFound, shown);
  std::sort(out.begin(), out.end());
  return out;
}

// Where a file copied or moved to `dest` lands: into `dest` when it names a folder.
fs::path target_for(const fs::path& src, const std::string& dest_native, bool dest_is_folder) {
  if (dest_is_folder) return fs::path(dest_native) / src.filename();
  return fs::path(dest_native);
}

void copy_one(const fs::path& src, const fs::path& dst, bool overwrite) {
  std::error_code ec;
  if (!fs::is_regular_file(src, ec)) fail(err::kFileNotFound, src.string());
  if (fs::is_directory(dst, ec)) fail(err::kPermissionDenied, dst.string());
  if (!overwrite && fs::exists(dst, ec)) fail(err::kFileExists, dst.string());
  if (!dst.parent_path().empty() && !fs::is_directory(dst.parent_path(), ec))
    fail(err::kPathNotFound, dst.parent_path().string());
  fs::copy_file(src, dst, fs::copy_options::overwrite_existing, ec);
  if (ec) fail_ec(ec, dst.string(), err::kPathNotFound);
}

void move_one(const fs::path& src, const fs::path& dst) {
  std::error_code ec;
  if (!fs::exists(src, ec)) fail(err::kFileNotFound, src.string());
  if (fs::exists(dst, ec)) fail(err::kFileExists, dst.string());
  if (!dst.parent_path().empty() && !fs::is_directory(dst.parent_path(), ec))
    fail(err::kPathNotFound, dst.parent_path().string());
  fs::rename(src, dst, ec);
  if (ec == std::errc::cross_device_link) {
    fs::copy(src, dst, fs::copy_options::recursive, ec);
    if (!ec) fs::remove_all(src, ec);
  }
  if (ec) fail_ec(ec, src.string());
}

bool dest_names_folder(const std::string& dest_script, const std::string& dest_native) {
  std::error_code ec;
  return (!dest_script.empty() && is_sep(dest_script.back())) || fs::is_directory(dest_native, ec);
}

class FileObject;
class FolderObject;
ObjectRef make_file(fs::path p);
ObjectRef make_folder(fs::path p);

class FileObject : public Object {
 public:
  explicit FileObject(fs::path p) : path_(std::move(p)) {}
  std::string_view type_name() const override { return "File"; }
  Value default_value() override { return Value::string(path_.string()); }

  Value call(std::string_view m, std::vector<Value>& args) override {
    std::error_code ec;
    if (m == "path" || m == "shortpath" || m.empty()) return Value::string(path_.string());
    if (m == "name" || m == "shortname") return Value::string(path_.filename().string());
    if (m == "size") {
      auto size = fs::file_size(path_, ec);
      if (ec) fail_ec(ec, path_.string());
      return size <= INT32_MAX ? Value::long_(static_cast<std::int32_t>(size))
                               : Value::number(static_cast<double>(size));
    }
    if (m == "datelastmodified" || m == "datecreated" || m == "datelastaccessed")
      return Value::date(file_time(path_));
    if (m == "parentfolder") return Value::object(make_folder(fs::absolute(path_).parent_path()));
    if (m == "attributes") return Value::integer(32);
    if (m == "type") {
      std::string ext = path_.extension().string();
      if (ext.size() > 1) {
        std::string up;
        for (char c : ext.substr(1))
          up += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return Value::string(up + " File");
      }
      return Value::string("File");
    }
    if (m == "copy") {
      std::string dest = arg_text(args, 0);
      std::string native = native_path(dest);
      copy_one(path_, target_for(path_, native, dest_names_folder(dest, native)),
               arg_flag(args, 1, true));
      return Value();
    }
    if (m == "move") {
      std::string dest = arg_text(args, 0);
      std::string native = native_path(dest);
      fs::path to = target_for(path_, native, dest_names_folder(dest, native));
      move_one(path_, to);
      path_ = to;
      return Value();
    }
    if (m == "delete") {
      if (!fs::remove(path_, ec) && !ec) fail(err::kFileNotFound, path_.string());
      if (ec) fail_ec(ec, path_.string());
      return Value();
    }
    if (m == "openastextstream") {
      long mode = arg_long(args, 0, 1);
      return Value::object(open_text_stream(path_.string(), static_cast<int>(mode), false));
    }
    return Object::call(m, args);
  }

  void assign(std::string_view m, std::vector<Value>& args, const Value& value) override {
    if (m == "name") {
      std::string name = to_std_string(value);
      if (name.empty() || name.find_first_of("/\\") != std::string::npos) raise(err::kInvalidCall);
      fs::path to = path_.parent_path() / name;
      move_one(path_, to);
      path_ = to;
      return;
    }
    if (m == "attributes") return;  // read-only and archive flags have no meaning here
    Object::assign(m, args, value);
  }

 private:
  fs::path path_;
};

class FilesCollection : public Object {
 public:
  FilesCollection(fs::path dir, bool folders) : dir_(std::move(dir)), folders_(folders) {}
  std::string_view type_name() const override { return folders_ ? "Folders" : "Files"; }

  std::vector<fs::path> list() const {
    std::vector<fs::path> out;
    std::error_code ec;
    for (fs::directory_iterator it(dir_, ec), end; !ec && it != end; it.increment(ec)) {
      bool is_dir = it->is_directory(ec);
      if (is_dir == folders_) out.push_back(it->path());
    }
    if (ec) fail_ec(ec, dir_.string(), err::kPathNotFound);
    std::sort(out.begin(), out.end());
    return out;
  }

  std::vector<Value> elements() override {
    std::vector<Value> out;
    for (fs::path& p : list())
      out.push_back(Value::object(folders_ ? make_folder(std::move(p)) : make_file(std::move(p))));
    return out;
  }

  Value call(std::string_view m, std::vector<Value>& args) override {
    if (m == "count") return Value::long_(static_cast<std::int32_t>(list().size()));
    if (m == "item" || m.empty()) {
      std::string name = arg_text(args, 0);
      fs::path p = dir_ / name;
      std::error_code ec;
      if (fs::is_directory(p, ec) != folders_ || !fs::exists(p, ec))
        fail(folders_ ? err::kPathNotFound : err::kFileNotFound, p.string());
      return Value::object(folders_ ? make_folder(p) : make_file(p));
    }
    if (m == "add" && folders_) {
      fs::path p = dir_ / arg_text(args, 0);
      std::error_code ec;
      if (fs::exists(p, ec)) fail(err::kFileExists, p.string());
      fs::create_directory(p, ec);
      if (ec) fail_ec(ec, p.string(), err::kPathNotFound);
      return Value::object(make_folder(p));
    }
    return Object::call(m, args);
  }

 private:
  fs::path dir_;
  bool folders_;
};

std::uintmax_t tree_size(const fs::path& dir) {
  std::uintmax_t total = 0;
  std::error_code ec;
  std::size_t seen = 0;
  for (fs::recursive_directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    if ((++seen & 0xFF) == 0) budget::check_deadline();
    if (it->is_regular_file(ec)) total += it->file_size(ec);
  }
  return total;
}

class FolderObject : public Object {
 public:
  explicit FolderObject(fs::path p) : path_(std::move(p)) {}
  std::string_view type_name() const override { return "Folder"; }
  Value default_value() override { return Value::string(path_.string()); }

  Value call(std::string_view m, std::vector<Value>& args) override {
    std::error_code ec;
    if (m == "path" || m == "shortpath" || m.empty()) return Value::string(path_.string());
    if (m == "name" || m == "shortname") return Value::string(last_component(path_.string()));
    if (m == "files") return Value::object(std::make_shared<FilesCollection>(path_, false));
    if (m == "subfolders") return Value::object(std::make_shared<FilesCollection>(path_, true));
    if (m == "size") return Value::number(static_cast<double>(tree_size(path_)));
    if (m == "datelastmodified" || m == "datecreated" || m == "datelastaccessed")
      return Value::date(file_time(path_));
    if (m == "attributes") return Value::integer(16);
    if (m == "type") return Value::string("File folder");
    if (m == "isrootfolder")
      return Value::boolean(fs::absolute(path_) == fs::absolute(path_).root_path());
    if (m == "parentfolder") {
      fs::path abs = fs::absolute(path_);
      if (abs == abs.root_path()) return Value::object(nullptr);
      std::string parent = parent_text(abs.string());
      return Value::object(make_folder(parent));
    }
    if (m == "delete") {
      if (!fs::is_directory(path_, ec)) fail(err::kPathNotFound, path_.string());
      fs::remove_all(path_, ec);
      if (ec) fail_ec(ec, path_.string(), err::kPathNotFound);
      return Value();
    }
    if (m == "createtextfile") {
      fs::path p = path_ / native_path(arg_text(args, 0));
      return Value::object(create_text_stream(p.string(), arg_flag(args, 1, true)));
    }
    return Object::call(m, args);
  }

  void assign(std::string_view m, std::vector<Value>& args, const Value& value) override {
    if (m == "name") {
      fs::path to = fs::path(parent_text(path_.string())) / to_std_string(value);
      move_one(path_, to);
      path_ = to;
      return;
    }
    Object::assign(m, args, value);
  }

 private:
  fs::path path_;
};

ObjectRef make_file(fs::path p) {
  return std::make_shared<FileObject>(std::move(p));
}
ObjectRef make_folder(fs::path p) {
  return std::make_shared<FolderObject>(std::move(p));
}

class FileSystemObject : public Object {
 public:
  std::string_view type_name() const override { return "FileSystemObject"; }

  Value call(std::string_view m, std::vector<Value>& args) override {
    std::error_code ec;
    if (m == "fileexists")
      return Value::boolean(fs::is_regular_file(native_path(arg_text(args, 0)), ec));
    if (m == "folderexists")
      return Value::boolean(fs::is_directory(native_path(arg_text(args, 0)), ec));
    if (m == "getfile") {
      std::string shown = arg_text(args, 0);
      std::string p = native_path(shown);
      if (!fs::is_regular_file(p, ec)) fail(err::kFileNotFound, shown);
      return Value::object(make_file(p));
    }
    if (m == "getfolder") {
      std::string shown = arg_text(args, 0);
      std::string p = native_path(shown);
      if (!fs::is_directory(p, ec)) fail(err::kPathNotFound, shown);
      return Value::object(make_folder(p));
    }
    if (m == "createfolder") {
      std::string shown = arg_text(args, 0);
      std::string p = native_path(shown);
      if (fs::exists(p, ec)) fail(err::kFileExists, shown);
      fs::create_directory(p, ec);
      if (ec) fail_ec(ec, shown, err::kPathNotFound);
      return Value::object(make_folder(p));
    }
    if (m == "copyfile" || m == "movefile") {
      std::string src = arg_text(args, 0), dest = arg_text(args, 1);
      std::string src_native = native_path(src), dest_native = native_path(dest);
      bool many = has_wildcard(last_component(src_native));
      bool into_folder = many || dest_names_folder(dest, dest_native);
      if (into_folder && !fs::is_directory(dest_native, ec)) fail(err::kPathNotFound, dest);
      for (const fs::path& f : expand(src_native, src, false)) {
        fs::path to = target_for(f, dest_native, into_folder);
        if (m == "copyfile")
          copy_one(f, to, arg_flag(args, 2, true));
        else
          move_one(f, to);
      }
      return Value();
    }
    if (m == "movefolder") {
      std::string src = arg_text(args, 0), dest = arg_text(args, 1);
      std::string dest_native = native_path(dest);
      bool into = dest_names_folder(dest, dest_native);
      for (const fs::path& f : expand(native_path(src), src, true))
        move_one(f, target_for(f, dest_native, into));
      return Value();
    }
    if (m == "deletefile" || m == "deletefolder") {
      std::string src = arg_text(args, 0);
      bool folders = m == "deletefolder";
      for (const fs::path& f : expand(native_path(src), src, folders)) {
        if (folders ? !fs::is_directory(f, ec) : !fs::is_regular_file(f, ec))
          fail(folders ? err::kPathNotFound : err::kFileNotFound, src);
        if (folders)
          fs::remove_all(f, ec);
        else
          fs::remove(f, ec);
        if (ec) fail_ec(ec, f.string());
      }
      return Value();
    }
    if (m == "buildpath") {
      std::string base = arg_text(args, 0), name = arg_text(args, 1);
      if (base.empty()) return Value::string(name);
      if (is_sep(base.back()) || (!name.empty() && is_sep(name.front())))
        return Value::string(base + name);
      return Value::string(base + "/" + name);
    }
    if (m == "getfilename") return Value::string(last_component(arg_text(args, 0)));
    if (m == "getbasename" || m == "getextensionname") {
      std::string name = last_component(arg_text(args, 0));
      std::size_t dot = name.rfind('.');
      if (m == "getbasename")
        return Value::string(dot == std::string::npos ? name : name.substr(0, dot));
      return Value::string(dot == std::string::npos ? "" : name.substr(dot + 1));
    }
    if (m == "getparentfoldername") return Value::string(parent_text(arg_text(args, 0)));
    if (m == "getabsolutepathname") {
      fs::path p = fs::absolute(native_path(arg_text(args, 0)), ec);
      std::string text = p.lexically_normal().string();
      // "." is the current folder itself, as WScript.Shell's CurrentDirectory names it.
      if (text.size() > 1 && text.back() == '/') text.pop_back();
      return Value::string(text);
    }
    if (m == "getdrivename") return Value::string("");
    if (m == "gettempname") {
      static std::minstd_rand rng(
          static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count()));
      char buf[32];
      std::snprintf(buf, sizeof buf, "rad%05X.tmp", static_cast<unsigned>(rng() & 0xFFFFF));
      return Value::string(buf);
    }
    if (m == "opentextfile") {
      std::string p = native_path(arg_text(args, 0));
      long mode = arg_long(args, 1, 1);
      return Value::object(open_text_stream(p, static_cast<int>(mode), arg_flag(args, 2, false)));
    }
    if (m == "createtextfile") {
      std::string p = native_path(arg_text(args, 0));
      return Value::object(create_text_stream(p, arg_flag(args, 1, true)));
    }
    return Object::call(m, args);
  }
};

}  // namespace

std::string native_path(std::string_view script_path) {
  if (script_path.size() >= 2 && script_path[1] == ':' &&
      std::isalpha(static_cast<unsigned char>(script_path[0])))
    raise(err::kPathNotFound,
          "Path not found: drive letters are not supported ('" + std::string(script_path) + "')");
  std::string out(script_path);
  std::replace(out.begin(), out.end(), '\\', '/');
  return out;
}

ObjectRef make_file_system_object() {
  return std::make_shared<FileSystemObject>();
}

}  // namespace ralvek::vbscript

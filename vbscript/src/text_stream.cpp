#include "text_stream.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "errors.h"

namespace ralvek::vbscript {

namespace {

namespace fs = std::filesystem;

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

[[noreturn]] void open_failed(const std::string& path, int error) {
  if (error == ENOENT) {
    std::error_code ec;
    fs::path parent = fs::path(path).parent_path();
    if (!parent.empty() && !fs::is_directory(parent, ec))
      raise(err::kPathNotFound, "Path not found: '" + path + "'");
    raise(err::kFileNotFound, "File not found: '" + path + "'");
  }
  if (error == EISDIR || error == EACCES || error == EPERM || error == EROFS)
    raise(err::kPermissionDenied,
          "Permission denied: '" + path + "' (" + std::strerror(error) + ")");
  raise(err::kPermissionDenied, "Cannot open '" + path + "': " + std::strerror(error));
}

class TextStream : public Object {
 public:
  TextStream(FilePtr file, bool reading) : file_(std::move(file)), reading_(reading) {}
  std::string_view type_name() const override { return "TextStream"; }

  Value call(std::string_view m, std::vector<Value>& args) override {
    if (m == "close") {
      file_.reset();
      return Value();
    }
    if (m == "line") return Value::long_(line_);
    if (m == "column") return Value::long_(column_);
    if (m == "atendofstream") return Value::boolean(at_end());
    if (m == "atendofline") {
      int c = peek();
      return Value::boolean(c == EOF || c == '\n' || c == '\r');
    }
    if (m == "readline") return Value::string(read_line(true));
    if (m == "skipline") {
      read_line(false);
      return Value();
    }
    if (m == "readall") return Value::string(read_count(SIZE_MAX, true));
    if (m == "read") return Value::string(read_count(count(args), true));
    if (m == "skip") {
      read_count(count(args), false);
      return Value();
    }
    if (m == "write") {
      write(to_string(arg(args)));
      return Value();
    }
    if (m == "writeline") {
      Str text = args.empty() ? Str() : to_string(args[0]);
      text += "\r\n";
      write(text);
      return Value();
    }
    if (m == "writeblanklines") {
      Str text;
      for (std::size_t i = 0; i < count(args); ++i) text += "\r\n";
      write(text);
      return Value();
    }
    return Object::call(m, args);
  }

 private:
  static const Value& arg(const std::vector<Value>& args) {
    if (args.empty()) raise(err::kWrongArgCount);
    return args[0];
  }
  static std::size_t count(const std::vector<Value>& args) {
    std::int32_t n = to_long(arg(args));
    if (n < 0) raise(err::kInvalidCall);
    return static_cast<std::size_t>(n);
  }

  std::FILE* open_file(bool for_reading) {
    if (!file_) raise(err::kBadFileMode, "Bad file mode: the text stream is closed");
    if (for_reading != reading_) raise(err::kBadFileMode);
    return file_.get();
  }

  int peek() {
    std::FILE* f = open_file(true);
    int c = std::getc(f);
    if (c != EOF) std::ungetc(c, f);
    return c;
  }
  bool at_end() { return peek() == EOF; }

  void advance_position(char c) {
    if (c == '\n') {
      ++line_;
      column_ = 1;
    } else {
      ++column_;
    }
  }

  Str read_line(bool keep) {
    std::FILE* f = open_file(true);
    if (at_end()) raise(err::kPastEndOfFile);
    Str out;
    while (true) {
      int c = std::getc(f);
      if (c == EOF || c == '\n') break;
      if (c == '\r') {
        int next = std::getc(f);
        if (next != '\n' && next != EOF) std::ungetc(next, f);
        break;
      }
      if (keep) {
        out += static_cast<char>(c);
        if ((out.size() & 0xFFFF) == 0) budget::check_string_length(out.size());
      }
    }
    ++line_;
    column_ = 1;
    return out;
  }

  Str read_count(std::size_t n, bool keep) {
    std::FILE* f = open_file(true);
    if (n > 0 && at_end()) raise(err::kPastEndOfFile);
    Str out;
    char buf[4096];
    while (n > 0) {
      std::size_t want = n < sizeof buf ? n : sizeof buf;
      std::size_t got = std::fread(buf, 1, want, f);
      if (got == 0) break;
      for (std::size_t i = 0; i < got; ++i) advance_position(buf[i]);
      if (keep) {
        budget::check_string_length(out.size() + got);
        out.append(buf, got);
      }
      n -= got;
    }
    return out;
  }

  void write(const Str& text) {
    std::FILE* f = open_file(false);
    if (!text.empty() && std::fwrite(text.data(), 1, text.size(), f) != text.size())
      raise(err::kPermissionDenied, std::string("Cannot write the file: ") + std::strerror(errno));
    for (char c : text) advance_position(c);
  }

  FilePtr file_;
  bool reading_;
  std::int32_t line_ = 1;
  std::int32_t column_ = 1;
};

}  // namespace

ObjectRef open_text_stream(const std::string& path, int mode, bool create) {
  if (mode != kForReading && mode != kForWriting && mode != kForAppending) raise(err::kInvalidCall);
  std::error_code ec;
  if (fs::is_directory(path, ec))
    raise(err::kPermissionDenied, "Permission denied: '" + path + "' is a folder");
  bool exists = fs::exists(path, ec);
  if (!exists && (mode == kForReading || !create)) open_failed(path, ENOENT);
  const char* how = mode == kForReading ? "rb" : mode == kForWriting ? "wb" : "ab";
  FilePtr f(std::fopen(path.c_str(), how));
  if (!f) open_failed(path, errno);
  return std::make_shared<TextStream>(std::move(f), mode == kForReading);
}

ObjectRef create_text_stream(const std::string& path, bool overwrite) {
  std::error_code ec;
  if (fs::is_directory(path, ec))
    raise(err::kPermissionDenied, "Permission denied: '" + path + "' is a folder");
  if (!overwrite && fs::exists(path, ec))
    raise(err::kFileExists, "File already exists: '" + path + "'");
  FilePtr f(std::fopen(path.c_str(), "wb"));
  if (!f) open_failed(path, errno);
  return std::make_shared<TextStream>(std::move(f), false);
}

}  // namespace ralvek::vbscript

#include "lexer.h"

#include <cctype>
#include <cmath>
#include <cstdlib>

#include "errors.h"

namespace ralvek::vbscript {

namespace {

bool is_name_start(char c) {
  return std::isalpha(static_cast<unsigned char>(c)) != 0;
}
bool is_name_char(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_';
}
bool is_blank(char c) {
  return c == ' ' || c == '\t' || c == '\v' || c == '\f';
}

class Lexer {
 public:
  explicit Lexer(std::string_view src) : src_(src) {}

  TokenList run() {
    while (pos_ < src_.size()) step();
    tok_line_ = line_;
    tok_column_ = column();
    push(Tok::EndOfLine, "\n");
    push(Tok::End, "");
    return std::move(out_);
  }

 private:
  char peek(std::size_t ahead = 0) const {
    return pos_ + ahead < src_.size() ? src_[pos_ + ahead] : '\0';
  }
  int column() const { return static_cast<int>(pos_ - line_start_) + 1; }

  void push(Tok kind, std::string text, double number = 0) {
    Token t;
    t.kind = kind;
    if (kind == Tok::Name) {
      t.lower = text;
      for (char& c : t.lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    t.text = std::move(text);
    t.number = number;
    t.line = tok_line_;
    t.column = tok_column_;
    t.space_before = space_;
    space_ = false;
    out_.push_back(std::move(t));
    if ((out_.size() & 4095u) == 0) budget::check_deadline();
  }

  [[noreturn]] void fail(int number) { throw LexError{number, tok_line_, tok_column_}; }

  void new_line() {
    ++line_;
    line_start_ = pos_;
  }

  void skip_to_line_end() {
    while (pos_ < src_.size() && src_[pos_] != '\n' && src_[pos_] != '\r') ++pos_;
  }

  void step() {
    char c = peek();
    tok_line_ = line_;
    tok_column_ = column();
    if (is_blank(c)) {
      ++pos_;
      space_ = true;
      return;
    }
    if (c == '\r' || c == '\n') {
      pos_ += (c == '\r' && peek(1) == '\n') ? 2 : 1;
      push(Tok::EndOfLine, "\n");
      new_line();
      return;
    }
    if (c == '\'') {
      skip_to_line_end();
      return;
    }
    if (c == '_' && continuation()) return;
    if (is_name_start(c)) return name();
    if (c == '[') return bracket_name();
    if (std::isdigit(static_cast<unsigned char>(c)) ||
        (c == '.' && std::isdigit(static_cast<unsigned char>(peek(1))) && !member_context()))
      return number();
    if (c == '&' && (peek(1) == 'h' || peek(1) == 'H' || peek(1) == 'o' || peek(1) == 'O') &&
        std::isxdigit(static_cast<unsigned char>(peek(2))))
      return radix_number();
    if (c == '"') return string();
    if (c == '#') return date();
    if (c == ':') {
      ++pos_;
      push(Tok::EndOfLine, ":");
      return;
    }
    if (c == '<' && (peek(1) == '>' || peek(1) == '=')) {
      pos_ += 2;
      push(Tok::Op, std::string{c, src_[pos_ - 1]});
      return;
    }
    if (c == '>' && peek(1) == '=') {
      pos_ += 2;
      push(Tok::Op, ">=");
      return;
    }
    if (std::string_view("+-*/\\^&=<>(),.").find(c) != std::string_view::npos) {
      ++pos_;
      push(Tok::Op, std::string(1, c));
      return;
    }
    fail(err::kInvalidCharacter);
  }

  // `_` followed by blanks and a line end joins the next line to this one.
  bool continuation() {
    std::size_t p = pos_ + 1;
    while (p < src_.size() && is_blank(src_[p])) ++p;
    if (p < src_.size() && src_[p] != '\r' && src_[p] != '\n') return false;
    if (p < src_.size())
      p += (src_[p] == '\r' && p + 1 < src_.size() && src_[p + 1] == '\n') ? 2 : 1;
    pos_ = p;
    new_line();
    space_ = true;
    return true;
  }

  bool member_context() const {
    if (out_.empty() || space_) return false;
    const Token& t = out_.back();
    return t.kind == Tok::Name || (t.kind == Tok::Op && t.text == ")");
  }

  void name() {
    std::size_t start = pos_;
    while (pos_ < src_.size() && is_name_char(src_[pos_])) ++pos_;
    std::string text(src_.substr(start, pos_ - start));
    if (text.size() > 255) fail(err::kSyntax);
    std::string lower = text;
    for (char& ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    bool after_dot = !out_.empty() && out_.back().kind == Tok::Op && out_.back().text == ".";
    if (lower == "rem" && !after_dot) {
      skip_to_line_end();
      return;
    }
    push(Tok::Name, std::move(text));
  }

  void bracket_name() {
    std::size_t start = ++pos_;
    while (pos_ < src_.size() && src_[pos_] != ']' && src_[pos_] != '\n' && src_[pos_] != '\r')
      ++pos_;
    if (peek() != ']') fail(err::kInvalidCharacter);
    std::string text(src_.substr(start, pos_ - start));
    ++pos_;
    push(Tok::Name, std::move(text));
  }

  void number() {
    std::size_t start = pos_;
    bool is_float = false;
    while (std::isdigit(static_cast<unsigned char>(peek()))) ++pos_;
    if (peek() == '.' && std::isdigit(static_cast<unsigned char>(peek(1)))) {
      is_float = true;
      ++pos_;
      while (std::isdigit(static_cast<unsigned char>(peek()))) ++pos_;
    } else if (peek() == '.' && !is_name_start(peek(1))) {
      is_float = true;
      ++pos_;
    }
    if (peek() == 'e' || peek() == 'E') {
      std::size_t save = pos_;
      ++pos_;
      if (peek() == '+' || peek() == '-') ++pos_;
      if (std::isdigit(static_cast<unsigned char>(peek()))) {
        is_float = true;
        while (std::isdigit(static_cast<unsigned char>(peek()))) ++pos_;
      } else {
        pos_ = save;
      }
    }
    if (is_name_char(peek())) fail(err::kInvalidNumber);
    std::string text(src_.substr(start, pos_ - start));
    double value = std::strtod(text.c_str(), nullptr);
    if (!std::isfinite(value)) fail(err::kInvalidNumber);
    push(is_float || value > 2147483647.0 ? Tok::Float : Tok::Integer, text, value);
  }

  void radix_number() {
    std::size_t start = pos_;
    ++pos_;  // '&'
    int base = 8;
    if (peek() == 'h' || peek() == 'H')
      base = 16, ++pos_;
    else if (peek() == 'o' || peek() == 'O')
      ++pos_;
    unsigned long long n = 0;
    std::size_t digits = 0;
    while (true) {
      char c = static_cast<char>(std::tolower(static_cast<unsigned char>(peek())));
      int d = c >= '0' && c <= '9'                   ? c - '0'
              : (base == 16 && c >= 'a' && c <= 'f') ? c - 'a' + 10
                                                     : -1;
      if (d < 0 || d >= base) break;
      n = n * static_cast<unsigned>(base) + static_cast<unsigned>(d);
      if (n > 0xFFFFFFFFull) fail(err::kInvalidNumber);
      ++pos_;
      ++digits;
    }
    if (peek() == '&') ++pos_;  // type suffix of a Long literal
    if (digits == 0 || is_name_char(peek())) fail(err::kInvalidNumber);
    double value = n <= 0xFFFF ? static_cast<std::int16_t>(static_cast<std::uint16_t>(n))
                               : static_cast<std::int32_t>(static_cast<std::uint32_t>(n));
    push(Tok::Integer, std::string(src_.substr(start, pos_ - start)), value);
  }

  void string() {
    ++pos_;
    std::string text;
    while (true) {
      if (pos_ >= src_.size() || src_[pos_] == '\n' || src_[pos_] == '\r')
        fail(err::kUnterminatedString);
      char c = src_[pos_++];
      if (c == '"') {
        if (peek() == '"') {
          text += '"';
          ++pos_;
          continue;
        }
        break;
      }
      text += c;
    }
    push(Tok::String, std::move(text));
  }

  void date() {
    std::size_t start = ++pos_;
    while (pos_ < src_.size() && src_[pos_] != '#' && src_[pos_] != '\n' && src_[pos_] != '\r')
      ++pos_;
    if (peek() != '#') fail(err::kSyntax);
    std::string text(src_.substr(start, pos_ - start));
    ++pos_;
    push(Tok::Date, std::move(text));
  }

  std::string_view src_;
  std::size_t pos_ = 0;
  std::size_t line_start_ = 0;
  int line_ = 1;
  int tok_line_ = 1;
  int tok_column_ = 1;
  bool space_ = false;
  TokenList out_;
};

}  // namespace

TokenList tokenize(std::string_view source) {
  return Lexer(source).run();
}

}  // namespace ralvek::vbscript

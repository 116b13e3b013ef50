// Internals of the parser: the token cursor shared by the statement and expression parsers.
#pragma once

#include <algorithm>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "ast.h"
#include "errors.h"
#include "lexer.h"
#include "stack.h"

namespace ralvek::vbscript::parsing {

inline constexpr int kMaxNesting = 200;

bool is_reserved(std::string_view word);

struct Fail {
  int number;
  std::string description;
  int line;
  int column;
};

// The tokens, the position and the checks that both parsers use.
class Cursor {
 public:
  explicit Cursor(TokenList tokens) : t_(std::move(tokens)) {}

  const Token& cur() const { return t_[p_]; }
  const Token& ahead(std::size_t n = 1) const { return t_[std::min(p_ + n, t_.size() - 1)]; }
  void advance() {
    if (p_ + 1 < t_.size()) ++p_;
    if ((p_ & 4095u) == 0) budget::check_deadline();
  }
  bool is_kw(std::string_view w) const { return cur().kind == Tok::Name && cur().lower == w; }
  bool is_kw_at(std::size_t n, std::string_view w) const {
    return ahead(n).kind == Tok::Name && ahead(n).lower == w;
  }
  bool is_op(std::string_view o) const { return cur().kind == Tok::Op && cur().text == o; }
  bool at_eol() const { return cur().kind == Tok::EndOfLine || cur().kind == Tok::End; }
  bool at_line_end() const {
    return cur().kind == Tok::End || (cur().kind == Tok::EndOfLine && cur().text == "\n");
  }

  [[noreturn]] void fail(int number) { fail(number, std::string(error_text(number))); }
  [[noreturn]] void fail(int number, std::string description) {
    throw Fail{number, std::move(description), cur().line, cur().column};
  }

  void expect_kw(std::string_view w, int number) {
    if (!is_kw(w)) fail(number);
    advance();
  }
  void expect_op(std::string_view o, int number) {
    if (!is_op(o)) fail(number);
    advance();
  }
  void skip_eols() {
    while (cur().kind == Tok::EndOfLine) advance();
  }
  void end_statement() {
    if (single_line_if_ > 0 && (is_kw("else") || at_eol() || (is_kw("end") && is_kw_at(1, "if"))))
      return;
    if (cur().kind == Tok::End) return;
    if (cur().kind != Tok::EndOfLine) fail(err::kExpectedEndOfStatement);
    advance();
  }

  std::string take_name() {
    if (cur().kind != Tok::Name || is_reserved(cur().lower)) fail(err::kExpectedIdentifier);
    std::string n = cur().lower;
    advance();
    return n;
  }

  struct DepthGuard {
    explicit DepthGuard(Cursor& p) : p(p) {
      if (++p.depth_ > kMaxNesting) {
        --p.depth_;
        p.fail(err::kTooDeep);
      }
      if (!stack::has_room()) {
        --p.depth_;
        p.fail(err::kOutOfStack);
      }
    }
    ~DepthGuard() { --p.depth_; }
    Cursor& p;
  };

  TokenList t_;
  std::size_t p_ = 0;
  int depth_ = 0;
  int single_line_if_ = 0;
  // Where the last argument list of a call chain opened and ended (statement calls re-read it).
  std::size_t last_paren_ = std::string::npos;
  std::size_t last_paren_end_ = 0;
};

// Expressions and call chains (`a.b(1).c`), over a shared cursor.
class ExprParser {
 public:
  explicit ExprParser(Cursor& cursor) : c_(cursor) {}
  ExprPtr expression();
  // A name or With member followed by members and argument lists.
  ExprPtr chain();
  ExprPtr concat_expr();

 private:
  ExprPtr member(ExprPtr object);
  ExprPtr postfix(ExprPtr e);
  std::vector<ExprPtr> arguments();
  ExprPtr binary(BinOp op, ExprPtr l, ExprPtr r);
  // Operators from `min_level` up (precedence climbing: one loop per level that occurs, so a flat
  // chain of any length takes a few native frames).
  ExprPtr binary_expr(int min_level);
  ExprPtr operand(int min_level);
  ExprPtr signed_primary();
  ExprPtr literal(Value v);
  ExprPtr primary();

  Cursor& c_;
};

}  // namespace ralvek::vbscript::parsing

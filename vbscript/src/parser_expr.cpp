// The expression parser: precedence levels, call chains, literals.
#include <optional>

#include "datetime.h"
#include "parser_impl.h"

namespace ralvek::vbscript::parsing {

ExprPtr ExprParser::chain() {
  ExprPtr e;
  if (c_.is_op(".")) {
    c_.advance();
    e = member(nullptr);
  } else {
    if (c_.cur().kind != Tok::Name || is_reserved(c_.cur().lower)) c_.fail(err::kExpectedStatement);
    e = std::make_unique<Expr>(ExprKind::Name);
    e->line = c_.cur().line;
    e->text = c_.cur().text;
    e->name = c_.cur().lower;
    c_.advance();
  }
  return postfix(std::move(e));
}

ExprPtr ExprParser::member(ExprPtr object) {
  if (c_.cur().kind != Tok::Name) c_.fail(err::kExpectedIdentifier);
  auto m = std::make_unique<Expr>(ExprKind::Member);
  m->line = c_.cur().line;
  m->text = c_.cur().text;
  m->name = c_.cur().lower;
  m->a = std::move(object);
  c_.advance();
  return m;
}

ExprPtr ExprParser::postfix(ExprPtr e) {
  while (true) {
    if (c_.is_op(".") && !c_.cur().space_before) {
      c_.advance();
      e = member(std::move(e));
    } else if (c_.is_op("(")) {
      std::size_t open = c_.p_;
      auto call = std::make_unique<Expr>(ExprKind::Call);
      call->line = c_.cur().line;
      call->a = std::move(e);
      call->args = arguments();
      c_.last_paren_ = open;
      c_.last_paren_end_ = c_.p_;
      e = std::move(call);
    } else {
      return e;
    }
  }
}

std::vector<ExprPtr> ExprParser::arguments() {
  Cursor::DepthGuard guard(c_);
  c_.advance();  // '('
  std::vector<ExprPtr> args;
  if (c_.is_op(")")) {
    c_.advance();
    return args;
  }
  while (true) {
    if (c_.is_op(",") || c_.is_op(")"))
      args.push_back(nullptr);
    else
      args.push_back(expression());
    if (!c_.is_op(",")) break;
    c_.advance();
  }
  c_.expect_op(")", err::kExpectedRParen);
  return args;
}

ExprPtr ExprParser::binary(BinOp op, ExprPtr l, ExprPtr r) {
  auto e = std::make_unique<Expr>(ExprKind::Binary);
  e->line = l->line;
  e->op = op;
  e->a = std::move(l);
  e->b = std::move(r);
  return e;
}

namespace {

// Binding levels, loosest first. Not (6) and unary minus (13) are prefixes.
enum Level : int {
  kImp = 1,
  kEqv,
  kXor,
  kOr,
  kAnd,
  kNot,
  kCompare,
  kConcat,
  kAdd,
  kMod,
  kIntDiv,
  kMul,
  kNegate,
  kPow,
  kPowOperand,
};

struct Infix {
  BinOp op;
  int level;
};

// The binary operator at the cursor, if any.
std::optional<Infix> infix_at(const Token& t) {
  if (t.kind == Tok::Op) {
    const std::string& o = t.text;
    if (o == "+") return Infix{BinOp::Add, kAdd};
    if (o == "-") return Infix{BinOp::Sub, kAdd};
    if (o == "*") return Infix{BinOp::Mul, kMul};
    if (o == "/") return Infix{BinOp::Div, kMul};
    if (o == "\\") return Infix{BinOp::IntDiv, kIntDiv};
    if (o == "^") return Infix{BinOp::Pow, kPow};
    if (o == "&") return Infix{BinOp::Concat, kConcat};
    if (o == "=") return Infix{BinOp::Eq, kCompare};
    if (o == "<>") return Infix{BinOp::Ne, kCompare};
    if (o == "<") return Infix{BinOp::Lt, kCompare};
    if (o == ">") return Infix{BinOp::Gt, kCompare};
    if (o == "<=") return Infix{BinOp::Le, kCompare};
    if (o == ">=") return Infix{BinOp::Ge, kCompare};
    return std::nullopt;
  }
  if (t.kind != Tok::Name) return std::nullopt;
  const std::string& w = t.lower;
  if (w == "mod") return Infix{BinOp::Mod, kMod};
  if (w == "and") return Infix{BinOp::And, kAnd};
  if (w == "or") return Infix{BinOp::Or, kOr};
  if (w == "xor") return Infix{BinOp::Xor, kXor};
  if (w == "eqv") return Infix{BinOp::Eqv, kEqv};
  if (w == "imp") return Infix{BinOp::Imp, kImp};
  if (w == "is") return Infix{BinOp::Is, kCompare};
  return std::nullopt;
}

}  // namespace

ExprPtr ExprParser::expression() {
  Cursor::DepthGuard guard(c_);
  return binary_expr(kImp);
}

ExprPtr ExprParser::concat_expr() {
  return binary_expr(kConcat);
}

ExprPtr ExprParser::binary_expr(int min_level) {
  ExprPtr l = operand(min_level);
  while (true) {
    std::optional<Infix> op = infix_at(c_.cur());
    if (!op || op->level < min_level) return l;
    c_.advance();
    // Every level is left-associative: the right side takes only tighter operators.
    ExprPtr r = op->level == kPow ? signed_primary() : binary_expr(op->level + 1);
    l = binary(op->op, std::move(l), std::move(r));
  }
}

ExprPtr ExprParser::operand(int min_level) {
  if (min_level <= kNot && c_.is_kw("not")) {
    Cursor::DepthGuard guard(c_);
    int line = c_.cur().line;
    c_.advance();
    auto e = std::make_unique<Expr>(ExprKind::Unary);
    e->line = line;
    e->negate = false;
    e->a = binary_expr(kNot);
    return e;
  }
  if (c_.is_op("-") || c_.is_op("+")) {
    Cursor::DepthGuard guard(c_);
    bool minus = c_.is_op("-");
    int line = c_.cur().line;
    c_.advance();
    ExprPtr inner = binary_expr(kPow);
    if (!minus) return inner;
    auto e = std::make_unique<Expr>(ExprKind::Unary);
    e->line = line;
    e->negate = true;
    e->a = std::move(inner);
    return e;
  }
  return primary();
}

// The right side of `^`: a primary, perhaps with one sign.
ExprPtr ExprParser::signed_primary() {
  if (!c_.is_op("-") && !c_.is_op("+")) return primary();
  Cursor::DepthGuard guard(c_);
  bool minus = c_.is_op("-");
  c_.advance();
  ExprPtr r = primary();
  if (!minus) return r;
  auto e = std::make_unique<Expr>(ExprKind::Unary);
  e->negate = true;
  e->a = std::move(r);
  return e;
}

ExprPtr ExprParser::literal(Value v) {
  auto e = std::make_unique<Expr>(ExprKind::Literal);
  e->line = c_.cur().line;
  e->value = std::move(v);
  c_.advance();
  return e;
}

ExprPtr ExprParser::primary() {
  const Token& t = c_.cur();
  switch (t.kind) {
    case Tok::Integer:
      return literal(Value::whole(static_cast<std::int64_t>(t.number)));
    case Tok::Float:
      return literal(Value::number(t.number));
    case Tok::String:
      return literal(Value::string(t.text));
    case Tok::Date: {
      double serial;
      if (!datetime::parse(t.text, serial)) c_.fail(err::kSyntax, "Invalid date literal");
      return literal(Value::date(serial));
    }
    case Tok::Op:
      if (t.text == "(") {
        Cursor::DepthGuard guard(c_);
        c_.advance();
        auto e = std::make_unique<Expr>(ExprKind::Paren);
        e->line = t.line;
        e->a = expression();
        c_.expect_op(")", err::kExpectedRParen);
        return postfix(std::move(e));
      }
      if (t.text == ".") {
        c_.advance();
        return postfix(member(nullptr));
      }
      c_.fail(err::kExpectedExpression);
    case Tok::Name: {
      const std::string& w = t.lower;
      if (w == "true") return literal(Value::boolean(true));
      if (w == "false") return literal(Value::boolean(false));
      if (w == "empty") return literal(Value());
      if (w == "null") return literal(Value::null());
      if (w == "nothing") return literal(Value::object(nullptr));
      if (w == "new") c_.fail(err::kUnsupported, "Class is not supported by this engine");
      if (w == "getref") c_.fail(err::kUnsupported, "GetRef is not supported by this engine");
      if (is_reserved(w)) c_.fail(err::kExpectedExpression);
      auto e = std::make_unique<Expr>(ExprKind::Name);
      e->line = t.line;
      e->text = t.text;
      e->name = w;
      c_.advance();
      return postfix(std::move(e));
    }
    default:
      c_.fail(err::kExpectedExpression);
  }
}

}  // namespace ralvek::vbscript::parsing

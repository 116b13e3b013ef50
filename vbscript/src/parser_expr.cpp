// The expression parser: precedence levels, call chains, literals.
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

ExprPtr ExprParser::left_assoc(Level next, std::initializer_list<std::pair<const char*, BinOp>> ops,
                               bool words) {
  ExprPtr l = (this->*next)();
  while (true) {
    bool matched = false;
    for (const auto& [text, op] : ops) {
      if (words ? c_.is_kw(text) : c_.is_op(text)) {
        c_.advance();
        l = binary(op, std::move(l), (this->*next)());
        matched = true;
        break;
      }
    }
    if (!matched) return l;
  }
}

ExprPtr ExprParser::expression() {
  Cursor::DepthGuard guard(c_);
  return imp_expr();
}

ExprPtr ExprParser::imp_expr() {
  return left_assoc(&ExprParser::eqv_expr, {{"imp", BinOp::Imp}}, true);
}
ExprPtr ExprParser::eqv_expr() {
  return left_assoc(&ExprParser::xor_expr, {{"eqv", BinOp::Eqv}}, true);
}
ExprPtr ExprParser::xor_expr() {
  return left_assoc(&ExprParser::or_expr, {{"xor", BinOp::Xor}}, true);
}
ExprPtr ExprParser::or_expr() {
  return left_assoc(&ExprParser::and_expr, {{"or", BinOp::Or}}, true);
}
ExprPtr ExprParser::and_expr() {
  return left_assoc(&ExprParser::not_expr, {{"and", BinOp::And}}, true);
}
ExprPtr ExprParser::not_expr() {
  if (c_.is_kw("not")) {
    Cursor::DepthGuard guard(c_);
    int line = c_.cur().line;
    c_.advance();
    auto e = std::make_unique<Expr>(ExprKind::Unary);
    e->line = line;
    e->negate = false;
    e->a = not_expr();
    return e;
  }
  return compare_expr();
}

ExprPtr ExprParser::compare_expr() {
  ExprPtr l = concat_expr();
  while (true) {
    BinOp op;
    if (c_.is_kw("is"))
      op = BinOp::Is;
    else if (c_.is_op("="))
      op = BinOp::Eq;
    else if (c_.is_op("<>"))
      op = BinOp::Ne;
    else if (c_.is_op("<"))
      op = BinOp::Lt;
    else if (c_.is_op(">"))
      op = BinOp::Gt;
    else if (c_.is_op("<="))
      op = BinOp::Le;
    else if (c_.is_op(">="))
      op = BinOp::Ge;
    else
      return l;
    c_.advance();
    l = binary(op, std::move(l), concat_expr());
  }
}

ExprPtr ExprParser::concat_expr() {
  return left_assoc(&ExprParser::add_expr, {{"&", BinOp::Concat}}, false);
}
ExprPtr ExprParser::add_expr() {
  return left_assoc(&ExprParser::mod_expr, {{"+", BinOp::Add}, {"-", BinOp::Sub}}, false);
}

ExprPtr ExprParser::mod_expr() {
  return left_assoc(&ExprParser::idiv_expr, {{"mod", BinOp::Mod}}, true);
}
ExprPtr ExprParser::idiv_expr() {
  return left_assoc(&ExprParser::mul_expr, {{"\\", BinOp::IntDiv}}, false);
}
ExprPtr ExprParser::mul_expr() {
  return left_assoc(&ExprParser::unary_expr, {{"*", BinOp::Mul}, {"/", BinOp::Div}}, false);
}

ExprPtr ExprParser::unary_expr() {
  if (c_.is_op("-") || c_.is_op("+")) {
    Cursor::DepthGuard guard(c_);
    bool minus = c_.is_op("-");
    int line = c_.cur().line;
    c_.advance();
    ExprPtr operand = unary_expr();
    if (!minus) return operand;
    auto e = std::make_unique<Expr>(ExprKind::Unary);
    e->line = line;
    e->negate = true;
    e->a = std::move(operand);
    return e;
  }
  return pow_expr();
}

ExprPtr ExprParser::pow_expr() {
  ExprPtr l = primary();
  while (c_.is_op("^")) {
    c_.advance();
    ExprPtr r;
    if (c_.is_op("-") || c_.is_op("+")) {
      Cursor::DepthGuard guard(c_);
      bool minus = c_.is_op("-");
      c_.advance();
      r = primary();
      if (minus) {
        auto e = std::make_unique<Expr>(ExprKind::Unary);
        e->negate = true;
        e->a = std::move(r);
        r = std::move(e);
      }
    } else {
      r = primary();
    }
    l = binary(BinOp::Pow, std::move(l), std::move(r));
  }
  return l;
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

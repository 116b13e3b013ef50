#include "parser.h"

#include <algorithm>
#include <functional>
#include <map>
#include <set>

#include "datetime.h"
#include "errors.h"
#include "lexer.h"

namespace ralvek::vbscript {

namespace {

constexpr int kMaxNesting = 200;

const std::set<std::string, std::less<>> kReserved = {
    "and",    "byref",    "byval",   "call",  "case", "class",  "const", "dim",      "do",
    "each",   "else",     "elseif",  "empty", "end",  "eqv",    "erase", "exit",     "false",
    "for",    "function", "if",      "imp",   "in",   "is",     "loop",  "mod",      "new",
    "next",   "not",      "nothing", "null",  "on",   "option", "or",    "preserve", "private",
    "public", "redim",    "select",  "set",   "sub",  "then",   "to",    "true",     "until",
    "wend",   "while",    "with",    "xor",   "let",  "me"};

struct Fail {
  int number;
  std::string description;
  int line;
  int column;
};

class Parser {
 public:
  Parser(std::vector<Token> tokens, int chunk) : t_(std::move(tokens)), chunk_(chunk) {}

  Program run() {
    while (true) {
      skip_eols();
      if (cur().kind == Tok::End) break;
      top_level_item();
    }
    return std::move(prog_);
  }

 private:
  // ---- tokens
  const Token& cur() const { return t_[p_]; }
  const Token& ahead(std::size_t n = 1) const { return t_[std::min(p_ + n, t_.size() - 1)]; }
  void advance() {
    if (p_ + 1 < t_.size()) ++p_;
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
    if (cur().kind != Tok::Name || kReserved.count(cur().lower)) fail(err::kExpectedIdentifier);
    std::string n = cur().lower;
    advance();
    return n;
  }

  struct DepthGuard {
    explicit DepthGuard(Parser& p) : p(p) {
      if (++p.depth_ > kMaxNesting) p.fail(err::kTooDeep);
    }
    ~DepthGuard() { --p.depth_; }
    Parser& p;
  };

  // ---- top level
  void top_level_item() {
    if (is_kw("option")) {
      advance();
      if (!is_kw("explicit")) fail(err::kSyntax);
      advance();
      prog_.option_explicit = true;
      end_statement();
      return;
    }
    std::size_t save = p_;
    if (is_kw("public") || is_kw("private")) {
      advance();
      if (is_kw("default")) advance();
    }
    if (is_kw("sub") || is_kw("function")) return procedure();
    if (is_kw("class")) fail(err::kUnsupported, "Class is not supported by this engine");
    p_ = save;
    prog_.body.push_back(statement());
  }

  void procedure() {
    bool is_function = is_kw("function");
    int line = cur().line;
    advance();
    auto proc = std::make_shared<Procedure>();
    proc->text = cur().text;
    proc->name = take_name();
    proc->is_function = is_function;
    proc->line = line;
    proc->chunk = chunk_;
    for (const auto& other : prog_.procedures)
      if (other->name == proc->name) fail(err::kNameRedefined);
    if (is_op("(")) {
      advance();
      while (!is_op(")")) {
        Param param;
        if (is_kw("byval"))
          param.by_ref = false, advance();
        else if (is_kw("byref"))
          advance();
        param.name = take_name();
        if (is_op("(")) {
          advance();
          expect_op(")", err::kExpectedRParen);
        }
        for (const Param& q : proc->params)
          if (q.name == param.name) fail(err::kNameRedefined);
        proc->params.push_back(param);
        if (!is_op(",")) break;
        advance();
      }
      expect_op(")", err::kExpectedRParen);
    }
    end_statement();
    proc_ = proc.get();
    std::string end_word = is_function ? "function" : "sub";
    proc->body = block([&] { return is_kw("end") && is_kw_at(1, end_word); });
    if (!is_kw("end")) fail(err::kExpectedEnd);
    advance();
    expect_kw(end_word, is_function ? err::kExpectedFunction : err::kExpectedSub);
    proc_ = nullptr;
    end_statement();
    prog_.procedures.push_back(std::move(proc));
  }

  // Statements until `stop` holds at a statement start.
  Block block(const std::function<bool()>& stop) {
    DepthGuard guard(*this);
    Block out;
    while (true) {
      skip_eols();
      if (cur().kind == Tok::End) return out;
      if (stop()) return out;
      if (is_kw("sub") || is_kw("function") || is_kw("class") ||
          ((is_kw("public") || is_kw("private")) &&
           (is_kw_at(1, "sub") || is_kw_at(1, "function"))))
        fail(err::kExpectedStatement);
      out.push_back(statement());
    }
  }

  // ---- statements
  StmtPtr statement() {
    int line = cur().line;
    if (cur().kind == Tok::Name) {
      const std::string& w = cur().lower;
      if ((w == "public" || w == "private") && !proc_ && is_kw_at(1, "const")) {
        advance();
        return constant(line);
      }
      if (w == "dim" || ((w == "public" || w == "private") && !proc_)) return dim(line);
      if (w == "redim") return redim(line);
      if (w == "const") return constant(line);
      if (w == "if") return if_statement(line);
      if (w == "select") return select(line);
      if (w == "for") return for_statement(line);
      if (w == "do") return do_loop(line);
      if (w == "while") return while_loop(line);
      if (w == "with") return with(line);
      if (w == "exit") return exit(line);
      if (w == "on") return on_error(line);
      if (w == "erase") return erase(line);
      if (w == "set") {
        advance();
        return assignment(line, true);
      }
      if (w == "let") {
        advance();
        return assignment(line, false);
      }
      if (w == "call") return call(line);
      if (w == "option") fail(err::kSyntax, "Option Explicit must come before any other statement");
      if (kReserved.count(w)) fail(err::kExpectedStatement);
      return assignment_or_call(line);
    }
    if (is_op(".")) return assignment_or_call(line);
    fail(err::kExpectedStatement);
  }

  void declare_local(const std::string& name) {
    if (proc_) {
      if (std::find(proc_->locals.begin(), proc_->locals.end(), name) != proc_->locals.end() ||
          std::any_of(proc_->params.begin(), proc_->params.end(),
                      [&](const Param& p) { return p.name == name; }))
        fail(err::kNameRedefined);
      proc_->locals.push_back(name);
    } else {
      prog_.globals.push_back(name);
    }
  }

  StmtPtr dim(int line) {
    advance();
    auto s = std::make_unique<Stmt>(StmtKind::Dim, line);
    while (true) {
      DimItem item;
      item.text = cur().text;
      item.name = take_name();
      if (is_op("(")) {
        advance();
        item.is_array = true;
        while (!is_op(")")) {
          item.bounds.push_back(expression());
          if (!is_op(",")) break;
          advance();
        }
        expect_op(")", err::kExpectedRParen);
      }
      declare_local(item.name);
      s->dims.push_back(std::move(item));
      if (!is_op(",")) break;
      advance();
    }
    end_statement();
    return s;
  }

  StmtPtr redim(int line) {
    advance();
    auto s = std::make_unique<Stmt>(StmtKind::ReDim, line);
    if (is_kw("preserve")) s->flag = true, advance();
    while (true) {
      DimItem item;
      item.text = cur().text;
      item.name = take_name();
      item.is_array = true;
      expect_op("(", err::kExpectedLParen);
      while (true) {
        item.bounds.push_back(expression());
        if (!is_op(",")) break;
        advance();
      }
      expect_op(")", err::kExpectedRParen);
      if (proc_ &&
          std::find(proc_->locals.begin(), proc_->locals.end(), item.name) == proc_->locals.end() &&
          std::none_of(proc_->params.begin(), proc_->params.end(),
                       [&](const Param& p) { return p.name == item.name; }))
        proc_->locals.push_back(item.name);
      s->dims.push_back(std::move(item));
      if (!is_op(",")) break;
      advance();
    }
    end_statement();
    return s;
  }

  StmtPtr constant(int line) {
    advance();
    auto s = std::make_unique<Stmt>(StmtKind::Const, line);
    while (true) {
      DimItem item;
      item.text = cur().text;
      item.name = take_name();
      expect_op("=", err::kExpectedEquals);
      item.bounds.push_back(expression());
      declare_local(item.name);
      s->dims.push_back(std::move(item));
      if (!is_op(",")) break;
      advance();
    }
    end_statement();
    return s;
  }

  StmtPtr if_statement(int line) {
    advance();
    auto s = std::make_unique<Stmt>(StmtKind::If, line);
    ExprPtr cond = expression();
    expect_kw("then", err::kExpectedThen);
    if (!at_line_end()) return single_line_if(std::move(s), std::move(cond));
    s->branches.push_back({std::move(cond), Block{}});
    auto stop = [&] {
      return is_kw("elseif") || is_kw("else") || (is_kw("end") && is_kw_at(1, "if"));
    };
    s->branches.back().body = block(stop);
    while (is_kw("elseif")) {
      advance();
      ExprPtr c = expression();
      expect_kw("then", err::kExpectedThen);
      end_statement();
      s->branches.push_back({std::move(c), block(stop)});
    }
    if (is_kw("else")) {
      advance();
      s->branches.push_back({nullptr, block([&] { return is_kw("end") && is_kw_at(1, "if"); })});
    }
    if (!is_kw("end")) fail(err::kExpectedEnd);
    advance();
    expect_kw("if", err::kExpectedIf);
    end_statement();
    return s;
  }

  Block single_line_block() {
    Block out;
    while (true) {
      while (cur().kind == Tok::EndOfLine && cur().text == ":") advance();
      if (at_line_end() || is_kw("else") || (is_kw("end") && is_kw_at(1, "if"))) return out;
      out.push_back(statement());
    }
  }

  StmtPtr single_line_if(StmtPtr s, ExprPtr cond) {
    DepthGuard guard(*this);
    ++single_line_if_;
    s->branches.push_back({std::move(cond), single_line_block()});
    if (is_kw("else")) {
      advance();
      s->branches.push_back({nullptr, single_line_block()});
    }
    --single_line_if_;
    if (is_kw("end") && is_kw_at(1, "if")) advance(), advance();
    end_statement();
    return s;
  }

  StmtPtr select(int line) {
    advance();
    expect_kw("case", err::kExpectedCase);
    auto s = std::make_unique<Stmt>(StmtKind::Select, line);
    s->target = expression();
    end_statement();
    skip_eols();
    auto stop = [&] { return is_kw("case") || (is_kw("end") && is_kw_at(1, "select")); };
    while (is_kw("case")) {
      advance();
      CaseClause clause;
      if (is_kw("else")) {
        advance();
      } else {
        while (true) {
          CaseTest test;
          if (is_kw("is")) {
            advance();
            test.kind = CaseTestKind::Is;
            test.op = comparison_op();
            test.a = concat_expr();
          } else {
            test.a = expression();
            if (is_kw("to")) {
              advance();
              test.kind = CaseTestKind::Range;
              test.b = expression();
            }
          }
          clause.tests.push_back(std::move(test));
          if (!is_op(",")) break;
          advance();
        }
      }
      if (cur().kind == Tok::EndOfLine) advance();
      clause.body = block(stop);
      s->cases.push_back(std::move(clause));
    }
    if (!is_kw("end")) fail(err::kExpectedCase);
    advance();
    expect_kw("select", err::kExpectedSelect);
    end_statement();
    return s;
  }

  BinOp comparison_op() {
    static const std::pair<const char*, BinOp> ops[] = {{"=", BinOp::Eq},  {"<>", BinOp::Ne},
                                                        {"<", BinOp::Lt},  {">", BinOp::Gt},
                                                        {"<=", BinOp::Le}, {">=", BinOp::Ge}};
    for (const auto& [text, op] : ops)
      if (is_op(text)) {
        advance();
        return op;
      }
    fail(err::kSyntax);
  }

  StmtPtr for_statement(int line) {
    advance();
    if (is_kw("each")) {
      advance();
      auto s = std::make_unique<Stmt>(StmtKind::ForEach, line);
      s->text = cur().text;
      s->name = take_name();
      expect_kw("in", err::kExpectedIn);
      s->value = expression();
      end_statement();
      s->body = loop_body("for");
      return s;
    }
    auto s = std::make_unique<Stmt>(StmtKind::For, line);
    s->text = cur().text;
    if (cur().kind != Tok::Name || kReserved.count(cur().lower)) fail(err::kInvalidForVariable);
    s->name = take_name();
    expect_op("=", err::kExpectedEquals);
    s->target = expression();
    expect_kw("to", err::kExpectedTo);
    s->value = expression();
    if (is_kw("step")) {
      advance();
      s->step = expression();
    }
    end_statement();
    s->body = loop_body("for");
    return s;
  }

  Block loop_body(const std::string& kind) {
    ++open_loops_[kind];
    Block body;
    if (kind == "for") {
      body = block([&] { return is_kw("next"); });
      if (!is_kw("next")) fail(err::kExpectedNext);
      advance();
      // `Next i` or `Next i, j` closing several loops is not supported; `Next i` is.
      if (cur().kind == Tok::Name && !is_kw("else")) advance();
    } else if (kind == "do") {
      body = block([&] { return is_kw("loop"); });
      if (!is_kw("loop")) fail(err::kExpectedLoop);
      advance();
    } else {
      body = block([&] { return is_kw("wend"); });
      if (!is_kw("wend")) fail(err::kExpectedWend);
      advance();
    }
    --open_loops_[kind];
    return body;
  }

  StmtPtr do_loop(int line) {
    advance();
    auto s = std::make_unique<Stmt>(StmtKind::Do, line);
    if (is_kw("while") || is_kw("until")) {
      s->test = is_kw("while") ? LoopTest::WhileBefore : LoopTest::UntilBefore;
      advance();
      s->value = expression();
    }
    end_statement();
    s->body = loop_body("do");
    if (is_kw("while") || is_kw("until")) {
      if (s->test != LoopTest::None) fail(err::kExpectedEndOfStatement);
      s->test = is_kw("while") ? LoopTest::WhileAfter : LoopTest::UntilAfter;
      advance();
      s->value = expression();
    }
    end_statement();
    return s;
  }

  StmtPtr while_loop(int line) {
    advance();
    auto s = std::make_unique<Stmt>(StmtKind::Do, line);
    s->test = LoopTest::WhileBefore;
    s->value = expression();
    end_statement();
    s->body = loop_body("while");
    end_statement();
    return s;
  }

  StmtPtr with(int line) {
    advance();
    auto s = std::make_unique<Stmt>(StmtKind::With, line);
    s->target = expression();
    end_statement();
    s->body = block([&] { return is_kw("end") && is_kw_at(1, "with"); });
    if (!is_kw("end")) fail(err::kExpectedEnd);
    advance();
    expect_kw("with", err::kExpectedWith);
    end_statement();
    return s;
  }

  StmtPtr exit(int line) {
    advance();
    auto s = std::make_unique<Stmt>(StmtKind::Exit, line);
    if (is_kw("do")) {
      s->exit = ExitKind::Do;
      if (open_loops_["do"] == 0) fail(err::kInvalidExit);
    } else if (is_kw("for")) {
      s->exit = ExitKind::For;
      if (open_loops_["for"] == 0) fail(err::kInvalidExit);
    } else if (is_kw("sub")) {
      s->exit = ExitKind::Sub;
      if (!proc_ || proc_->is_function) fail(err::kInvalidExit);
    } else if (is_kw("function")) {
      s->exit = ExitKind::Function;
      if (!proc_ || !proc_->is_function) fail(err::kInvalidExit);
    } else {
      fail(err::kInvalidExit);
    }
    advance();
    end_statement();
    return s;
  }

  StmtPtr on_error(int line) {
    advance();
    expect_kw("error", err::kSyntax);
    auto s = std::make_unique<Stmt>(StmtKind::OnError, line);
    if (is_kw("resume")) {
      advance();
      expect_kw("next", err::kSyntax);
      s->flag = true;
    } else if (is_kw("goto")) {
      advance();
      if (cur().kind != Tok::Integer || cur().number != 0)
        fail(err::kSyntax, "Only 'On Error GoTo 0' is supported");
      advance();
    } else {
      fail(err::kSyntax);
    }
    end_statement();
    return s;
  }

  StmtPtr erase(int line) {
    advance();
    auto s = std::make_unique<Stmt>(StmtKind::Erase, line);
    s->text = cur().text;
    s->name = take_name();
    end_statement();
    return s;
  }

  StmtPtr call(int line) {
    advance();
    auto s = std::make_unique<Stmt>(StmtKind::Call, line);
    s->target = chain();
    end_statement();
    return s;
  }

  StmtPtr assignment(int line, bool is_set) {
    auto s = std::make_unique<Stmt>(is_set ? StmtKind::Set : StmtKind::Assign, line);
    s->target = chain();
    expect_op("=", err::kExpectedEquals);
    s->value = expression();
    end_statement();
    return s;
  }

  StmtPtr assignment_or_call(int line) {
    last_paren_ = std::string::npos;
    ExprPtr target = chain();
    if (is_op("=")) {
      advance();
      auto s = std::make_unique<Stmt>(StmtKind::Assign, line);
      s->target = std::move(target);
      s->value = expression();
      end_statement();
      return s;
    }
    auto s = std::make_unique<Stmt>(StmtKind::Call, line);
    bool ends = at_eol() || (single_line_if_ > 0 && is_kw("else"));
    if (!ends) {
      // `Foo (a), b` or `Foo (a) + 1`: the parenthesis opened the first argument, not a list.
      if (target->kind == ExprKind::Call && last_paren_ != std::string::npos &&
          last_paren_end_ == p_) {
        p_ = last_paren_;
        target = std::move(target->a);
      }
      auto call = std::make_unique<Expr>(ExprKind::Call);
      call->line = line;
      call->a = std::move(target);
      while (true) {
        if (is_op(","))
          call->args.push_back(nullptr);
        else
          call->args.push_back(expression());
        if (!is_op(",")) break;
        advance();
      }
      target = std::move(call);
    } else if (target->kind == ExprKind::Call && target->args.size() == 1 && target->args[0]) {
      // `Foo (x)`: the argument is a parenthesised expression, passed by value.
      auto paren = std::make_unique<Expr>(ExprKind::Paren);
      paren->a = std::move(target->args[0]);
      target->args[0] = std::move(paren);
    }
    s->target = std::move(target);
    end_statement();
    return s;
  }

  // ---- expressions
  // A name or With member followed by members and argument lists: an assignment target or a call.
  ExprPtr chain() {
    ExprPtr e;
    if (is_op(".")) {
      advance();
      e = member(nullptr);
    } else {
      if (cur().kind != Tok::Name || kReserved.count(cur().lower)) fail(err::kExpectedStatement);
      e = std::make_unique<Expr>(ExprKind::Name);
      e->line = cur().line;
      e->text = cur().text;
      e->name = cur().lower;
      advance();
    }
    return postfix(std::move(e));
  }

  ExprPtr member(ExprPtr object) {
    if (cur().kind != Tok::Name) fail(err::kExpectedIdentifier);
    auto m = std::make_unique<Expr>(ExprKind::Member);
    m->line = cur().line;
    m->text = cur().text;
    m->name = cur().lower;
    m->a = std::move(object);
    advance();
    return m;
  }

  ExprPtr postfix(ExprPtr e) {
    while (true) {
      if (is_op(".") && !cur().space_before) {
        advance();
        e = member(std::move(e));
      } else if (is_op("(")) {
        std::size_t open = p_;
        auto call = std::make_unique<Expr>(ExprKind::Call);
        call->line = cur().line;
        call->a = std::move(e);
        call->args = arguments();
        last_paren_ = open;
        last_paren_end_ = p_;
        e = std::move(call);
      } else {
        return e;
      }
    }
  }

  std::vector<ExprPtr> arguments() {
    DepthGuard guard(*this);
    advance();  // '('
    std::vector<ExprPtr> args;
    if (is_op(")")) {
      advance();
      return args;
    }
    while (true) {
      if (is_op(",") || is_op(")"))
        args.push_back(nullptr);
      else
        args.push_back(expression());
      if (!is_op(",")) break;
      advance();
    }
    expect_op(")", err::kExpectedRParen);
    return args;
  }

  ExprPtr binary(BinOp op, ExprPtr l, ExprPtr r) {
    auto e = std::make_unique<Expr>(ExprKind::Binary);
    e->line = l->line;
    e->op = op;
    e->a = std::move(l);
    e->b = std::move(r);
    return e;
  }

  using Level = ExprPtr (Parser::*)();
  ExprPtr left_assoc(Level next, std::initializer_list<std::pair<const char*, BinOp>> ops,
                     bool words) {
    ExprPtr l = (this->*next)();
    while (true) {
      bool matched = false;
      for (const auto& [text, op] : ops) {
        if (words ? is_kw(text) : is_op(text)) {
          advance();
          l = binary(op, std::move(l), (this->*next)());
          matched = true;
          break;
        }
      }
      if (!matched) return l;
    }
  }

 public:
  ExprPtr expression() {
    DepthGuard guard(*this);
    return imp_expr();
  }

 private:
  ExprPtr imp_expr() { return left_assoc(&Parser::eqv_expr, {{"imp", BinOp::Imp}}, true); }
  ExprPtr eqv_expr() { return left_assoc(&Parser::xor_expr, {{"eqv", BinOp::Eqv}}, true); }
  ExprPtr xor_expr() { return left_assoc(&Parser::or_expr, {{"xor", BinOp::Xor}}, true); }
  ExprPtr or_expr() { return left_assoc(&Parser::and_expr, {{"or", BinOp::Or}}, true); }
  ExprPtr and_expr() { return left_assoc(&Parser::not_expr, {{"and", BinOp::And}}, true); }
  ExprPtr not_expr() {
    if (is_kw("not")) {
      DepthGuard guard(*this);
      int line = cur().line;
      advance();
      auto e = std::make_unique<Expr>(ExprKind::Unary);
      e->line = line;
      e->negate = false;
      e->a = not_expr();
      return e;
    }
    return compare_expr();
  }
  ExprPtr compare_expr() {
    ExprPtr l = concat_expr();
    while (true) {
      BinOp op;
      if (is_kw("is"))
        op = BinOp::Is;
      else if (is_op("="))
        op = BinOp::Eq;
      else if (is_op("<>"))
        op = BinOp::Ne;
      else if (is_op("<"))
        op = BinOp::Lt;
      else if (is_op(">"))
        op = BinOp::Gt;
      else if (is_op("<="))
        op = BinOp::Le;
      else if (is_op(">="))
        op = BinOp::Ge;
      else
        return l;
      advance();
      l = binary(op, std::move(l), concat_expr());
    }
  }
  ExprPtr concat_expr() { return left_assoc(&Parser::add_expr, {{"&", BinOp::Concat}}, false); }
  ExprPtr add_expr() {
    return left_assoc(&Parser::mod_expr, {{"+", BinOp::Add}, {"-", BinOp::Sub}}, false);
  }
  ExprPtr mod_expr() { return left_assoc(&Parser::idiv_expr, {{"mod", BinOp::Mod}}, true); }
  ExprPtr idiv_expr() { return left_assoc(&Parser::mul_expr, {{"\\", BinOp::IntDiv}}, false); }
  ExprPtr mul_expr() {
    return left_assoc(&Parser::unary_expr, {{"*", BinOp::Mul}, {"/", BinOp::Div}}, false);
  }
  ExprPtr unary_expr() {
    if (is_op("-") || is_op("+")) {
      DepthGuard guard(*this);
      bool minus = is_op("-");
      int line = cur().line;
      advance();
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
  ExprPtr pow_expr() {
    ExprPtr l = primary();
    while (is_op("^")) {
      advance();
      ExprPtr r;
      if (is_op("-") || is_op("+")) {
        DepthGuard guard(*this);
        bool minus = is_op("-");
        advance();
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

  ExprPtr literal(Value v) {
    auto e = std::make_unique<Expr>(ExprKind::Literal);
    e->line = cur().line;
    e->value = std::move(v);
    advance();
    return e;
  }

  ExprPtr primary() {
    const Token& t = cur();
    switch (t.kind) {
      case Tok::Integer:
        return literal(Value::whole(static_cast<std::int64_t>(t.number)));
      case Tok::Float:
        return literal(Value::number(t.number));
      case Tok::String:
        return literal(Value::string(t.text));
      case Tok::Date: {
        double serial;
        if (!datetime::parse(t.text, serial)) fail(err::kSyntax, "Invalid date literal");
        return literal(Value::date(serial));
      }
      case Tok::Op:
        if (t.text == "(") {
          DepthGuard guard(*this);
          advance();
          auto e = std::make_unique<Expr>(ExprKind::Paren);
          e->line = t.line;
          e->a = expression();
          expect_op(")", err::kExpectedRParen);
          return postfix(std::move(e));
        }
        if (t.text == ".") {
          advance();
          return postfix(member(nullptr));
        }
        fail(err::kExpectedExpression);
      case Tok::Name: {
        const std::string& w = t.lower;
        if (w == "true") return literal(Value::boolean(true));
        if (w == "false") return literal(Value::boolean(false));
        if (w == "empty") return literal(Value());
        if (w == "null") return literal(Value::null());
        if (w == "nothing") return literal(Value::object(nullptr));
        if (w == "new") fail(err::kUnsupported, "Class is not supported by this engine");
        if (kReserved.count(w)) fail(err::kExpectedExpression);
        auto e = std::make_unique<Expr>(ExprKind::Name);
        e->line = t.line;
        e->text = t.text;
        e->name = w;
        advance();
        return postfix(std::move(e));
      }
      default:
        fail(err::kExpectedExpression);
    }
  }

  std::vector<Token> t_;
  std::size_t p_ = 0;
  int chunk_;
  int depth_ = 0;
  int single_line_if_ = 0;
  std::size_t last_paren_ = std::string::npos;
  std::size_t last_paren_end_ = 0;
  std::map<std::string, int> open_loops_;
  Procedure* proc_ = nullptr;
  Program prog_;
};

}  // namespace

Program parse(std::string_view source, int chunk) {
  try {
    Parser parser(tokenize(source), chunk);
    return parser.run();
  } catch (const LexError& e) {
    throw ParseError{e.number, std::string(error_text(e.number)), e.line, e.column};
  } catch (const Fail& f) {
    throw ParseError{f.number, f.description, f.line, f.column};
  }
}

}  // namespace ralvek::vbscript

#include "parser.h"

#include <algorithm>
#include <functional>
#include <map>
#include <set>

#include "datetime.h"
#include "errors.h"
#include "lexer.h"
#include "parser_impl.h"

namespace ralvek::vbscript {

namespace parsing {

namespace {
const std::set<std::string, std::less<>> kReserved = {
    "and",    "byref",    "byval",   "call",  "case", "class",  "const", "dim",      "do",
    "each",   "else",     "elseif",  "empty", "end",  "eqv",    "erase", "exit",     "false",
    "for",    "function", "if",      "imp",   "in",   "is",     "loop",  "mod",      "new",
    "next",   "not",      "nothing", "null",  "on",   "option", "or",    "preserve", "private",
    "public", "redim",    "select",  "set",   "sub",  "then",   "to",    "true",     "until",
    "wend",   "while",    "with",    "xor",   "let",  "me"};

}  // namespace

bool is_reserved(std::string_view word) {
  return kReserved.count(word) > 0;
}

}  // namespace parsing

namespace {

using namespace parsing;

// Statements, procedures and the program, over the shared cursor.
class Parser : Cursor {
 public:
  Parser(TokenList tokens, int chunk) : Cursor(std::move(tokens)), chunk_(chunk) {}

  Program run() {
    while (true) {
      skip_eols();
      if (cur().kind == Tok::End) break;
      top_level_item();
    }
    return std::move(prog_);
  }

 private:
  ExprPtr expression() { return expr_.expression(); }
  ExprPtr chain() { return expr_.chain(); }
  ExprPtr concat_expr() { return expr_.concat_expr(); }

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
      if (is_reserved(w)) fail(err::kExpectedStatement);
      return assignment_or_call(line);
    }
    if (is_op(".")) return assignment_or_call(line);
    fail(err::kExpectedStatement);
  }

  // True inside a procedure whose locals or parameters already hold `name`.
  bool known_in_proc(const std::string& name) const {
    return proc_ &&
           (std::find(proc_->locals.begin(), proc_->locals.end(), name) != proc_->locals.end() ||
            std::any_of(proc_->params.begin(), proc_->params.end(),
                        [&](const Param& p) { return p.name == name; }));
  }

  void declare_local(const std::string& name) {
    if (proc_) {
      if (known_in_proc(name)) fail(err::kNameRedefined);
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
          // Dim takes numbers only; ReDim takes expressions.
          if (cur().kind != Tok::Integer ||
              !(ahead().kind == Tok::Op && (ahead().text == "," || ahead().text == ")")))
            fail(err::kExpectedInteger);
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
      if (proc_ && !known_in_proc(item.name)) proc_->locals.push_back(item.name);
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
    if (cur().kind != Tok::Name || is_reserved(cur().lower)) fail(err::kInvalidForVariable);
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
    } else if (target->kind == ExprKind::Call && target->args.size() > 1 && last_paren_end_ == p_) {
      fail(err::kParensOnSubCall);
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

  int chunk_;
  std::map<std::string, int> open_loops_;
  Procedure* proc_ = nullptr;
  Program prog_;
  ExprParser expr_{*this};
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

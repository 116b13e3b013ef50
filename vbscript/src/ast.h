// The parsed script: expressions, statements, procedures. Names are stored case-folded.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ops.h"
#include "value.h"

namespace ralvek::vbscript {

struct Expr;
struct Stmt;
using ExprPtr = std::unique_ptr<Expr>;
using StmtPtr = std::unique_ptr<Stmt>;
using Block = std::vector<StmtPtr>;

enum class ExprKind { Literal, Name, Member, Call, Unary, Binary, Paren };

struct Expr {
  ExprKind kind;
  int line = 0;
  // Literal
  Value value;
  // Name, Member: the case-folded name; `text` keeps the spelling for messages
  std::string name;
  std::string text;
  // Member: object (null inside With: the With object); Call: target; Unary/Paren: operand;
  // Binary: left
  ExprPtr a;
  ExprPtr b;  // Binary: right
  BinOp op = BinOp::Add;
  bool negate = false;        // Unary: '-' (true) or Not (false)
  std::vector<ExprPtr> args;  // Call: arguments; a null entry is an omitted argument
  explicit Expr(ExprKind k) : kind(k) {}
  ~Expr();
  // The tree counts against the memory bound, so no text can parse into more than it allows.
  static void* operator new(std::size_t size) { return tracked_new(size); }
  static void operator delete(void* p, std::size_t size) noexcept { tracked_delete(p, size); }
  Expr(const Expr&) = delete;
  Expr& operator=(const Expr&) = delete;
};

// A chain of a million operators must not take a million native frames to go: the children are
// taken apart one after the other.
inline Expr::~Expr() {
  std::vector<ExprPtr> doomed;
  auto take = [&doomed](Expr& e) {
    if (e.a) doomed.push_back(std::move(e.a));
    if (e.b) doomed.push_back(std::move(e.b));
    for (ExprPtr& arg : e.args)
      if (arg) doomed.push_back(std::move(arg));
  };
  take(*this);
  while (!doomed.empty()) {
    ExprPtr e = std::move(doomed.back());
    doomed.pop_back();
    take(*e);
  }
}

enum class StmtKind {
  Assign,
  Set,
  Call,
  Dim,
  ReDim,
  Const,
  If,
  Select,
  For,
  ForEach,
  Do,
  With,
  Exit,
  OnError,
  Erase,
};

enum class ExitKind { Do, For, Sub, Function };
enum class LoopTest { None, WhileBefore, UntilBefore, WhileAfter, UntilAfter };
enum class CaseTestKind { Value, Range, Is };

struct DimItem {
  std::string name;
  std::string text;
  bool is_array = false;
  std::vector<ExprPtr> bounds;  // empty with is_array: a dynamic array `Dim a()`
};

struct CaseTest {
  CaseTestKind kind = CaseTestKind::Value;
  BinOp op = BinOp::Eq;  // Is
  ExprPtr a, b;          // Range: a To b
};

struct CaseClause {
  std::vector<CaseTest> tests;  // empty: Case Else
  Block body;
};

struct Branch {
  ExprPtr condition;  // null: Else
  Block body;
};

struct Stmt {
  StmtKind kind;
  int line = 0;
  ExprPtr target;    // Assign/Set: target; Call: the call; Select: subject; With: object; For: from
  ExprPtr value;     // Assign/Set: value; For: to; ForEach: collection; Do: condition
  ExprPtr step;      // For
  std::string name;  // For/ForEach: loop variable; Erase: array
  std::string text;
  std::vector<DimItem> dims;      // Dim, ReDim (bounds), Const (bounds[0] = value)
  bool flag = false;              // ReDim: Preserve; OnError: Resume Next
  std::vector<Branch> branches;   // If
  std::vector<CaseClause> cases;  // Select
  Block body;                     // loops, With
  ExitKind exit = ExitKind::Sub;
  LoopTest test = LoopTest::None;
  Stmt(StmtKind k, int l) : kind(k), line(l) {}
  static void* operator new(std::size_t size) { return tracked_new(size); }
  static void operator delete(void* p, std::size_t size) noexcept { tracked_delete(p, size); }
};

struct Param {
  std::string name;
  bool by_ref = true;
};

struct Procedure {
  std::string name;
  std::string text;
  bool is_function = false;
  std::vector<Param> params;
  std::vector<std::string> locals;  // names declared with Dim/Const/ReDim inside the body
  Block body;
  int line = 0;
  int chunk = 0;
};

struct Program {
  std::vector<std::shared_ptr<Procedure>> procedures;
  Block body;                        // top-level statements
  std::vector<std::string> globals;  // names declared at top level (they exist from the start)
  bool option_explicit = false;
};

}  // namespace ralvek::vbscript

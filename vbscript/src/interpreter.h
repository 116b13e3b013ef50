// Runs parsed programs: variables and scopes, procedure calls, statements, On Error Resume Next.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "ast.h"
#include "parser.h"
#include "runtime.h"

namespace ralvek::vbscript {

class Interpreter {
 public:
  Interpreter();
  ~Interpreter();

  void set_max_call_depth(int depth) { max_depth_ = depth; }

  // Defines the program's procedures (ParseError 1041 when a name is already defined) and runs
  // its top-level statements; a run-time error leaves as a VbError with its line and chunk.
  void add(std::unique_ptr<Program> program, int chunk);

  // Calls a procedure by name; throws VbError (kSubNotDefined when there is none).
  Value call(std::string_view name, std::vector<Value> args);

  Runtime& runtime() { return rt_; }

 private:
  struct Var {
    Value value;
    Value* ref = nullptr;
    bool is_const = false;
    bool fixed_array = false;  // declared with bounds (`Dim a(3)`): Erase clears, ReDim refuses
    Value& get() { return ref ? *ref : value; }
  };
  using Scope = std::unordered_map<std::string, Var>;
  struct Frame {
    Scope locals;
    const Procedure* proc = nullptr;  // null: top-level code
    bool resume_next = false;
    std::vector<Value> with;
    int chunk = 0;
  };
  enum class Flow { Normal, ExitDo, ExitFor, ExitProc };

  Flow exec_block(const Block& block, Frame& fr);
  Flow exec(const Stmt& s, Frame& fr);
  Flow exec_if(const Stmt& s, Frame& fr);
  Flow exec_select(const Stmt& s, Frame& fr);
  Flow exec_for(const Stmt& s, Frame& fr);
  Flow exec_for_each(const Stmt& s, Frame& fr);
  Flow exec_do(const Stmt& s, Frame& fr);
  void exec_dim(const Stmt& s, Frame& fr);
  void exec_redim(const Stmt& s, Frame& fr);
  void exec_const(const Stmt& s, Frame& fr);
  void exec_assign(const Stmt& s, Frame& fr);
  void exec_call(const Stmt& s, Frame& fr);

  Value eval(const Expr& e, Frame& fr);
  Value eval_name(const Expr& e, Frame& fr);
  Value eval_call(const Expr& e, Frame& fr);
  Value eval_binary(const Expr& e, Frame& fr);
  Value eval_chain(const Expr& e, Frame& fr);
  Value apply_link(const Expr& link, const Value& held, const Expr* before, Frame& fr);
  ObjectRef as_object(const Value& v, const Expr* from, std::string_view what);
  std::vector<Value> eval_args(const std::vector<ExprPtr>& args, Frame& fr);
  ObjectRef object_of(const Expr* e, Frame& fr, std::string_view what);
  Value index(const Value& array, const std::vector<Value>& args);
  bool truthy(const Value& v);

  Var* find_var(const std::string& name, Frame& fr);
  Var& declare(const std::string& name, Frame& fr);
  Var& var_for_write(const Expr& name_expr, Frame& fr);
  bool is_callable_name(const std::string& name) const;

  Value call_procedure(const Procedure& p, std::vector<Var> args);
  std::vector<Var> bind_args(const Procedure& p, const std::vector<ExprPtr>& args, Frame& fr);
  std::shared_ptr<Array> make_array(const std::vector<ExprPtr>& bounds, Frame& fr);
  void tick();

  Runtime rt_;
  Scope globals_;
  std::unordered_map<std::string, std::shared_ptr<Procedure>> procs_;
  std::vector<std::unique_ptr<Program>> programs_;
  bool option_explicit_ = false;
  int depth_ = 0;
  int max_depth_ = 400;
  unsigned steps_ = 0;
};

}  // namespace ralvek::vbscript

#include "interpreter.h"

#include <cmath>

#include "budget.h"
#include "ops.h"
#include "shell.h"
#include "stack.h"

namespace ralvek::vbscript {

namespace {

struct DepthCount {
  DepthCount(int& depth, int limit) : depth(depth) {
    if (++depth > limit) {
      --depth;
      raise_fatal(err::kOutOfStack, "Out of stack space (more than " + std::to_string(limit) +
                                        " nested procedure calls)");
    }
  }
  ~DepthCount() { --depth; }
  int& depth;
};

// Every recursion of the interpreter passes here.
void check_stack() {
  if (!stack::has_room())
    raise_fatal(err::kOutOfStack,
                "Out of stack space (the script nests calls and blocks too deeply)");
}

// A short list that lives on the stack until it grows long.
template <class T, std::size_t N = 16>
class SmallStack {
 public:
  void push(T item) {
    if (size_ < N)
      local_[size_] = item;
    else
      more_.push_back(item);
    ++size_;
  }
  bool empty() const { return size_ == 0; }
  T pop() {
    --size_;
    if (size_ < N) return local_[size_];
    T item = more_.back();
    more_.pop_back();
    return item;
  }

 private:
  T local_[N] = {};
  std::vector<T> more_;
  std::size_t size_ = 0;
};

std::string quoted(std::string_view text) {
  std::string out = "'";
  out += text;
  out += '\'';
  return out;
}

// An object's "no such member" error gains the member's name as the script spells it.
template <class Fn>
auto naming_member(const Expr& member, Fn&& fn) -> decltype(fn()) {
  try {
    return fn();
  } catch (VbError& e) {
    if (e.number == err::kNoSuchMember && e.description == error_text(err::kNoSuchMember))
      e.description += ": " + quoted(member.text);
    throw;
  }
}

}  // namespace

Interpreter::Interpreter() {
  rt_.children = std::make_shared<ChildProcesses>();
}
Interpreter::~Interpreter() = default;

void Interpreter::tick() {
  if ((++steps_ & 127u) == 0) budget::check_deadline();
}

// ---------------------------------------------------------------- entry points

void Interpreter::add(std::unique_ptr<Program> program, int chunk) {
  for (const auto& p : program->procedures)
    if (procs_.count(p->name) || globals_.count(p->name))
      throw ParseError{err::kNameRedefined, std::string(error_text(err::kNameRedefined)), p->line,
                       1};
  for (const auto& p : program->procedures) procs_[p->name] = p;
  for (const std::string& name : program->globals) globals_.try_emplace(name);
  if (program->option_explicit) option_explicit_ = true;
  programs_.push_back(std::move(program));
  rt_.err->clear();
  Frame top;
  top.chunk = chunk;
  exec_block(programs_.back()->body, top);
}

Value Interpreter::call(std::string_view name, std::vector<Value> args) {
  std::string lower(name);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  auto it = procs_.find(lower);
  if (it == procs_.end()) raise_named(err::kSubNotDefined, name);
  const Procedure& p = *it->second;
  if (args.size() != p.params.size()) raise_named(err::kWrongArgCount, p.text);
  rt_.err->clear();
  std::vector<Var> bound(args.size());
  for (std::size_t i = 0; i < args.size(); ++i) bound[i].value = std::move(args[i]);
  return call_procedure(p, std::move(bound));
}

// ---------------------------------------------------------------- variables

Interpreter::Var* Interpreter::find_var(const std::string& name, Frame& fr) {
  if (fr.proc) {
    auto it = fr.locals.find(name);
    if (it != fr.locals.end()) return &it->second;
  }
  auto it = globals_.find(name);
  return it == globals_.end() ? nullptr : &it->second;
}

Interpreter::Var& Interpreter::declare(const std::string& name, Frame& fr) {
  Scope& scope = fr.proc ? fr.locals : globals_;
  return scope[name];
}

bool Interpreter::is_callable_name(const std::string& name) const {
  return procs_.count(name) || find_builtin(name) || find_constant(name) || name == "err";
}

Interpreter::Var& Interpreter::var_for_write(const Expr& e, Frame& fr) {
  if (Var* v = find_var(e.name, fr)) {
    if (v->is_const) raise_named(err::kIllegalAssignment, e.text);
    return *v;
  }
  if (is_callable_name(e.name)) raise_named(err::kIllegalAssignment, e.text);
  if (option_explicit_) raise_named(err::kVariableUndefined, e.text);
  return declare(e.name, fr);
}

// ---------------------------------------------------------------- calls

std::vector<Interpreter::Var> Interpreter::bind_args(const Procedure& p,
                                                     const std::vector<ExprPtr>& args, Frame& fr) {
  if (args.size() != p.params.size()) raise_named(err::kWrongArgCount, p.text);
  std::vector<Var> out(args.size());
  for (std::size_t i = 0; i < args.size(); ++i) {
    const Expr* a = args[i].get();
    if (!a) continue;  // an omitted argument arrives Empty
    if (p.params[i].by_ref && a->kind == ExprKind::Name) {
      Var* v = find_var(a->name, fr);
      if (!v && !is_callable_name(a->name)) {
        if (option_explicit_) raise_named(err::kVariableUndefined, a->text);
        v = &declare(a->name, fr);
      }
      if (v && !v->is_const) {
        out[i].ref = &v->get();
        continue;
      }
    }
    out[i].value = eval(*a, fr);
  }
  return out;
}

Value Interpreter::call_procedure(const Procedure& p, std::vector<Var> args) {
  DepthCount depth(depth_, max_depth_);
  check_stack();
  Frame fr;
  fr.proc = &p;
  fr.chunk = p.chunk;
  for (std::size_t i = 0; i < p.params.size(); ++i)
    fr.locals.emplace(p.params[i].name, std::move(args[i]));
  for (const std::string& name : p.locals) fr.locals.try_emplace(name);
  if (p.is_function) fr.locals.try_emplace(p.name);
  exec_block(p.body, fr);
  if (!p.is_function) return Value();
  return std::move(fr.locals[p.name].get());
}

// ---------------------------------------------------------------- statements

Interpreter::Flow Interpreter::exec_block(const Block& block, Frame& fr) {
  for (const StmtPtr& stmt : block) {
    tick();
    Flow flow = Flow::Normal;
    VbError caught;
    try {
      flow = exec(*stmt, fr);
      if (flow != Flow::Normal) return flow;
      continue;
    } catch (VbError& e) {
      if (e.line == 0) {
        e.line = stmt->line;
        e.chunk = fr.chunk;
      }
      // Passed on as it is: an error leaving deep nesting is not copied at every level.
      if (e.fatal || !fr.resume_next) throw;
      caught = std::move(e);
    } catch (const std::bad_alloc&) {
      caught = VbError{err::kOutOfMemory,
                       "Out of memory (the script's strings and arrays reached their memory limit)",
                       {},
                       true,
                       0,
                       -1};
    } catch (const std::exception& ex) {
      caught = VbError{err::kInternal,
                       std::string(error_text(err::kInternal)) + ": " + ex.what(),
                       {},
                       false,
                       0,
                       -1};
    }
    if (caught.line == 0) {
      caught.line = stmt->line;
      caught.chunk = fr.chunk;
    }
    if (caught.fatal || !fr.resume_next) throw caught;
    rt_.err->set(caught);
  }
  return Flow::Normal;
}

Interpreter::Flow Interpreter::exec(const Stmt& s, Frame& fr) {
  check_stack();
  switch (s.kind) {
    case StmtKind::Assign:
    case StmtKind::Set:
      exec_assign(s, fr);
      return Flow::Normal;
    case StmtKind::Call:
      exec_call(s, fr);
      return Flow::Normal;
    case StmtKind::Dim:
      exec_dim(s, fr);
      return Flow::Normal;
    case StmtKind::ReDim:
      exec_redim(s, fr);
      return Flow::Normal;
    case StmtKind::Const:
      exec_const(s, fr);
      return Flow::Normal;
    case StmtKind::If:
      return exec_if(s, fr);
    case StmtKind::Select:
      return exec_select(s, fr);
    case StmtKind::For:
      return exec_for(s, fr);
    case StmtKind::ForEach:
      return exec_for_each(s, fr);
    case StmtKind::Do:
      return exec_do(s, fr);
    case StmtKind::With: {
      ObjectRef obj = object_of(s.target.get(), fr, "With");
      fr.with.push_back(Value::object(obj));
      struct Pop {
        std::vector<Value>& w;
        ~Pop() { w.pop_back(); }
      } pop{fr.with};
      return exec_block(s.body, fr);
    }
    case StmtKind::Exit:
      switch (s.exit) {
        case ExitKind::Do:
          return Flow::ExitDo;
        case ExitKind::For:
          return Flow::ExitFor;
        default:
          return Flow::ExitProc;
      }
    case StmtKind::OnError:
      fr.resume_next = s.flag;
      rt_.err->clear();
      return Flow::Normal;
    case StmtKind::Erase: {
      Var* v = find_var(s.name, fr);
      if (!v || !v->get().is_array()) raise_named(err::kTypeMismatch, s.text);
      if (!v->fixed_array) {
        // A dynamic array is released: it has no elements until the next ReDim.
        v->get() = Value::array(std::make_shared<Array>());
        return Flow::Normal;
      }
      Array& a = v->get().array_mut();
      for (Value& item : a.items) item = Value();
      return Flow::Normal;
    }
  }
  return Flow::Normal;
}

bool Interpreter::truthy(const Value& v) {
  Value s = scalar(v);
  if (s.is_null() || s.is_empty()) return false;
  return to_bool(s);
}

Interpreter::Flow Interpreter::exec_if(const Stmt& s, Frame& fr) {
  for (const Branch& b : s.branches) {
    bool take = true;
    if (b.condition) {
      try {
        take = truthy(eval(*b.condition, fr));
      } catch (VbError& e) {
        // VBScript resumes inside the branch whose condition failed.
        if (e.fatal || !fr.resume_next) throw;
        rt_.err->set(e);
        take = true;
      }
    }
    if (take) return exec_block(b.body, fr);
  }
  return Flow::Normal;
}

Interpreter::Flow Interpreter::exec_select(const Stmt& s, Frame& fr) {
  Value subject = eval(*s.target, fr);
  for (const CaseClause& c : s.cases) {
    bool match = c.tests.empty();
    for (const CaseTest& t : c.tests) {
      Value a = eval(*t.a, fr);
      bool lit = t.a->kind == ExprKind::Literal;
      switch (t.kind) {
        case CaseTestKind::Value:
          match = truthy(binary(BinOp::Eq, subject, a, false, lit));
          break;
        case CaseTestKind::Range: {
          Value b = eval(*t.b, fr);
          match = truthy(binary(BinOp::Ge, subject, a, false, lit)) &&
                  truthy(binary(BinOp::Le, subject, b, false, t.b->kind == ExprKind::Literal));
          break;
        }
        case CaseTestKind::Is:
          match = truthy(binary(t.op, subject, a, false, lit));
          break;
      }
      if (match) break;
    }
    if (match) return exec_block(c.body, fr);
  }
  return Flow::Normal;
}

Interpreter::Flow Interpreter::exec_for(const Stmt& s, Frame& fr) {
  Expr name_expr(ExprKind::Name);
  name_expr.name = s.name;
  name_expr.text = s.text;
  Value from = scalar(eval(*s.target, fr));
  Value to = scalar(eval(*s.value, fr));
  Value step = s.step ? scalar(eval(*s.step, fr)) : Value::integer(1);
  double to_d = to_double(to);
  double step_d = to_double(step);
  to_double(from);
  Var& var = var_for_write(name_expr, fr);
  var.get() = from;
  while (true) {
    tick();
    double current = to_double(var.get());
    if (step_d >= 0 ? current > to_d : current < to_d) break;
    Flow flow = exec_block(s.body, fr);
    if (flow == Flow::ExitFor) break;
    if (flow != Flow::Normal) return flow;
    var.get() = binary(BinOp::Add, var.get(), step);
  }
  return Flow::Normal;
}

Interpreter::Flow Interpreter::exec_for_each(const Stmt& s, Frame& fr) {
  Expr name_expr(ExprKind::Name);
  name_expr.name = s.name;
  name_expr.text = s.text;
  Value group = eval(*s.value, fr);
  std::vector<Value> items;
  if (group.is_array()) {
    std::shared_ptr<Array> snapshot = group.array_ptr();
    for (const Value& v : snapshot->items) items.push_back(v);
  } else if (group.is_object()) {
    if (!group.as_object()) raise(err::kObjectNotSet);
    items = group.as_object()->elements();
  } else {
    raise(err::kNotACollection);
  }
  Var& var = var_for_write(name_expr, fr);
  for (Value& item : items) {
    tick();
    var.get() = std::move(item);
    Flow flow = exec_block(s.body, fr);
    if (flow == Flow::ExitFor) break;
    if (flow != Flow::Normal) return flow;
  }
  return Flow::Normal;
}

Interpreter::Flow Interpreter::exec_do(const Stmt& s, Frame& fr) {
  while (true) {
    tick();
    if (s.test == LoopTest::WhileBefore && !truthy(eval(*s.value, fr))) break;
    if (s.test == LoopTest::UntilBefore && truthy(eval(*s.value, fr))) break;
    Flow flow = exec_block(s.body, fr);
    if (flow == Flow::ExitDo) break;
    if (flow != Flow::Normal) return flow;
    if (s.test == LoopTest::WhileAfter && !truthy(eval(*s.value, fr))) break;
    if (s.test == LoopTest::UntilAfter && truthy(eval(*s.value, fr))) break;
  }
  return Flow::Normal;
}

std::shared_ptr<Array> Interpreter::make_array(const std::vector<ExprPtr>& bounds, Frame& fr) {
  auto a = std::make_shared<Array>();
  std::size_t count = 1;
  const std::size_t limit = budget::current().max_array_elements;
  for (const ExprPtr& b : bounds) {
    std::int32_t upper = to_long(eval(*b, fr));
    if (upper < -1) raise(err::kSubscript);
    a->upper.push_back(upper);
    count *= static_cast<std::size_t>(upper) + 1;
    if (limit != 0 && count > limit)
      raise_fatal(err::kOutOfMemory, "Out of memory (an array may hold at most " +
                                         std::to_string(limit) + " elements)");
  }
  if (bounds.empty()) count = 0;
  a->items.resize(count);
  return a;
}

void Interpreter::exec_dim(const Stmt& s, Frame& fr) {
  for (const DimItem& d : s.dims) {
    Var& v = declare(d.name, fr);
    if (d.is_array) {
      v.get() = Value::array(make_array(d.bounds, fr));
      v.fixed_array = !d.bounds.empty();
    }
  }
}

void Interpreter::exec_redim(const Stmt& s, Frame& fr) {
  for (const DimItem& d : s.dims) {
    Var* v = find_var(d.name, fr);
    if (!v) {
      if (option_explicit_) raise_named(err::kVariableUndefined, d.text);
      v = &declare(d.name, fr);
    }
    if (v->fixed_array) raise(err::kFixedArray);
    std::shared_ptr<Array> fresh = make_array(d.bounds, fr);
    Value& target = v->get();
    if (s.flag && target.is_array() && !target.array_ref().upper.empty()) {
      const Array& old = target.array_ref();
      if (old.upper.size() != fresh->upper.size()) raise(err::kSubscript);
      for (std::size_t i = 0; i + 1 < old.upper.size(); ++i)
        if (old.upper[i] != fresh->upper[i]) raise(err::kSubscript);
      std::size_t keep = std::min(old.items.size(), fresh->items.size());
      for (std::size_t i = 0; i < keep; ++i) fresh->items[i] = old.items[i];
    }
    target = Value::array(std::move(fresh));
  }
}

void Interpreter::exec_const(const Stmt& s, Frame& fr) {
  for (const DimItem& d : s.dims) {
    Value value = scalar(eval(*d.bounds[0], fr));
    Var& v = declare(d.name, fr);
    v.value = std::move(value);
    v.ref = nullptr;
    v.is_const = true;
  }
}

void Interpreter::exec_assign(const Stmt& s, Frame& fr) {
  bool is_set = s.kind == StmtKind::Set;
  Value value = eval(*s.value, fr);
  if (is_set) {
    if (!value.is_object()) raise(err::kObjectRequired);
  } else if (value.is_object()) {
    value = scalar(value);
  }
  const Expr& t = *s.target;
  switch (t.kind) {
    case ExprKind::Name:
      var_for_write(t, fr).get() = std::move(value);
      return;
    case ExprKind::Member: {
      ObjectRef obj = object_of(t.a.get(), fr, t.text);
      std::vector<Value> none;
      naming_member(t, [&] { obj->assign(t.name, none, value); });
      return;
    }
    case ExprKind::Call: {
      const Expr& target = *t.a;
      std::vector<Value> args = eval_args(t.args, fr);
      if (target.kind == ExprKind::Member) {
        ObjectRef obj = object_of(target.a.get(), fr, target.text);
        naming_member(target, [&] { obj->assign(target.name, args, value); });
        return;
      }
      if (target.kind == ExprKind::Name) {
        Var* v = find_var(target.name, fr);
        if (!v) {
          if (option_explicit_) raise_named(err::kVariableUndefined, target.text);
          raise_named(err::kTypeMismatch, target.text);
        }
        Value& holder = v->get();
        if (holder.is_array()) {
          std::vector<std::int32_t> index;
          for (const Value& a : args) index.push_back(to_long(a));
          Array& arr = holder.array_mut();
          arr.items[arr.offset(index)] = std::move(value);
          return;
        }
        if (holder.is_object() && holder.as_object()) {
          holder.as_object()->assign("", args, value);
          return;
        }
        raise_named(err::kTypeMismatch, target.text);
      }
      raise(err::kIllegalAssignment);
    }
    default:
      raise(err::kIllegalAssignment);
  }
}

void Interpreter::exec_call(const Stmt& s, Frame& fr) {
  const Expr& t = *s.target;
  if (t.kind == ExprKind::Name && !find_var(t.name, fr) && !is_callable_name(t.name)) {
    if (option_explicit_) raise_named(err::kVariableUndefined, t.text);
    raise_named(err::kTypeMismatch, t.text);
  }
  eval(t, fr);
}

// ---------------------------------------------------------------- expressions

Value Interpreter::eval(const Expr& e, Frame& fr) {
  check_stack();
  switch (e.kind) {
    case ExprKind::Literal:
      return e.value;
    case ExprKind::Paren:
      return eval(*e.a, fr);
    case ExprKind::Name:
      return eval_name(e, fr);
    case ExprKind::Call:
      if (e.a->kind == ExprKind::Name) return eval_call(e, fr);
      return eval_chain(e, fr);
    case ExprKind::Member:
      return eval_chain(e, fr);
    case ExprKind::Unary: {
      Value v = eval(*e.a, fr);
      return e.negate ? negate(v) : logical_not(v);
    }
    case ExprKind::Binary:
      return eval_binary(e, fr);
  }
  return Value();
}

// `1 + 2 + 3 ...` leans left: the left operands are walked in a loop, so a flat chain of any
// length takes one native frame. Right operands nest only through brackets, which the parser
// bounds.
Value Interpreter::eval_binary(const Expr& e, Frame& fr) {
  SmallStack<const Expr*> spine;
  const Expr* left = &e;
  while (left->kind == ExprKind::Binary) {
    spine.push(left);
    left = left->a.get();
  }
  Value acc = eval(*left, fr);
  while (!spine.empty()) {
    const Expr& node = *spine.pop();
    tick();
    Value r = eval(*node.b, fr);
    acc = binary(node.op, acc, r, node.a->kind == ExprKind::Literal,
                 node.b->kind == ExprKind::Literal);
  }
  return acc;
}

// `a(0)(1).b.c(2)`: the links of a chain are applied from its start in a loop, so that a chain of
// any length takes one native frame.
Value Interpreter::eval_chain(const Expr& e, Frame& fr) {
  SmallStack<const Expr*> links;
  const Expr* start = &e;
  while (start) {
    const Expr* inner;
    if (start->kind == ExprKind::Member)
      inner = start->a.get();
    else if (start->kind == ExprKind::Call && start->a->kind == ExprKind::Member)
      inner = start->a->a.get();
    else if (start->kind == ExprKind::Call && start->a->kind != ExprKind::Name)
      inner = start->a.get();
    else
      break;
    links.push(start);
    start = inner;
  }
  Value held;
  if (start) {
    held = eval(*start, fr);
  } else {
    if (fr.with.empty()) raise(err::kObjectRequired);
    held = fr.with.back();
  }
  const Expr* before = start;  // what produced `held`; null: the With object
  while (!links.empty()) {
    const Expr& link = *links.pop();
    tick();
    held = apply_link(link, held, before, fr);
    before = &link;
  }
  return held;
}

// One link of a chain applied to the value before it: a member, a method call or an index.
Value Interpreter::apply_link(const Expr& link, const Value& held, const Expr* before, Frame& fr) {
  if (link.kind == ExprKind::Member) {
    ObjectRef obj = as_object(held, before, link.text);
    std::vector<Value> none;
    return naming_member(link, [&] { return obj->call(link.name, none); });
  }
  const Expr& target = *link.a;
  if (target.kind == ExprKind::Member) {
    ObjectRef obj = as_object(held, before, target.text);
    std::vector<Value> args = eval_args(link.args, fr);
    return naming_member(target, [&] { return obj->call(target.name, args); });
  }
  if (held.is_array()) return index(held, eval_args(link.args, fr));
  if (held.is_object() && held.as_object()) {
    ObjectRef obj = held.as_object();
    std::vector<Value> args = eval_args(link.args, fr);
    return obj->call("", args);
  }
  raise(err::kTypeMismatch);
}

Value Interpreter::eval_name(const Expr& e, Frame& fr) {
  if (Var* v = find_var(e.name, fr)) return v->get();
  auto p = procs_.find(e.name);
  if (p != procs_.end()) return call_procedure(*p->second, bind_args(*p->second, {}, fr));
  if (const Value* c = find_constant(e.name)) return *c;
  if (e.name == "err") return Value::object(rt_.err);
  if (const Builtin* b = find_builtin(e.name)) {
    if (b->min_args > 0) raise_named(err::kWrongArgCount, e.text);
    std::vector<Value> none;
    return b->fn(rt_, none);
  }
  if (option_explicit_) raise_named(err::kVariableUndefined, e.text);
  return Value();
}

std::vector<Value> Interpreter::eval_args(const std::vector<ExprPtr>& args, Frame& fr) {
  std::vector<Value> out;
  out.reserve(args.size());
  for (const ExprPtr& a : args) out.push_back(a ? eval(*a, fr) : Value());
  return out;
}

Value Interpreter::index(const Value& array, const std::vector<Value>& args) {
  if (!array.is_array()) raise(err::kTypeMismatch);  // the arguments changed the variable
  std::vector<std::int32_t> idx;
  idx.reserve(args.size());
  for (const Value& a : args) idx.push_back(to_long(a));
  const Array& arr = array.array_ref();
  return arr.items[arr.offset(idx)];
}

Value Interpreter::eval_call(const Expr& e, Frame& fr) {
  const Expr& target = *e.a;
  if (target.kind == ExprKind::Name) {
    const std::string& name = target.name;
    bool self_call = fr.proc && fr.proc->is_function && fr.proc->name == name;
    if (!self_call) {
      if (Var* v = find_var(name, fr)) {
        Value& held = v->get();
        if (held.is_array()) return index(held, eval_args(e.args, fr));
        if (held.is_object() && held.as_object()) {
          ObjectRef obj = held.as_object();  // the arguments may change the variable
          std::vector<Value> args = eval_args(e.args, fr);
          return obj->call("", args);
        }
        if (e.args.empty()) return held;
        raise_named(err::kTypeMismatch, target.text);
      }
    }
    auto p = procs_.find(name);
    if (p != procs_.end()) return call_procedure(*p->second, bind_args(*p->second, e.args, fr));
    if (const Builtin* b = find_builtin(name)) {
      int n = static_cast<int>(e.args.size());
      if (n < b->min_args || n > b->max_args) raise_named(err::kWrongArgCount, target.text);
      std::vector<Value> args = eval_args(e.args, fr);
      return b->fn(rt_, args);
    }
    if (name == "err" && e.args.empty()) return Value::object(rt_.err);
    if (option_explicit_) raise_named(err::kVariableUndefined, target.text);
    raise_named(err::kTypeMismatch, target.text);
  }
  return eval_chain(e, fr);
}

ObjectRef Interpreter::object_of(const Expr* e, Frame& fr, std::string_view what) {
  Value v;
  if (e) {
    v = eval(*e, fr);
  } else {
    if (fr.with.empty()) raise(err::kObjectRequired);
    v = fr.with.back();
  }
  return as_object(v, e, what);
}

ObjectRef Interpreter::as_object(const Value& v, const Expr* from, std::string_view what) {
  if (from && from->kind == ExprKind::Name) what = from->text;
  if (!v.is_object())
    raise(err::kObjectRequired,
          std::string(error_text(err::kObjectRequired)) + ": " + quoted(what));
  if (!v.as_object()) raise(err::kObjectNotSet);
  return v.as_object();
}

}  // namespace ralvek::vbscript

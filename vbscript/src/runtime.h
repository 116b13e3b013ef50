// What built-in functions reach besides their arguments: the Err object, started programs, the
// random-number state.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "errors.h"
#include "value.h"

namespace ralvek::vbscript {

class ChildProcesses;

// The Err object. Its default member is Number.
class ErrObject : public Object {
 public:
  std::string_view type_name() const override { return "Object"; }
  Value call(std::string_view member, std::vector<Value>& args) override;
  void assign(std::string_view member, std::vector<Value>& args, const Value& value) override;
  Value default_value() override { return Value::long_(number_); }

  void set(const VbError& e);
  void clear();
  std::int32_t number() const { return number_; }

 private:
  std::int32_t number_ = 0;
  std::string description_;
  std::string source_;
};

struct Runtime {
  std::shared_ptr<ErrObject> err = std::make_shared<ErrObject>();
  std::shared_ptr<ChildProcesses> children;
  std::uint32_t rnd_seed = 0x50000;
  float last_rnd = 0;
};

using BuiltinFn = Value (*)(Runtime&, std::vector<Value>&);
struct Builtin {
  int min_args;
  int max_args;
  BuiltinFn fn;
};

// Built-in functions and intrinsic constants by case-folded name.
const Builtin* find_builtin(std::string_view name);
const Value* find_constant(std::string_view name);

// CreateObject's classes.
ObjectRef create_object(Runtime& rt, std::string_view prog_id);

}  // namespace ralvek::vbscript

#include "runtime.h"

#include <cctype>

#include "dictionary.h"
#include "fso.h"
#include "shell.h"
#include "vbscript/engine.h"

namespace ralvek::vbscript {

namespace {
std::string lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}
}  // namespace

void ErrObject::set(const VbError& e) {
  number_ = e.number;
  description_ = e.description;
  source_ = e.source.empty() ? std::string(kRuntimeErrorSource) : e.source;
}

void ErrObject::clear() {
  number_ = 0;
  description_.clear();
  source_.clear();
}

Value ErrObject::call(std::string_view member, std::vector<Value>& args) {
  if (member == "number" || member.empty()) return Value::long_(number_);
  if (member == "description") return Value::string(description_);
  if (member == "source") return Value::string(source_);
  if (member == "helpfile") return Value::string("");
  if (member == "helpcontext") return Value::long_(0);
  if (member == "clear") {
    clear();
    return Value();
  }
  if (member == "raise") {
    if (args.empty() || args.size() > 5) raise(err::kWrongArgCount);
    VbError e;
    e.number = to_long(args[0]);
    if (e.number == 0) raise(err::kInvalidCall);
    e.source = args.size() > 1 && !args[1].is_empty() ? to_std_string(args[1])
                                                      : std::string(kRuntimeErrorSource);
    e.description = args.size() > 2 && !args[2].is_empty() ? to_std_string(args[2])
                                                           : std::string(error_text(e.number));
    throw e;
  }
  return Object::call(member, args);
}

void ErrObject::assign(std::string_view member, std::vector<Value>& args, const Value& value) {
  if (member == "number")
    number_ = to_long(value);
  else if (member == "description")
    description_ = to_std_string(value);
  else if (member == "source")
    source_ = to_std_string(value);
  else
    Object::assign(member, args, value);
}

ObjectRef create_object(Runtime& rt, std::string_view prog_id) {
  std::string id = lower(prog_id);
  if (id == "scripting.filesystemobject") return make_file_system_object();
  if (id == "wscript.shell") return make_shell(rt.children);
  if (id == "scripting.dictionary") return make_dictionary();
  raise(err::kCannotCreateObject,
        std::string(error_text(err::kCannotCreateObject)) + ": '" + std::string(prog_id) + "'");
}

}  // namespace ralvek::vbscript

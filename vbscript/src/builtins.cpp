// Built-in functions (the table) and intrinsic constants.
#include <unordered_map>

#include "builtins_util.h"

namespace ralvek::vbscript {

namespace {

using namespace builtin;

// ---------------------------------------------------------------- objects and engine

Value f_createobject(Runtime& rt, Args& a) {
  return Value::object(create_object(rt, to_std_string(a[0])));
}
Value f_scriptengine(Runtime&, Args&) {
  return Value::string("VBScript");
}
Value f_major(Runtime&, Args&) {
  return Value::long_(5);
}
Value f_minor(Runtime&, Args&) {
  return Value::long_(8);
}

const Table& builtins() {
  static const Table table = [] {
    Table t;
    add_strings(t);
    add_numbers(t);
    add_dates(t);
    t["createobject"] = {1, 2, f_createobject};
    t["scriptengine"] = {0, 0, f_scriptengine};
    t["scriptenginemajorversion"] = {0, 0, f_major};
    t["scriptengineminorversion"] = {0, 0, f_minor};
    return t;
  }();
  return table;
}

const std::unordered_map<std::string_view, Value>& constants() {
  static const std::unordered_map<std::string_view, Value> table = [] {
    std::unordered_map<std::string_view, Value> t;
    t.emplace("vbcrlf", Value::string("\r\n"));
    t.emplace("vbcr", Value::string("\r"));
    t.emplace("vblf", Value::string("\n"));
    t.emplace("vbnewline", Value::string("\r\n"));
    t.emplace("vbtab", Value::string("\t"));
    t.emplace("vbnullstring", Value::string(""));
    t.emplace("vbnullchar", Value::string(std::string_view("\0", 1)));
    t.emplace("vbformfeed", Value::string("\f"));
    t.emplace("vbverticaltab", Value::string("\v"));
    t.emplace("vbobjecterror", Value::long_(static_cast<std::int32_t>(0x80040000u)));
    const std::pair<std::string_view, int> ints[] = {
        {"vbbinarycompare", 0},
        {"vbtextcompare", 1},
        {"vbempty", 0},
        {"vbnull", 1},
        {"vbinteger", 2},
        {"vblong", 3},
        {"vbsingle", 4},
        {"vbdouble", 5},
        {"vbcurrency", 6},
        {"vbdate", 7},
        {"vbstring", 8},
        {"vbobject", 9},
        {"vberror", 10},
        {"vbboolean", 11},
        {"vbvariant", 12},
        {"vbdataobject", 13},
        {"vbdecimal", 14},
        {"vbbyte", 17},
        {"vbarray", 8192},
        {"vbgeneraldate", 0},
        {"vblongdate", 1},
        {"vbshortdate", 2},
        {"vblongtime", 3},
        {"vbshorttime", 4},
        {"vbusedefault", -2},
        {"vbtrue", -1},
        {"vbfalse", 0},
        {"vbsunday", 1},
        {"vbmonday", 2},
        {"vbtuesday", 3},
        {"vbwednesday", 4},
        {"vbthursday", 5},
        {"vbfriday", 6},
        {"vbsaturday", 7},
        {"vbusesystem", 0},
        {"vbfirstjan1", 1},
        {"vbfirstfourdays", 2},
        {"vbfirstfullweek", 3},
        {"vbusesystemdayofweek", 0},
    };
    for (const auto& [name, v] : ints)
      t.emplace(name, Value::integer(static_cast<std::int16_t>(v)));
    return t;
  }();
  return table;
}

}  // namespace

const Builtin* find_builtin(std::string_view name) {
  auto it = builtins().find(name);
  return it == builtins().end() ? nullptr : &it->second;
}

const Value* find_constant(std::string_view name) {
  auto it = constants().find(name);
  return it == constants().end() ? nullptr : &it->second;
}

}  // namespace ralvek::vbscript

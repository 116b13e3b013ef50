// The Variant: every value a script holds, with VBScript's conversion rules.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "budget.h"

namespace ralvek::vbscript {

enum class Type : std::uint8_t {
  Empty,
  Null,
  Boolean,
  Integer,
  Long,
  Double,
  Date,
  String,
  Object,
  Array
};

class Value;
class Object;
class Interpreter;
using ObjectRef = std::shared_ptr<Object>;  // null: Nothing
using ValueList = std::vector<Value, TrackedAlloc<Value>>;

// A VBScript array: lower bounds are 0; elements are stored first index fastest, so ReDim
// Preserve of the last dimension only appends or cuts.
struct Array {
  Array() = default;
  Array(const Array&) = default;
  Array& operator=(const Array&) = default;
  ~Array();

  std::vector<std::int32_t> upper;  // one upper bound per dimension; -1 for an empty dimension
  ValueList items;

  std::size_t offset(
      const std::vector<std::int32_t>& index) const;  // raises "Subscript out of range"
};

class Value {
 public:
  Value() = default;
  static Value null();
  static Value boolean(bool b);
  static Value integer(std::int16_t i);
  static Value long_(std::int32_t l);
  static Value number(double d);  // Double
  static Value date(double serial);
  static Value string(std::string_view s);
  static Value string(Str s);
  static Value string(const char* s) { return string(std::string_view(s)); }
  static Value string(const std::string& s) { return string(std::string_view(s)); }
  static Value object(ObjectRef o);
  static Value array(std::shared_ptr<Array> a);
  // The smallest of Integer, Long, Double that holds n.
  static Value whole(std::int64_t n);

  Type type() const { return type_; }
  bool is_empty() const { return type_ == Type::Empty; }
  bool is_null() const { return type_ == Type::Null; }
  bool is_string() const { return type_ == Type::String; }
  bool is_object() const { return type_ == Type::Object; }
  bool is_array() const { return type_ == Type::Array; }
  bool is_numeric_type() const;  // Boolean, Integer, Long, Double, Date (and Empty)

  bool as_bool_raw() const { return b_; }
  std::int32_t as_int_raw() const { return type_ == Type::Integer ? i_ : l_; }
  double as_double_raw() const { return d_; }
  const Str& as_string_raw() const { return s_; }
  const ObjectRef& as_object() const { return obj_; }
  const Array& array_ref() const { return *arr_; }
  // The array for change: copies it first when another value shares it.
  Array& array_mut();
  const std::shared_ptr<Array>& array_ptr() const { return arr_; }

 private:
  Type type_ = Type::Empty;
  union {
    bool b_;
    std::int16_t i_;
    std::int32_t l_;
    double d_ = 0;
  };
  Str s_;
  ObjectRef obj_;
  std::shared_ptr<Array> arr_;
};

// Objects that scripts reach through members: FileSystemObject, File, TextStream, Err ...
// Member names arrive in lower case.
class Object {
 public:
  virtual ~Object() = default;
  virtual std::string_view type_name() const = 0;
  // Property get or method call; raises 438 for an unknown member.
  virtual Value call(std::string_view member, std::vector<Value>& args);
  // Property assignment `obj.member(args) = value`.
  virtual void assign(std::string_view member, std::vector<Value>& args, const Value& value);
  // The default member's value (`Err` -> Number); raises 438 when there is none.
  virtual Value default_value();
  // The elements for For Each; raises 451 when the object is no collection.
  virtual std::vector<Value> elements();
};

// Destroys values one after the other instead of recursively, so that arrays nested a million
// deep (a = Array(a) in a loop) cannot exhaust the stack when they go.
void release_later(std::vector<Value> values);
void release_later(ValueList values);

// Conversions with VBScript's rules; they raise Type mismatch (13), Overflow (6) or Invalid
// use of Null (94). Objects convert through their default member.
Value scalar(const Value& v);  // an object's default value, anything else as it is
double to_double(const Value& v);
std::int32_t to_long(const Value& v);  // rounds half to even
std::int16_t to_integer(const Value& v);
bool to_bool(const Value& v);
Str to_string(const Value& v);
std::string to_std_string(const Value& v);
double to_date(const Value& v);  // serial date; strings are parsed as dates

// Numbers in text as VBScript reads them (" 12", "-1.5e3", "&HFF"); false when not a number.
bool parse_number(std::string_view text, double& out);
std::string format_double(double d);
std::int32_t round_to_long(double d);  // half to even; raises Overflow
std::string_view type_name(const Value& v);
int var_type(const Value& v);

}  // namespace ralvek::vbscript

#include "value.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "datetime.h"
#include "errors.h"

namespace ralvek::vbscript {

std::size_t Array::offset(const std::vector<std::int32_t>& index) const {
  if (index.size() != upper.size()) raise(err::kSubscript);
  std::size_t off = 0;
  std::size_t stride = 1;
  for (std::size_t d = 0; d < upper.size(); ++d) {
    if (index[d] < 0 || index[d] > upper[d]) raise(err::kSubscript);
    off += static_cast<std::size_t>(index[d]) * stride;
    stride *= static_cast<std::size_t>(upper[d]) + 1;
  }
  return off;
}

namespace {

struct Graveyard {
  std::vector<ValueList> lists;
  std::vector<std::vector<Value>> vectors;
  bool draining = false;
};
thread_local Graveyard t_graveyard;

template <class List>
void bury(List values, std::vector<List>& where) {
  Graveyard& g = t_graveyard;
  where.push_back(std::move(values));
  if (g.draining) return;
  g.draining = true;
  while (!g.lists.empty() || !g.vectors.empty()) {
    if (!g.lists.empty()) {
      ValueList l = std::move(g.lists.back());
      g.lists.pop_back();
      l.clear();  // nested arrays bury their own items and return
    } else {
      std::vector<Value> v = std::move(g.vectors.back());
      g.vectors.pop_back();
      v.clear();
    }
  }
  g.draining = false;
}

}  // namespace

void release_later(ValueList values) {
  if (!values.empty()) bury(std::move(values), t_graveyard.lists);
}
void release_later(std::vector<Value> values) {
  if (!values.empty()) bury(std::move(values), t_graveyard.vectors);
}

Array::~Array() { release_later(std::move(items)); }

Value Value::null() {
  Value v;
  v.type_ = Type::Null;
  return v;
}
Value Value::boolean(bool b) {
  Value v;
  v.type_ = Type::Boolean;
  v.b_ = b;
  return v;
}
Value Value::integer(std::int16_t i) {
  Value v;
  v.type_ = Type::Integer;
  v.i_ = i;
  return v;
}
Value Value::long_(std::int32_t l) {
  Value v;
  v.type_ = Type::Long;
  v.l_ = l;
  return v;
}
Value Value::number(double d) {
  Value v;
  v.type_ = Type::Double;
  v.d_ = d;
  return v;
}
Value Value::date(double serial) {
  Value v;
  v.type_ = Type::Date;
  v.d_ = serial;
  return v;
}
Value Value::string(std::string_view s) {
  budget::check_string_length(s.size());
  Value v;
  v.type_ = Type::String;
  v.s_.assign(s.data(), s.size());
  return v;
}
Value Value::string(Str s) {
  budget::check_string_length(s.size());
  Value v;
  v.type_ = Type::String;
  v.s_ = std::move(s);
  return v;
}
Value Value::object(ObjectRef o) {
  Value v;
  v.type_ = Type::Object;
  v.obj_ = std::move(o);
  return v;
}
Value Value::array(std::shared_ptr<Array> a) {
  Value v;
  v.type_ = Type::Array;
  v.arr_ = std::move(a);
  return v;
}
Value Value::whole(std::int64_t n) {
  if (n >= INT16_MIN && n <= INT16_MAX) return integer(static_cast<std::int16_t>(n));
  if (n >= INT32_MIN && n <= INT32_MAX) return long_(static_cast<std::int32_t>(n));
  return number(static_cast<double>(n));
}

bool Value::is_numeric_type() const {
  switch (type_) {
    case Type::Empty:
    case Type::Boolean:
    case Type::Integer:
    case Type::Long:
    case Type::Double:
    case Type::Date:
      return true;
    default:
      return false;
  }
}

Array& Value::array_mut() {
  if (arr_.use_count() > 1) arr_ = std::make_shared<Array>(*arr_);
  return *arr_;
}

Value Object::call(std::string_view, std::vector<Value>&) {
  raise(err::kNoSuchMember);
}
void Object::assign(std::string_view, std::vector<Value>&, const Value&) {
  raise(err::kNoSuchMember);
}
Value Object::default_value() {
  raise(err::kNoSuchMember);
}
std::vector<Value> Object::elements() {
  raise(err::kNotACollection);
}

Value scalar(const Value& v) {
  if (!v.is_object()) return v;
  if (!v.as_object()) raise(err::kObjectNotSet);
  Value d = v.as_object()->default_value();
  if (d.is_object()) raise(err::kTypeMismatch);
  return d;
}

bool parse_number(std::string_view text, double& out) {
  std::size_t b = 0, e = text.size();
  while (b < e && std::isspace(static_cast<unsigned char>(text[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(text[e - 1]))) --e;
  std::string_view t = text.substr(b, e - b);
  if (t.empty()) return false;
  if (t.size() > 2 && t[0] == '&' && (t[1] == 'h' || t[1] == 'H' || t[1] == 'o' || t[1] == 'O')) {
    int base = (t[1] == 'h' || t[1] == 'H') ? 16 : 8;
    std::uint64_t n = 0;
    for (std::size_t i = 2; i < t.size(); ++i) {
      int digit;
      char c = static_cast<char>(std::tolower(static_cast<unsigned char>(t[i])));
      if (c >= '0' && c <= '9')
        digit = c - '0';
      else if (base == 16 && c >= 'a' && c <= 'f')
        digit = c - 'a' + 10;
      else
        return false;
      if (digit >= base) return false;
      n = n * base + static_cast<unsigned>(digit);
      if (n > 0xFFFFFFFFull) return false;
    }
    // &HFFFF is the Integer -1 and &HFFFFFFFF the Long -1, as in VBScript literals.
    out = n <= 0xFFFF ? static_cast<std::int16_t>(static_cast<std::uint16_t>(n))
                      : static_cast<std::int32_t>(static_cast<std::uint32_t>(n));
    return true;
  }
  // Sign, digits, optional point and digits, optional exponent; nothing else.
  std::size_t i = 0;
  if (t[i] == '+' || t[i] == '-') ++i;
  std::size_t digits = 0;
  while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i]))) ++i, ++digits;
  if (i < t.size() && t[i] == '.') {
    ++i;
    while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i]))) ++i, ++digits;
  }
  if (digits == 0) return false;
  if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
    ++i;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
    std::size_t exp_digits = 0;
    while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i]))) ++i, ++exp_digits;
    if (exp_digits == 0) return false;
  }
  if (i != t.size()) return false;
  std::string copy(t);
  out = std::strtod(copy.c_str(), nullptr);
  return std::isfinite(out);
}

double to_double(const Value& v) {
  switch (v.type()) {
    case Type::Empty:
      return 0;
    case Type::Null:
      raise(err::kInvalidUseOfNull);
    case Type::Boolean:
      return v.as_bool_raw() ? -1 : 0;
    case Type::Integer:
    case Type::Long:
      return v.as_int_raw();
    case Type::Double:
    case Type::Date:
      return v.as_double_raw();
    case Type::String: {
      double d;
      if (parse_number(v.as_string_raw(), d)) return d;
      double serial;
      if (datetime::parse(v.as_string_raw(), serial)) return serial;
      raise(err::kTypeMismatch,
            "Type mismatch: '[string: \"" + to_std(v.as_string_raw().substr(0, 40)) + "\"]'");
    }
    case Type::Object:
      return to_double(scalar(v));
    case Type::Array:
      raise(err::kTypeMismatch);
  }
  raise(err::kTypeMismatch);
}

std::int32_t round_to_long(double d) {
  if (!(d >= -2147483648.5 && d <= 2147483647.5)) raise(err::kOverflow);
  double r = std::nearbyint(d);  // default rounding mode: half to even
  if (r < -2147483648.0 || r > 2147483647.0) raise(err::kOverflow);
  return static_cast<std::int32_t>(r);
}

std::int32_t to_long(const Value& v) {
  if (v.type() == Type::Integer || v.type() == Type::Long) return v.as_int_raw();
  return round_to_long(to_double(v));
}

std::int16_t to_integer(const Value& v) {
  std::int32_t l = to_long(v);
  if (l < INT16_MIN || l > INT16_MAX) raise(err::kOverflow);
  return static_cast<std::int16_t>(l);
}

bool to_bool(const Value& v) {
  if (v.type() == Type::Boolean) return v.as_bool_raw();
  if (v.is_string()) {
    const Str& s = v.as_string_raw();
    auto same = [&](std::string_view word) {
      if (s.size() != word.size()) return false;
      for (std::size_t i = 0; i < s.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(s[i])) != word[i]) return false;
      return true;
    };
    if (same("true")) return true;
    if (same("false")) return false;
    double d;
    if (parse_number(s, d)) return d != 0;
    raise(err::kTypeMismatch);
  }
  return to_double(v) != 0;
}

std::string format_double(double d) {
  if (d == 0) return "0";
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.15G", d);
  std::string s = buf;
  // %G pads the exponent to two digits as VBScript does ("1E-05", "1E+20").
  return s;
}

Str to_string(const Value& v) {
  switch (v.type()) {
    case Type::Empty:
      return Str();
    case Type::Null:
      raise(err::kInvalidUseOfNull);
    case Type::Boolean:
      return to_str(v.as_bool_raw() ? "True" : "False");
    case Type::Integer:
    case Type::Long:
      return to_str(std::to_string(v.as_int_raw()));
    case Type::Double:
      return to_str(format_double(v.as_double_raw()));
    case Type::Date:
      if (!datetime::in_range(v.as_double_raw())) raise(err::kOverflow);
      return to_str(datetime::general(v.as_double_raw()));
    case Type::String:
      return v.as_string_raw();
    case Type::Object:
      return to_string(scalar(v));
    case Type::Array:
      raise(err::kTypeMismatch);
  }
  raise(err::kTypeMismatch);
}

std::string to_std_string(const Value& v) {
  return to_std(to_string(v));
}

double to_date(const Value& v) {
  double serial;
  if (v.is_string()) {
    if (!datetime::parse(v.as_string_raw(), serial) && !parse_number(v.as_string_raw(), serial))
      raise(err::kTypeMismatch);
  } else {
    serial = to_double(v);
  }
  if (!datetime::in_range(serial)) raise(err::kOverflow);
  return serial;
}

std::string_view type_name(const Value& v) {
  switch (v.type()) {
    case Type::Empty:
      return "Empty";
    case Type::Null:
      return "Null";
    case Type::Boolean:
      return "Boolean";
    case Type::Integer:
      return "Integer";
    case Type::Long:
      return "Long";
    case Type::Double:
      return "Double";
    case Type::Date:
      return "Date";
    case Type::String:
      return "String";
    case Type::Object:
      return v.as_object() ? v.as_object()->type_name() : "Nothing";
    case Type::Array:
      return "Variant()";
  }
  return "Unknown";
}

int var_type(const Value& v) {
  switch (v.type()) {
    case Type::Empty:
      return 0;
    case Type::Null:
      return 1;
    case Type::Integer:
      return 2;
    case Type::Long:
      return 3;
    case Type::Double:
      return 5;
    case Type::Date:
      return 7;
    case Type::String:
      return 8;
    case Type::Object:
      return 9;
    case Type::Boolean:
      return 11;
    case Type::Array:
      return 8192 + 12;
  }
  return 0;
}

}  // namespace ralvek::vbscript

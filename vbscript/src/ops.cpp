#include "ops.h"

#include <cctype>
#include <cmath>
#include <cstring>

#include "errors.h"

namespace ralvek::vbscript {

namespace {

// Numeric kinds in promotion order.
enum class Kind { Integer, Long, Double, Date };

Kind kind_of(const Value& v) {
  switch (v.type()) {
    case Type::Empty:
    case Type::Boolean:
    case Type::Integer:
      return Kind::Integer;
    case Type::Long:
      return Kind::Long;
    case Type::Date:
      return Kind::Date;
    default:
      return Kind::Double;
  }
}

Value fit(Kind kind, std::int64_t n) {
  if (kind == Kind::Integer) return Value::whole(n);
  if (n >= INT32_MIN && n <= INT32_MAX) return Value::long_(static_cast<std::int32_t>(n));
  return Value::number(static_cast<double>(n));
}

Value arithmetic(BinOp op, const Value& a, const Value& b) {
  Kind ka = kind_of(a), kb = kind_of(b);
  Kind k = ka > kb ? ka : kb;
  if (k == Kind::Integer || k == Kind::Long) {
    std::int64_t x = to_long(a), y = to_long(b);
    switch (op) {
      case BinOp::Add:
        return fit(k, x + y);
      case BinOp::Sub:
        return fit(k, x - y);
      case BinOp::Mul:
        return fit(k, x * y);
      default:
        break;
    }
  }
  double x = to_double(a), y = to_double(b);
  double r = op == BinOp::Add ? x + y : op == BinOp::Sub ? x - y : x * y;
  if (!std::isfinite(r)) raise(err::kOverflow);
  if (k == Kind::Date) {
    // Date - Date is a number of days; a date moved by a number stays a date.
    if (op == BinOp::Sub && ka == Kind::Date && kb == Kind::Date) return Value::number(r);
    if (op != BinOp::Mul) return Value::date(r);
  }
  return Value::number(r);
}

Value integer_op(BinOp op, const Value& a, const Value& b) {
  Kind ka = kind_of(a), kb = kind_of(b);
  std::int64_t x = to_long(a), y = to_long(b);
  if (y == 0) raise(err::kDivisionByZero);
  std::int64_t r = op == BinOp::IntDiv ? x / y : x % y;
  return fit(ka == Kind::Integer && kb == Kind::Integer ? Kind::Integer : Kind::Long, r);
}

// Operands of a logical operator: Boolean when both are Boolean, else whole numbers.
Value logical(BinOp op, const Value& a, const Value& b) {
  bool nulls = a.is_null() || b.is_null();
  if (nulls) {
    // Null And False is False, Null Or True is True; otherwise Null.
    const Value& other = a.is_null() ? b : a;
    if (!other.is_null()) {
      std::int32_t o =
          other.type() == Type::Boolean ? (other.as_bool_raw() ? -1 : 0) : to_long(other);
      if (op == BinOp::And && o == 0)
        return other.type() == Type::Boolean ? Value::boolean(false) : Value::whole(0);
      if (op == BinOp::Or && o == -1) return other;
    }
    return Value::null();
  }
  bool booleans = a.type() == Type::Boolean && b.type() == Type::Boolean;
  std::int32_t x = a.type() == Type::Boolean ? (a.as_bool_raw() ? -1 : 0) : to_long(a);
  std::int32_t y = b.type() == Type::Boolean ? (b.as_bool_raw() ? -1 : 0) : to_long(b);
  std::int32_t r = 0;
  switch (op) {
    case BinOp::And:
      r = x & y;
      break;
    case BinOp::Or:
      r = x | y;
      break;
    case BinOp::Xor:
      r = x ^ y;
      break;
    case BinOp::Eqv:
      r = ~(x ^ y);
      break;
    case BinOp::Imp:
      r = ~x | y;
      break;
    default:
      break;
  }
  if (booleans) return Value::boolean(r != 0);
  Kind k = kind_of(a) == Kind::Integer && kind_of(b) == Kind::Integer ? Kind::Integer : Kind::Long;
  return fit(k, r);
}

}  // namespace

int compare_strings(std::string_view a, std::string_view b, bool text) {
  std::size_t n = a.size() < b.size() ? a.size() : b.size();
  if (!text) {
    int c = n == 0 ? 0 : std::memcmp(a.data(), b.data(), n);
    if (c != 0) return c < 0 ? -1 : 1;
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
  }
  for (std::size_t i = 0; i < n; ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (text) {
      x = static_cast<unsigned char>(std::tolower(x));
      y = static_cast<unsigned char>(std::tolower(y));
    }
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

int compare(const Value& l, const Value& r, bool text, bool left_literal, bool right_literal) {
  Value a = scalar(l), b = scalar(r);
  if (a.is_array() || b.is_array()) raise(err::kTypeMismatch);
  bool sa = a.is_string(), sb = b.is_string();
  if (sa && sb) return compare_strings(a.as_string_raw(), b.as_string_raw(), text);
  if (sa && b.is_empty()) return compare_strings(a.as_string_raw(), "", text);
  if (sb && a.is_empty()) return compare_strings("", b.as_string_raw(), text);
  if (sa != sb) {
    // A number and a string: a literal takes the other side's kind; between variables the
    // number is the smaller.
    const Value& str = sa ? a : b;
    bool str_literal = sa ? left_literal : right_literal;
    bool num_literal = sa ? right_literal : left_literal;
    int sign = sa ? 1 : -1;
    double as_number;
    if ((str_literal || num_literal) && parse_number(str.as_string_raw(), as_number)) {
      double other = to_double(sa ? b : a);
      return sign * (as_number < other ? -1 : as_number > other ? 1 : 0);
    }
    if (num_literal) {
      Str num = to_string(sa ? b : a);
      return sign * compare_strings(str.as_string_raw(), num, text);
    }
    return sign;  // the string is greater
  }
  double x = to_double(a), y = to_double(b);
  return x < y ? -1 : x > y ? 1 : 0;
}

Value binary(BinOp op, const Value& left, const Value& right, bool left_literal,
             bool right_literal) {
  if (op == BinOp::Is) {
    if (!left.is_object() || !right.is_object()) raise(err::kObjectRequired);
    return Value::boolean(left.as_object() == right.as_object());
  }
  if (op == BinOp::Concat) {
    Value a = scalar(left), b = scalar(right);
    if (a.is_null() && b.is_null()) return Value::null();
    Str s = a.is_null() ? Str() : to_string(a);
    Str t = b.is_null() ? Str() : to_string(b);
    budget::check_string_length(s.size() + t.size());
    s += t;
    return Value::string(std::move(s));
  }
  Value a = scalar(left), b = scalar(right);
  if (a.is_array() || b.is_array()) raise(err::kTypeMismatch);
  switch (op) {
    case BinOp::And:
    case BinOp::Or:
    case BinOp::Xor:
    case BinOp::Eqv:
    case BinOp::Imp:
      return logical(op, a, b);
    default:
      break;
  }
  if (a.is_null() || b.is_null()) return Value::null();
  switch (op) {
    case BinOp::Eq:
      return Value::boolean(compare(a, b, false, left_literal, right_literal) == 0);
    case BinOp::Ne:
      return Value::boolean(compare(a, b, false, left_literal, right_literal) != 0);
    case BinOp::Lt:
      return Value::boolean(compare(a, b, false, left_literal, right_literal) < 0);
    case BinOp::Gt:
      return Value::boolean(compare(a, b, false, left_literal, right_literal) > 0);
    case BinOp::Le:
      return Value::boolean(compare(a, b, false, left_literal, right_literal) <= 0);
    case BinOp::Ge:
      return Value::boolean(compare(a, b, false, left_literal, right_literal) >= 0);
    case BinOp::Add:
      if (a.is_string() && b.is_string()) return binary(BinOp::Concat, a, b);
      if (a.is_empty() && b.is_string()) return b;
      if (b.is_empty() && a.is_string()) return a;
      return arithmetic(op, a, b);
    case BinOp::Sub:
    case BinOp::Mul:
      return arithmetic(op, a, b);
    case BinOp::Div: {
      double y = to_double(b);
      double x = to_double(a);
      if (y == 0) raise(x == 0 ? err::kOverflow : err::kDivisionByZero);
      return Value::number(x / y);
    }
    case BinOp::IntDiv:
    case BinOp::Mod:
      return integer_op(op, a, b);
    case BinOp::Pow: {
      double x = to_double(a), y = to_double(b);
      if (x < 0 && y != std::floor(y)) raise(err::kInvalidCall);
      double r = std::pow(x, y);
      if (!std::isfinite(r)) raise(x == 0 ? err::kDivisionByZero : err::kOverflow);
      return Value::number(r);
    }
    default:
      break;
  }
  raise(err::kTypeMismatch);
}

Value negate(const Value& v) {
  Value a = scalar(v);
  switch (a.type()) {
    case Type::Null:
      return a;
    case Type::Empty:
      return Value::integer(0);
    case Type::Boolean:
      return Value::integer(a.as_bool_raw() ? 1 : 0);
    case Type::Integer:
      return Value::whole(-static_cast<std::int64_t>(a.as_int_raw()));
    case Type::Long:
      return fit(Kind::Long, -static_cast<std::int64_t>(a.as_int_raw()));
    case Type::Date:
      return Value::date(-a.as_double_raw());
    default:
      return Value::number(-to_double(a));
  }
}

Value logical_not(const Value& v) {
  Value a = scalar(v);
  if (a.is_null()) return a;
  if (a.type() == Type::Boolean) return Value::boolean(!a.as_bool_raw());
  std::int32_t x = to_long(a);
  return a.type() == Type::Integer || a.is_empty() ? Value::whole(~x) : Value::long_(~x);
}

}  // namespace ralvek::vbscript

#include "value.h"

#include <gtest/gtest.h>

#include "errors.h"
#include "ops.h"

namespace ralvek::vbscript {
namespace {

int error_of(const std::function<void()>& fn) {
  try {
    fn();
  } catch (const VbError& e) {
    return e.number;
  }
  return 0;
}

TEST(Value, ParseNumberAcceptsVBScriptFormsOnly) {
  double d = 0;
  EXPECT_TRUE(parse_number(" 12 ", d));
  EXPECT_EQ(d, 12);
  EXPECT_TRUE(parse_number("-1.5e3", d));
  EXPECT_EQ(d, -1500);
  EXPECT_TRUE(parse_number("&H10", d));
  EXPECT_EQ(d, 16);
  EXPECT_TRUE(parse_number(".5", d));
  EXPECT_EQ(d, 0.5);
  for (const char* bad : {"", " ", "1e", "12a", "--1", "&H", "&HG", "1.2.3", "inf", "nan"})
    EXPECT_FALSE(parse_number(bad, d)) << bad;
}

TEST(Value, DoublesPrintWithFifteenDigits) {
  EXPECT_EQ(format_double(0.1 + 0.2), "0.3");
  EXPECT_EQ(format_double(1e15), "1E+15");
  EXPECT_EQ(format_double(123456789012345.0), "123456789012345");
  EXPECT_EQ(format_double(-2.5), "-2.5");
  EXPECT_EQ(format_double(1e-5), "1E-05");
  EXPECT_EQ(format_double(0.0001), "0.0001");
}

TEST(Value, RoundingToLongIsHalfToEvenAndChecksRange) {
  EXPECT_EQ(round_to_long(2.5), 2);
  EXPECT_EQ(round_to_long(3.5), 4);
  EXPECT_EQ(round_to_long(-2.5), -2);
  EXPECT_EQ(round_to_long(2147483647.4), 2147483647);
  EXPECT_EQ(error_of([] { round_to_long(2147483647.5); }), err::kOverflow);
  EXPECT_EQ(error_of([] { round_to_long(-2147483649.0); }), err::kOverflow);
}

TEST(Value, ConversionErrors) {
  EXPECT_EQ(error_of([] { to_double(Value::null()); }), err::kInvalidUseOfNull);
  EXPECT_EQ(error_of([] { to_double(Value::string("x")); }), err::kTypeMismatch);
  EXPECT_EQ(error_of([] { to_integer(Value::long_(40000)); }), err::kOverflow);
  EXPECT_EQ(error_of([] { to_string(Value::object(nullptr)); }), err::kObjectNotSet);
  EXPECT_EQ(to_bool(Value::string("FALSE")), false);
  EXPECT_EQ(to_bool(Value::string("-1")), true);
}

TEST(Value, ArraysCopyOnWrite) {
  auto arr = std::make_shared<Array>();
  arr->upper = {1};
  arr->items.resize(2);
  Value a = Value::array(arr);
  Value b = a;
  b.array_mut().items[0] = Value::integer(5);
  EXPECT_TRUE(a.array_ref().items[0].is_empty());
  EXPECT_EQ(b.array_ref().items[0].as_int_raw(), 5);
}

TEST(Value, ArrayOffsetsAreFirstIndexFastest) {
  Array a;
  a.upper = {2, 3};
  a.items.resize(12);
  EXPECT_EQ(a.offset({0, 0}), 0u);
  EXPECT_EQ(a.offset({2, 0}), 2u);
  EXPECT_EQ(a.offset({0, 1}), 3u);
  EXPECT_EQ(a.offset({2, 3}), 11u);
  EXPECT_EQ(error_of([&] { a.offset({3, 0}); }), err::kSubscript);
  EXPECT_EQ(error_of([&] { a.offset({0}); }), err::kSubscript);
}

TEST(Ops, IntegerOverflowPromotes) {
  Value r = binary(BinOp::Add, Value::integer(32767), Value::integer(1));
  EXPECT_EQ(r.type(), Type::Long);
  EXPECT_EQ(r.as_int_raw(), 32768);
  r = binary(BinOp::Mul, Value::long_(65536), Value::long_(65536));
  EXPECT_EQ(r.type(), Type::Double);
  r = negate(Value::integer(-32768));
  EXPECT_EQ(r.type(), Type::Long);
}

TEST(Ops, TextCompareIgnoresCase) {
  EXPECT_EQ(compare_strings("ABC", "abd", true), -1);
  EXPECT_EQ(compare_strings("ABC", "abc", true), 0);
  EXPECT_EQ(compare_strings("ABC", "abc", false), -1);
  EXPECT_EQ(compare_strings("ab", "abc", false), -1);
}

TEST(Budget, HeldBytesFollowStringsAndTheBoundStopsGrowth) {
  std::size_t before = budget::held_bytes();
  {
    Value big = Value::string(std::string(100000, 'x'));
    EXPECT_GE(budget::held_bytes(), before + 100000);
  }
  EXPECT_EQ(budget::held_bytes(), before);
  budget::Bounds bounds;
  bounds.max_memory = before + 50000;
  budget::Scope scope(bounds);
  EXPECT_THROW(Value::string(std::string(100000, 'x')), MemoryExhausted);
  EXPECT_EQ(budget::held_bytes(), before);
}

}  // namespace
}  // namespace ralvek::vbscript

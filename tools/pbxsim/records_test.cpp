#include "records.h"

#include <gtest/gtest.h>

namespace ralvek::pbxsim {
namespace {

TEST(Records, RoundTripAtTheRequestedSize) {
  auto record = make_record("127.0.0.20", 42, 120);
  EXPECT_EQ(record.size(), 120u);
  EXPECT_EQ(record.substr(0, 30), "rec;127.0.0.20;0000000042;qrst");
  EXPECT_EQ(record.substr(118), "\r\n");
  auto parsed = parse_record(std::string_view(record).substr(0, 118));
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->source, "127.0.0.20");
  EXPECT_EQ(parsed->seq, 42u);
}

TEST(Records, AnyChangedByteIsNoticed) {
  auto record = make_record("127.0.0.20", 7, 64).substr(0, 62);
  for (size_t i = 15; i < record.size(); ++i) {
    auto changed = record;
    changed[i] = changed[i] == 'z' ? 'y' : 'z';
    EXPECT_FALSE(parse_record(changed) && parse_record(changed)->seq == 7) << i;
  }
  EXPECT_FALSE(parse_record("rec;x;12345;abc"));
  EXPECT_FALSE(parse_record("hello"));
}

TEST(Records, SurviveTheReceiversCleaning) {
  auto record = make_record("127.0.0.99", 123456, 200);
  for (char c : record) {
    EXPECT_FALSE(c == ' ' || c == '\0' || (c >= 'A' && c <= 'Z')) << int(c);
  }
}

}  // namespace
}  // namespace ralvek::pbxsim

#include "com_settings.h"

#include <gtest/gtest.h>

#include "vb/vb.h"

namespace ralvek::serrak {
namespace {

int error_number(void (*call)()) {
  try {
    call();
  } catch (const vb::VbError& e) {
    return e.number();
  }
  return 0;
}

TEST(ComSettings, WholeNumbersRoundHalfToEvenAndRefuseOtherText) {
  EXPECT_EQ(integer16_setting(" 3 "), 3);
  EXPECT_EQ(integer16_setting("2.5"), 2);
  EXPECT_EQ(integer16_setting("-1"), -1);
  EXPECT_EQ(integer32_setting("100000"), 100000);
  EXPECT_EQ(error_number([] { integer16_setting("COM1"); }), vb::kTypeMismatch);
  EXPECT_EQ(error_number([] { integer16_setting("1a"); }), vb::kTypeMismatch);
  EXPECT_EQ(error_number([] { integer16_setting(""); }), vb::kTypeMismatch);
  EXPECT_EQ(error_number([] { integer16_setting("-"); }), vb::kTypeMismatch);
  EXPECT_EQ(error_number([] { integer16_setting("40000"); }), vb::kOverflow);
  EXPECT_EQ(error_number([] { integer32_setting("3000000000"); }), vb::kOverflow);
}

TEST(ComSettings, SiteIdNeedsALeadingNumberAboveZero) {
  EXPECT_TRUE(site_id_valid("12"));
  EXPECT_TRUE(site_id_valid("12ab"));
  EXPECT_FALSE(site_id_valid("0"));
  EXPECT_FALSE(site_id_valid("-4"));
  EXPECT_FALSE(site_id_valid("abc"));
  EXPECT_FALSE(site_id_valid(""));
}

TEST(ComSettings, HandshakingAndPortNumbersOutsideTheirRangeAreRefused) {
  EXPECT_EQ(handshaking_mode(3), platform::Handshaking::kRtsCtsXonXoff);
  EXPECT_EQ(error_number([] { handshaking_mode(4); }), 380);
  EXPECT_EQ(error_number([] { handshaking_mode(-1); }), 380);
  EXPECT_EQ(com_device_path(2, ""), "/dev/ttyS1");
  EXPECT_EQ(com_device_path(0, "/dev/ttyUSB0"), "/dev/ttyUSB0");
  EXPECT_EQ(error_number([] { com_device_path(0, ""); }), 8002);
}

}  // namespace
}  // namespace ralvek::serrak

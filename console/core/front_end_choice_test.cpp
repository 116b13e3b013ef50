#include "front_end_choice.h"

#include <gtest/gtest.h>

namespace ralvek::console {
namespace {

TEST(FrontEndChoiceTest, AnyOfTheThreeVariablesChoosesTheWindow) {
  EXPECT_EQ(ChooseFrontEnd(":0", nullptr, nullptr, true), FrontEnd::kWindow);
  EXPECT_EQ(ChooseFrontEnd(nullptr, "wayland-0", nullptr, true), FrontEnd::kWindow);
  EXPECT_EQ(ChooseFrontEnd(nullptr, nullptr, "offscreen", true), FrontEnd::kWindow);
}

TEST(FrontEndChoiceTest, NoDisplayEmptyVariablesOrNoWindowBuiltMeanTheTerminal) {
  EXPECT_EQ(ChooseFrontEnd(nullptr, nullptr, nullptr, true), FrontEnd::kTerminal);
  EXPECT_EQ(ChooseFrontEnd("", "", "", true), FrontEnd::kTerminal);
  EXPECT_EQ(ChooseFrontEnd(":0", "wayland-0", "xcb", false), FrontEnd::kTerminal);
}

}  // namespace
}  // namespace ralvek::console

#include "vbscript/engine.h"

#include <gtest/gtest.h>

namespace ralvek::vbscript {
namespace {
TEST(Engine, Smoke) {
  Engine e;
  ASSERT_TRUE(e.add_code("Function Main()\n Main = 1 + 2\nEnd Function\n")) << e.last_error().description;
  EXPECT_EQ(e.run("Main", {}).value_or("?"), "3");
}
}  // namespace
}  // namespace ralvek::vbscript

#pragma once
// Tests only: one QApplication for a whole test program, on the offscreen platform unless another
// is asked for. It is destroyed when the tests end, before the program's exit handlers run: a
// QApplication left to static destruction outlives parts of Qt and crashes at exit.
#include <gtest/gtest.h>

#include <QApplication>
#include <memory>

namespace ralvek::console {

class TestApplication final : public ::testing::Environment {
 public:
  void SetUp() override {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    app_ = std::make_unique<QApplication>(argc_, argv_);
  }
  void TearDown() override { app_.reset(); }

  // Registers the application with GoogleTest, which owns the environment.
  static bool Register() {
    ::testing::AddGlobalTestEnvironment(new TestApplication);
    return true;
  }

 private:
  int argc_ = 1;
  char name_[16] = "console_test";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QApplication> app_;
};

}  // namespace ralvek::console

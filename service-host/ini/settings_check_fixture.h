#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

// The fixture of each service's "--check" tests: a program directory of its own per test, the
// settings file written there, and the report of one check.
namespace ralvek::ini {

class SettingsCheckFixture : public ::testing::Test {
 protected:
  using CheckFn = int (*)(const std::filesystem::path& program_dir, std::ostream& out);
  SettingsCheckFixture(std::string ini_name, CheckFn check) : ini_name_(std::move(ini_name)), check_(check) {}

  void SetUp() override {
    auto* unit = ::testing::UnitTest::GetInstance();
    dir_ = std::filesystem::temp_directory_path() /
           (ini_name_ + "_check_" + std::to_string(unit->random_seed()) + unit->current_test_info()->name());
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  void write(const std::string& text) { std::ofstream(dir_ / ini_name_, std::ios::binary) << text; }
  std::string file() const { return (dir_ / ini_name_).string(); }
  int check() {
    std::ostringstream out;
    int status = check_(dir_, out);
    out_ = out.str();
    return status;
  }
  bool says(const std::string& text) const { return out_.find(text) != std::string::npos; }

  std::filesystem::path dir_;
  std::string out_;

 private:
  std::string ini_name_;
  CheckFn check_;
};

}  // namespace ralvek::ini

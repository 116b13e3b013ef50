#include "files/finisher.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <future>
#include <set>

#include "platform/files_fixture.h"

namespace ralvek::files {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// A real file whose sync waits until the test lets it go: a finish held in the middle.
class HeldFile final : public platform::WritableFile {
 public:
  HeldFile(std::unique_ptr<platform::WritableFile> real, std::shared_future<void> go)
      : real_(std::move(real)), go_(std::move(go)) {}
  void append(std::string_view bytes) override { real_->append(bytes); }
  void sync() override {
    go_.wait();
    real_->sync();
  }
  std::optional<std::uint64_t> size() override { return real_->size(); }

 private:
  std::unique_ptr<platform::WritableFile> real_;
  std::shared_future<void> go_;
};

// The real file system, counting the files opened by name and unnamed; `refuse_unnamed` plays a
// file system without O_TMPFILE.
class CountingFileSystem final : public platform::PassThroughFileSystem {
 public:
  int opened = 0;
  int unnamed_asked = 0;
  bool refuse_unnamed = false;
  std::unique_ptr<platform::WritableFile> open(const fs::path& path, platform::OpenMode mode) override {
    ++opened;
    return real().open(path, mode);
  }
  std::unique_ptr<platform::WritableFile> open_unnamed(const fs::path& dir) override {
    ++unnamed_asked;
    return refuse_unnamed ? nullptr : real().open_unnamed(dir);
  }
};

class FinisherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("finisher_" + std::to_string(::getpid()) + "_" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::unique_ptr<platform::WritableFile> open(const std::string& name, const std::string& content) {
    EXPECT_TRUE(finisher_.claim(dir_ / name));
    auto file = platform::posix_file_system().open(dir_ / name, platform::OpenMode::kAppend);
    file->append(content);
    return file;
  }
  std::set<std::string> names() const {
    std::set<std::string> result;
    for (auto& e : fs::directory_iterator(dir_)) result.insert(e.path().filename());
    return result;
  }
  std::string read(const std::string& name) const {
    std::ifstream in(dir_ / name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  Finisher::OnError collect() {
    return [this](const std::string& d) { errors_.push_back(d); };
  }

  fs::path dir_;
  asio::io_context io_;
  Finisher finisher_{io_, platform::posix_file_system()};
  std::vector<std::string> errors_;
};

TEST_F(FinisherTest, HandedOverFilesBecomeDatFilesEmptyOnesGoAndTheirNamesAreFreeAgain) {
  finisher_.finish(open("1_a.ip", "one"), dir_ / "1_a.ip", collect());
  finisher_.finish(open("2_a.ip", ""), dir_ / "2_a.ip", collect());
  finisher_.wait_idle();
  EXPECT_EQ(names(), (std::set<std::string>{"1_a.dat"}));
  EXPECT_EQ(read("1_a.dat"), "one");
  EXPECT_TRUE(errors_.empty());
  EXPECT_TRUE(finisher_.claim(dir_ / "1_a.ip"));
}

TEST_F(FinisherTest, AFailureIsReportedOnTheLoopAndLeavesTheTemporaryFile) {
  std::ofstream(dir_ / "1_a.dat") << "older";
  std::thread::id reported_on;
  finisher_.finish(open("1_a.ip", "newer"), dir_ / "1_a.ip", [&](const std::string& d) {
    reported_on = std::this_thread::get_id();
    errors_.push_back(d);
  });
  for (int i = 0; i < 500 && errors_.empty(); ++i) {
    std::this_thread::sleep_for(2ms);  // an idle loop returns at once
    io_.restart();
    io_.run();
  }
  EXPECT_EQ(reported_on, std::this_thread::get_id());
  ASSERT_EQ(errors_.size(), 1u);
  EXPECT_NE(errors_[0].find("1_a.dat"), std::string::npos) << errors_[0];
  EXPECT_EQ(read("1_a.dat"), "older");
  EXPECT_EQ(read("1_a.ip"), "newer");
}

TEST_F(FinisherTest, WhileAFinishIsPendingItsNameStaysTakenAndASweepTakesOnlyUnclaimedFiles) {
  std::promise<void> go;
  auto held = std::make_unique<HeldFile>(open("1_a.ip", "handed"), go.get_future().share());
  finisher_.finish(std::move(held), dir_ / "1_a.ip", collect());
  auto open_file = open("2_b.ip", "still open");  // the loop's file of the next period
  std::ofstream(dir_ / "3_c.IP") << "left by a killed run";
  finisher_.sweep(dir_, "ip", collect());
  finisher_.sweep(dir_, "ip", collect());  // the same sweep, not begun: one is enough
  EXPECT_FALSE(finisher_.claim(dir_ / "1_a.ip"));
  go.set_value();
  finisher_.wait_idle();
  EXPECT_EQ(names(), (std::set<std::string>{"1_a.dat", "2_b.ip", "3_c.dat"}));
  EXPECT_TRUE(errors_.empty());
  open_file->append(" and growing");
  EXPECT_EQ(read("2_b.ip"), "still open and growing");
  EXPECT_TRUE(finisher_.claim(dir_ / "1_a.ip"));
}

TEST_F(FinisherTest, ASweepOfAMissingFolderIsReported) {
  finisher_.sweep(dir_ / "missing", "ip", collect());
  finisher_.wait_idle();
  ASSERT_EQ(errors_.size(), 1u);
  EXPECT_NE(errors_[0].find("missing"), std::string::npos);
}

// One period: a new file of `name` opened through the finisher, written and handed over.
void run_period(Finisher& finisher, const fs::path& path, const std::string& content) {
  ASSERT_TRUE(finisher.claim(path));
  auto file = finisher.open_claimed(path);
  file->append(content);
  finisher.finish(std::move(file), path, {});
  finisher.wait_idle();
}

TEST_F(FinisherTest, NewFilesAreNamedFromUnnamedOnesMadeAfterABatchAndAnExistingNameIsAppendedTo) {
  CountingFileSystem files;
  Finisher finisher(io_, files);
  run_period(finisher, dir_ / "1_a.ip", "one");  // nothing ready yet: opened by name
  EXPECT_EQ(files.opened, 1);
  std::ofstream(dir_ / "2_b.ip") << "older;";  // left by a killed run
  run_period(finisher, dir_ / "2_b.ip", "newer;");
  EXPECT_EQ(files.opened, 2);  // the name exists: opened by name, appended to
  run_period(finisher, dir_ / "3_c.ip", "three");
  EXPECT_EQ(files.opened, 2);  // named from the ready one
  EXPECT_EQ(files.unnamed_asked, 3);
  EXPECT_EQ(names(), (std::set<std::string>{"1_a.dat", "2_b.dat", "3_c.dat"}));
  EXPECT_EQ(read("2_b.dat"), "older;newer;");
  EXPECT_EQ(read("3_c.dat"), "three");
  struct stat by_name {}, named_later {};
  ASSERT_EQ(::stat((dir_ / "1_a.dat").c_str(), &by_name), 0);
  ASSERT_EQ(::stat((dir_ / "3_c.dat").c_str(), &named_later), 0);
  EXPECT_EQ(named_later.st_mode, by_name.st_mode);
}

// A start asks for its sources' files before its sweep: the first period opens nothing by name.
TEST_F(FinisherTest, FilesPreparedAtAStartAreReadyWhenItsSweepEnds) {
  CountingFileSystem files;
  Finisher finisher(io_, files);
  finisher.prepare(dir_, 3);
  finisher.sweep(dir_, "ip", collect());
  finisher.wait_idle();
  EXPECT_EQ(files.unnamed_asked, 3);
  const std::string kNames[] = {"1_a.ip", "2_b.ip", "3_c.ip"};
  std::vector<std::unique_ptr<platform::WritableFile>> open;
  for (const auto& name : kNames) {
    ASSERT_TRUE(finisher.claim(dir_ / name));
    open.push_back(finisher.open_claimed(dir_ / name));
    open.back()->append(name);
  }
  EXPECT_EQ(files.opened, 0);
  for (std::size_t i = 0; i < open.size(); ++i) finisher.finish(std::move(open[i]), dir_ / kNames[i], collect());
  finisher.wait_idle();
  EXPECT_EQ(names(), (std::set<std::string>{"1_a.dat", "2_b.dat", "3_c.dat"}));
  EXPECT_EQ(read("2_b.dat"), "2_b.ip");
  EXPECT_TRUE(errors_.empty());
}

TEST_F(FinisherTest, WhereUnnamedFilesAreRefusedFilesAreOpenedByNameAndNeverAskedAgain) {
  CountingFileSystem files;
  files.refuse_unnamed = true;
  Finisher finisher(io_, files);
  run_period(finisher, dir_ / "1_a.ip", "one");
  run_period(finisher, dir_ / "2_b.ip", "two");
  EXPECT_EQ(files.opened, 2);
  EXPECT_EQ(files.unnamed_asked, 1);
  EXPECT_EQ(names(), (std::set<std::string>{"1_a.dat", "2_b.dat"}));
  EXPECT_EQ(read("2_b.dat"), "two");
}

}  // namespace
}  // namespace ralvek::files

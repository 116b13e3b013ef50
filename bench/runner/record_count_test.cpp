#include "record_count.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "records.h"

namespace ralvek::bench {
namespace {

using pbxsim::make_record;

class RecordCountTest : public ::testing::Test {
 protected:
  RecordCountTest() {
    dir_ = std::filesystem::temp_directory_path() /
           ("record_count_test_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
  }
  ~RecordCountTest() override { std::filesystem::remove_all(dir_); }
  void write(const std::string& name, const std::string& bytes) {
    std::ofstream(dir_ / name, std::ios::binary) << bytes;
  }
  RecordCount count(std::map<std::string, std::uint64_t> sent) {
    return count_records(dir_.string(), ".dat", sent, 120);
  }
  std::string records(const std::string& source, int first, int last) {
    std::string text;
    for (int i = first; i <= last; ++i) text += make_record(source, i, 120);
    return text;
  }
  std::filesystem::path dir_;
};

TEST_F(RecordCountTest, EverySourceWholeAcrossFilesIsPerfect) {
  write("1_a.dat", records("127.0.0.10", 1, 5));
  write("1_b.dat", records("127.0.0.10", 6, 9));
  write("2_a.dat", records("127.0.0.11", 1, 3));
  write("ignored.ip", "not a record\r\n");
  RecordCount c = count({{"127.0.0.10", 9}, {"127.0.0.11", 3}});
  EXPECT_TRUE(c.perfect()) << c.summary();
  EXPECT_EQ(c.found, 12u);
  EXPECT_EQ(c.expected, 12u);
}

TEST_F(RecordCountTest, LossDoublingAndOrderAreEachCounted) {
  write("1.dat", records("127.0.0.10", 1, 2) + records("127.0.0.10", 4, 5) + records("127.0.0.10", 2, 2));
  RecordCount c = count({{"127.0.0.10", 5}});
  EXPECT_EQ(c.missing, 1u);  // 3
  EXPECT_EQ(c.doubled, 1u);  // 2 again
  EXPECT_EQ(c.out_of_order, 1u);
  EXPECT_FALSE(c.perfect());
}

TEST_F(RecordCountTest, ChangedCutOrForeignRecordsAreNotCountedAsFound) {
  std::string upper = make_record("127.0.0.10", 2, 120);
  upper[upper.size() - 5] = 'Z';
  std::string cut = make_record("127.0.0.10", 3, 120).substr(0, 60);
  write("1.dat", records("127.0.0.10", 1, 1) + upper + records("127.0.0.99", 1, 1) +
                     records("127.0.0.10", 9, 9) + cut);
  RecordCount c = count({{"127.0.0.10", 3}});
  EXPECT_EQ(c.found, 1u);
  EXPECT_EQ(c.broken, 2u);      // the changed letter; the cut record without its line end
  EXPECT_EQ(c.unexpected, 2u);  // a source that did not send; a number beyond what was sent
  EXPECT_EQ(c.missing, 2u);
}

TEST_F(RecordCountTest, RecordsEndingInCrAloneAreCountedWithThatLineEnd) {
  std::string text;
  for (int i = 1; i <= 3; ++i) {
    std::string r = make_record("serial1", i, 120);
    text += r.substr(0, r.size() - 2) + "\r";
  }
  write("line.dat", text);
  EXPECT_TRUE(count_records(dir_.string(), ".dat", {{"serial1", 3}}, 120, "\r").perfect());
  EXPECT_FALSE(count({{"serial1", 3}}).perfect());
}

}  // namespace
}  // namespace ralvek::bench

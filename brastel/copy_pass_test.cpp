#include "copy_pass.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <set>

namespace ralvek::brastel {
namespace {

namespace fs = std::filesystem;

// The real operations, with one failure injected at a chosen call.
class FaultyOps final : public FileOps {
 public:
  enum class Op { kList, kOpenRead, kRead, kCreate, kAppend, kSync, kRename, kSyncFolder, kRemove };

  // The call of `op` on a path whose file name contains `name_part` fails with `error`.
  void fail(Op op, const std::string& name_part, int error) { faults_[op] = {name_part, error}; }
  // Runs `action` just before the rename of a file whose name contains `name_part`.
  void before_rename(const std::string& name_part, std::function<void()> action) {
    before_rename_ = {name_part, std::move(action)};
  }
  int removes = 0;
  int folder_syncs = 0;
  std::vector<std::string> calls;  // "rename <name>", "sync folder", "remove <name>"

  std::vector<std::string> list(const fs::path& dir) override {
    check(Op::kList, dir);
    return real().list(dir);
  }
  bool exists(const fs::path& path) override { return real().exists(path); }
  bool same_file(const fs::path& a, const fs::path& b) override { return real().same_file(a, b); }
  std::unique_ptr<SourceFile> open_read(const fs::path& path) override {
    check(Op::kOpenRead, path);
    auto file = real().open_read(path);
    return std::make_unique<FaultySource>(*this, std::move(file), path);
  }
  std::unique_ptr<platform::WritableFile> create(const fs::path& path) override {
    check(Op::kCreate, path);
    return std::make_unique<FaultyTarget>(*this, real().create(path), path);
  }
  void rename_new(const fs::path& from, const fs::path& to) override {
    if (before_rename_.second && to.filename().string().find(before_rename_.first) != std::string::npos) {
      before_rename_.second();
    }
    check(Op::kRename, to);
    real().rename_new(from, to);
    calls.push_back("rename " + to.filename().string());
  }
  void sync_folder(const fs::path& dir) override {
    ++folder_syncs;
    check(Op::kSyncFolder, dir);
    real().sync_folder(dir);
    calls.push_back("sync folder");
  }
  void remove(const fs::path& path) override {
    ++removes;
    check(Op::kRemove, path);
    real().remove(path);
    calls.push_back("remove " + path.filename().string());
  }

 private:
  struct FaultySource final : SourceFile {
    FaultySource(FaultyOps& o, std::unique_ptr<SourceFile> f, fs::path p)
        : ops(o), file(std::move(f)), path(std::move(p)) {}
    std::size_t read(char* buffer, std::size_t size) override {
      ops.check(Op::kRead, path);
      return file->read(buffer, size);
    }
    FaultyOps& ops;
    std::unique_ptr<SourceFile> file;
    fs::path path;
  };
  struct FaultyTarget final : platform::WritableFile {
    FaultyTarget(FaultyOps& o, std::unique_ptr<platform::WritableFile> f, fs::path p)
        : ops(o), file(std::move(f)), path(std::move(p)) {}
    void append(std::string_view bytes) override {
      // Half the bytes reach the disk before the failure, as when a disk fills up.
      if (ops.armed(Op::kAppend, path)) {
        file->append(bytes.substr(0, bytes.size() / 2));
        ops.check(Op::kAppend, path);
      }
      file->append(bytes);
    }
    void sync() override {
      ops.check(Op::kSync, path);
      file->sync();
    }
    FaultyOps& ops;
    std::unique_ptr<platform::WritableFile> file;
    fs::path path;
  };

  static FileOps& real() { return real_file_ops(); }
  bool armed(Op op, const fs::path& path) const {
    auto it = faults_.find(op);
    return it != faults_.end() &&
           path.filename().string().find(it->second.first) != std::string::npos;
  }
  void check(Op op, const fs::path& path) {
    if (armed(op, path)) throw platform::FileError(faults_[op].second, path);
  }

  std::map<Op, std::pair<std::string, int>> faults_;
  std::pair<std::string, std::function<void()>> before_rename_;
};

using Op = FaultyOps::Op;

class CopyPassTest : public ::testing::Test {
 protected:
  CopyPassTest() {
    std::string pattern = (fs::temp_directory_path() / "brastel-copy-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp");
    root_ = pattern;
    fs::create_directories(local());
    fs::create_directories(remote());
  }
  ~CopyPassTest() override {
    std::error_code ec;
    fs::remove_all(root_, ec);
  }

  fs::path local() const { return root_ / "data"; }
  fs::path remote() const { return root_ / "remote"; }
  static void write(const fs::path& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
  }
  static std::string read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  static std::set<std::string> names(const fs::path& dir) {
    std::set<std::string> out;
    for (const auto& e : fs::directory_iterator(dir)) out.insert(e.path().filename().string());
    return out;
  }
  // Runs a pass over data/*.dat; the files refused with code 58 land in `exists_`.
  int pass(const std::string& ext = "DAT", const std::string& local_path = "") {
    std::string lp = local_path.empty() ? (local() / "*.dat").string() : local_path;
    return copy_pass(ops_, parse_local_path(lp), remote(), ext, [this](const CopyError& e) {
      EXPECT_EQ(e.code(), kCodeFileExists);
      exists_.push_back(e.what());
    });
  }
  // The code of the CopyError that ends a pass.
  std::int32_t failing_pass() {
    try {
      pass();
    } catch (const CopyError& e) {
      return e.code();
    }
    return 0;
  }

  fs::path root_;
  FaultyOps ops_;
  std::vector<std::string> exists_;
};

TEST_F(CopyPassTest, MovesMatchingFilesWithTheirContentAndLeavesOthers) {
  std::string big(200 * 1024 + 7, 'x');  // beyond one read buffer
  big[12345] = '\0';
  write(local() / "1_20261206053100.dat", big);
  write(local() / "2_20261206053100.DAT", "two\r\n");
  write(local() / "3_20261206053100.dat.bak", "bak");
  write(local() / "4_20261206053100.ip", "ip");
  fs::create_directory(local() / "sub.dat");  // folders are not files

  EXPECT_EQ(pass(), 2);
  EXPECT_EQ(read(remote() / "1_20261206053100.dat"), big);
  EXPECT_EQ(read(remote() / "2_20261206053100.DAT"), "two\r\n");
  EXPECT_EQ(names(remote()),
            (std::set<std::string>{"1_20261206053100.dat", "2_20261206053100.DAT"}));
  EXPECT_EQ(names(local()),
            (std::set<std::string>{"3_20261206053100.dat.bak", "4_20261206053100.ip", "sub.dat"}));
  EXPECT_TRUE(exists_.empty());
}

TEST_F(CopyPassTest, AFolderWithoutPatternTakesEveryFileOfTheExtension) {
  write(local() / "a.txt", "a");
  write(local() / "b.dat", "b");
  EXPECT_EQ(pass("TXT", local().string()), 1);
  EXPECT_TRUE(fs::exists(remote() / "a.txt"));
  EXPECT_TRUE(fs::exists(local() / "b.dat"));
}

TEST_F(CopyPassTest, ThePatternNarrowsWhatTheExtensionSelects) {
  write(local() / "1_a.dat", "1");
  write(local() / "2_a.dat", "2");
  EXPECT_EQ(pass("DAT", (local() / "1_*").string()), 1);
  EXPECT_EQ(names(local()), (std::set<std::string>{"2_a.dat"}));
}

TEST_F(CopyPassTest, AnExistingTargetIsCode58TheLocalFileKeptAndTheOthersMoved) {
  write(local() / "a.dat", "new a");
  write(local() / "b.dat", "b");
  write(local() / "c.dat", "c");
  write(remote() / "b.dat", "old b");

  EXPECT_EQ(pass(), 2);
  ASSERT_EQ(exists_.size(), 1u);
  EXPECT_NE(exists_[0].find((remote() / "b.dat").string()), std::string::npos);
  EXPECT_EQ(read(remote() / "b.dat"), "old b");
  EXPECT_EQ(read(local() / "b.dat"), "b");
  EXPECT_EQ(names(local()), (std::set<std::string>{"b.dat"}));
  EXPECT_EQ(names(remote()), (std::set<std::string>{"a.dat", "b.dat", "c.dat"}));
}

TEST_F(CopyPassTest, ATargetThatAppearsDuringTheCopyIsNeverReplaced) {
  write(local() / "a.dat", "mine");
  ops_.before_rename("a.dat", [&] { write(remote() / "a.dat", "theirs"); });
  EXPECT_EQ(pass(), 0);
  ASSERT_EQ(exists_.size(), 1u);
  EXPECT_EQ(read(remote() / "a.dat"), "theirs");
  EXPECT_EQ(read(local() / "a.dat"), "mine");
  EXPECT_EQ(names(remote()), (std::set<std::string>{"a.dat"}));  // no temporary file left
}

TEST_F(CopyPassTest, AFullRemoteDiskLeavesNoFileUnderTheFinalNameAndKeepsTheLocalOne) {
  write(local() / "a.dat", std::string(10000, 'a'));
  ops_.fail(Op::kAppend, "a.dat", ENOSPC);
  EXPECT_EQ(failing_pass(), kCodeDiskFull);
  EXPECT_TRUE(names(remote()).empty());
  EXPECT_EQ(read(local() / "a.dat"), std::string(10000, 'a'));
}

TEST_F(CopyPassTest, AFailedSyncOrRenameKeepsTheLocalFile) {
  for (Op op : {Op::kSync, Op::kRename}) {
    write(local() / "a.dat", "a");
    ops_.fail(op, "a.dat", EIO);
    EXPECT_EQ(failing_pass(), kCodeDeviceIo);
    EXPECT_TRUE(names(remote()).empty());
    EXPECT_TRUE(fs::exists(local() / "a.dat"));
  }
}

TEST_F(CopyPassTest, OneFolderSyncServesABatchAndPrecedesEveryDeletion) {
  for (int i = 0; i < 70; ++i) write(local() / (std::to_string(100 + i) + ".dat"), std::to_string(i));
  EXPECT_EQ(pass(), 70);
  EXPECT_TRUE(names(local()).empty());
  EXPECT_EQ(ops_.folder_syncs, 2);
  std::set<std::string> renamed_before_sync, synced;
  for (const auto& call : ops_.calls) {
    if (call.rfind("rename ", 0) == 0) renamed_before_sync.insert(call.substr(7));
    if (call == "sync folder") synced.insert(renamed_before_sync.begin(), renamed_before_sync.end());
    if (call.rfind("remove ", 0) == 0) {
      EXPECT_TRUE(synced.count(call.substr(7))) << call << " before its folder sync";
    }
  }
}

TEST_F(CopyPassTest, AFailedFolderSyncKeepsEveryLocalFileOfTheBatch) {
  for (const char* n : {"a.dat", "b.dat"}) write(local() / n, n);
  ops_.fail(Op::kSyncFolder, "remote", EIO);
  EXPECT_EQ(failing_pass(), kCodeDeviceIo);
  EXPECT_EQ(names(local()), (std::set<std::string>{"a.dat", "b.dat"}));
  EXPECT_EQ(ops_.removes, 0);
}

TEST_F(CopyPassTest, AMoveCutOffBeforeItsDeletionIsFinishedOnlyWhenTheBytesAreTheSame) {
  std::string big(100 * 1024 + 3, 'q');
  write(local() / "a.dat", big);
  write(remote() / "a.dat", big);  // renamed, then killed before the deletion
  write(local() / "b.dat", big + "x");
  write(remote() / "b.dat", big);  // same name, other bytes: not ours to finish
  write(local() / "c.dat", "short");
  write(remote() / "c.dat", "shorter");
  EXPECT_EQ(pass(), 1);
  EXPECT_EQ(names(local()), (std::set<std::string>{"b.dat", "c.dat"}));
  EXPECT_EQ(exists_.size(), 2u);
  EXPECT_EQ(read(remote() / "a.dat"), big);
  EXPECT_EQ(read(remote() / "b.dat"), big);
}

// The file copied before the failure is finished (folder synced, local deleted) first.
TEST_F(CopyPassTest, AFailureEndsThePassAndLeavesTheFilesNotYetReached) {
  for (const char* n : {"a.dat", "b.dat", "c.dat"}) write(local() / n, n);
  std::vector<std::string> order = real_file_ops().list(local());
  ops_.fail(Op::kCreate, order[1], EACCES);
  EXPECT_EQ(failing_pass(), kCodePermissionDenied);
  EXPECT_EQ(names(remote()), (std::set<std::string>{order[0]}));
  EXPECT_EQ(names(local()), (std::set<std::string>{order[1], order[2]}));
}

TEST_F(CopyPassTest, ALocalFileThatVanishesIsFileNotFound) {
  write(local() / "a.dat", "a");
  ops_.fail(Op::kOpenRead, "a.dat", ENOENT);
  EXPECT_EQ(failing_pass(), kCodeFileNotFound);
  EXPECT_TRUE(names(remote()).empty());
}

TEST_F(CopyPassTest, AReadErrorOfTheLocalFileRemovesThePartialCopy) {
  write(local() / "a.dat", "a");
  ops_.fail(Op::kRead, "a.dat", EIO);
  EXPECT_EQ(failing_pass(), kCodeDeviceIo);
  EXPECT_TRUE(names(remote()).empty());
  EXPECT_TRUE(fs::exists(local() / "a.dat"));
}

TEST_F(CopyPassTest, ALocalFileThatCannotBeDeletedIsKeptAndItsCopyIsComplete) {
  write(local() / "a.dat", "content");
  ops_.fail(Op::kRemove, "a.dat", EBUSY);
  EXPECT_EQ(failing_pass(), kCodePathFileAccess);
  EXPECT_EQ(read(remote() / "a.dat"), "content");
  EXPECT_EQ(read(local() / "a.dat"), "content");
}

TEST_F(CopyPassTest, AnEmptyRemotePathMovesNothing) {
  write(local() / "a.dat", "a");
  try {
    copy_pass(ops_, parse_local_path(local().string()), "", "DAT", [](const CopyError&) {});
    FAIL() << "no error";
  } catch (const CopyError& e) {
    EXPECT_EQ(e.code(), kCodePathNotFound);
  }
  EXPECT_TRUE(fs::exists(local() / "a.dat"));
}

// Checking a cut-off move compares a file with itself there: found identical, it was deleted.
TEST_F(CopyPassTest, ARemoteFolderThatIsTheLocalFolderIsCode58AndTouchesNothing) {
  write(local() / "a.dat", "a");
  write(local() / "b.dat", "b");
  fs::create_directory_symlink(local(), root_ / "link");
  for (const fs::path& same : {local(), remote() / ".." / "data" / "", root_ / "link"}) {
    try {
      copy_pass(ops_, parse_local_path((local() / "*.dat").string()), same, "DAT",
                [](const CopyError& e) { ADD_FAILURE() << e.what(); });
      ADD_FAILURE() << same << ": no error";
    } catch (const CopyError& e) {
      EXPECT_EQ(e.code(), kCodeFileExists);
      EXPECT_NE(std::string(e.what()).find("RemotePath and LocalPath are the same folder"), std::string::npos);
    }
    EXPECT_EQ(names(local()), (std::set<std::string>{"a.dat", "b.dat"})) << same;
    EXPECT_EQ(read(local() / "a.dat"), "a");
  }
  EXPECT_EQ(ops_.removes, 0);
}

TEST_F(CopyPassTest, ATargetThatIsTheLocalFileItselfIsCode58AndNeverFinished) {
  write(local() / "a.dat", "a");
  write(local() / "b.dat", "b");
  write(local() / "c.dat", "c");
  fs::create_symlink(local() / "a.dat", remote() / "a.dat");
  fs::create_symlink(local() / "b.dat", remote() / temp_name("b.dat"));  // the copy would empty it
  fs::create_hard_link(local() / "c.dat", remote() / "c.dat");
  EXPECT_EQ(pass(), 0);
  ASSERT_EQ(exists_.size(), 3u);
  EXPECT_NE(exists_[0].find(" is the local file itself"), std::string::npos);
  EXPECT_EQ(read(local() / "a.dat") + read(local() / "b.dat") + read(local() / "c.dat"), "abc");
  EXPECT_EQ(ops_.removes, 0);
}

TEST_F(CopyPassTest, ALeftoverTemporaryFileIsOverwritten) {
  write(local() / "a.dat", "whole");
  write(remote() / temp_name("a.dat"), "partial garbage from a crash, longer than the file");
  EXPECT_EQ(pass(), 1);
  EXPECT_EQ(read(remote() / "a.dat"), "whole");
  EXPECT_EQ(names(remote()), (std::set<std::string>{"a.dat"}));
}

TEST(CopyErrorCodes, ARejectedKeyOfTheRemoteMountIsALogonFailure) {
  EXPECT_EQ(code_for_errno(EKEYEXPIRED, true), -2147023570);
  EXPECT_EQ(code_for_errno(ENOKEY, true), -2147023570);
  EXPECT_EQ(code_for_errno(EKEYEXPIRED, false), kCodePermissionDenied);
}

TEST(CopyErrorCodes, TheTemporaryNameIsHiddenAndNotOfTheDataExtension) {
  std::string t = temp_name("1_20261206053100.dat");
  EXPECT_EQ(t.front(), '.');
  EXPECT_NE(t.substr(t.size() - 4), ".dat");
}

}  // namespace
}  // namespace ralvek::brastel

#include "file_service.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iterator>

namespace ralvek::brastel {
namespace {

namespace fs = std::filesystem;

// The real operations, except that creating a file in the remote folder fails.
class RefusingRemote final : public FileOps {
 public:
  explicit RefusingRemote(int error) : error_(error) {}
  std::vector<std::string> list(const fs::path& dir) override { return real().list(dir); }
  bool exists(const fs::path& path) override { return real().exists(path); }
  bool same_file(const fs::path& a, const fs::path& b) override { return real().same_file(a, b); }
  std::unique_ptr<SourceFile> open_read(const fs::path& path) override {
    return real().open_read(path);
  }
  std::unique_ptr<platform::WritableFile> create(const fs::path& path) override {
    throw platform::FileError(error_, path);
  }
  void rename_new(const fs::path& from, const fs::path& to) override { real().rename_new(from, to); }
  void sync_folder(const fs::path& dir) override { real().sync_folder(dir); }
  void remove(const fs::path& path) override { real().remove(path); }

 private:
  static FileOps& real() { return real_file_ops(); }
  int error_;
};

// One debug run of the service in a program directory of its own, in this process.
class FileServiceTest : public ::testing::Test {
 protected:
  FileServiceTest() {
    std::string pattern = (fs::temp_directory_path() / "brastel-svc-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp");
    home_ = pattern;
    fs::create_directories(home_ / "data");
    fs::create_directories(home_ / "remote");
    ::setenv("RALVEK_HOME", home_.c_str(), 1);
    std::ofstream(home_ / "brastel.ini")
        << "[Service]\nMaxErrCount=1\nRemotePath=" << (home_ / "remote").string() << "\n";
    std::ofstream(home_ / "data" / "a.dat") << "a";
  }
  ~FileServiceTest() override {
    ::unsetenv("RALVEK_HOME");
    std::error_code ec;
    fs::remove_all(home_, ec);
  }

  // One debug run whose cycle fails: it ends with status 1.
  std::string debug_run(FileOps& ops) {
    frmService service(ops);
    std::string arg0 = "brastel", arg1 = "--debug";
    char* argv[] = {arg0.data(), arg1.data(), nullptr};
    EXPECT_EQ(service.run(2, argv), 1);
    std::ifstream in(home_ / "brastel.log", std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }

  fs::path home_;
};

TEST_F(FileServiceTest, AFailedLogOnToTheRemotePlaceHasItsOwnText) {
  RefusingRemote ops(EKEYEXPIRED);
  std::string log = debug_run(ops);
  EXPECT_NE(
      log.find("\tUnknown error, possibly service user has no permission to access network path, "
               "Code: -2147023570\r\n\tProcedure: ServiceProcess\r\n"),
      std::string::npos)
      << log;
  EXPECT_NE(log.find("\tService error count is 1\r\n\tService will stop.\r\n"), std::string::npos)
      << log;
  EXPECT_TRUE(fs::exists(home_ / "data" / "a.dat"));
}

TEST_F(FileServiceTest, AFullRemoteDiskIsCode61WithThePath) {
  RefusingRemote ops(ENOSPC);
  std::string log = debug_run(ops);
  EXPECT_NE(log.find("\tNo space left on device: " + (home_ / "remote" / ".a.dat.part").string() +
                     ", Code: 61\r\n\tProcedure: ServiceProcess\r\n"),
            std::string::npos)
      << log;
  EXPECT_TRUE(fs::exists(home_ / "data" / "a.dat"));
  EXPECT_TRUE(fs::is_empty(home_ / "remote"));
}

}  // namespace
}  // namespace ralvek::brastel

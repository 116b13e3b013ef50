// clsLogger::Log entries per second, written to a real file in the temporary folder.

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "pemrod/cls_logger.h"

namespace {

using ralvek::pemrod::clsLogger;

class TempFolder {
 public:
  TempFolder() {
    std::string templ = (std::filesystem::temp_directory_path() / "pemrod_bench_XXXXXX").string();
    if (mkdtemp(templ.data()) != nullptr) path_ = templ;
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// `kb` limit: 0 = no limit (never rolls over); 1024 = the default (rolls over every ~14,000
// entries of this size, so the rename and reopen are part of the figure).
void BM_Log(benchmark::State& state) {
  TempFolder dir;
  clsLogger log;
  log.LogPath(dir.path());
  log.LogFile("bench.log");
  log.MaxSize(static_cast<std::int32_t>(state.range(0)));
  const std::string line = "file_20261207081502_00001.dat copied to /mnt/remote/";
  for (auto _ : state) {
    log.Log("1 file(s) copied.", line);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Log)->Arg(0)->Arg(1024);

void BM_LogTenLines(benchmark::State& state) {
  TempFolder dir;
  clsLogger log;
  log.LogPath(dir.path());
  log.LogFile("bench.log");
  log.MaxSize(0);
  const std::string message =
      "Error line one\r\n\r\nProcedure: ServiceProcess\r\nline\r\nline\r\nline\r\n\r\n\r\nend";
  for (auto _ : state) {
    log.Log(message, "second", "third");
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LogTenLines);

}  // namespace

BENCHMARK_MAIN();

#pragma once

#include <asio/io_context.hpp>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

#include "platform/files.h"

// Finishing a collector's temporary files into ".dat" files off the event loop.
//
// A rotation closes many files, and each must be fsynced, renamed and its folder fsynced before
// its ".dat" may appear: on a real disk that is milliseconds a file. The loop hands each file to
// the Finisher and goes back to its sockets; one background thread (the only thread of a program
// besides its loop) does the disk work in the order the files were handed over, and reports
// failures back on the loop.
//
// New files: the thread keeps unnamed files ready in the folders the loop opens files in
// (FileSystem::open_unnamed), and the loop gives one its name. Creating a file is what is slow
// (a file system may scan past many recently deleted inodes for a free one); naming is not.
//
// Names: every temporary file the loop has open, and every file handed over until its finish is
// done, is "claimed". A sweep of the folder only takes unclaimed files, and the loop only opens
// a name it could claim, so the sweep never takes an open file and a name is never reused while
// its finish is pending.
namespace ralvek::files {

class Finisher {
 public:
  // Runs on the loop's thread with the system's text of a failure (file name included).
  using OnError = std::function<void(const std::string& description)>;

  // `io` is the loop that failures are reported on; `fs` must outlive this object.
  Finisher(asio::io_context& io, platform::FileSystem& fs);
  // Finishes everything handed over (failures are then not reported), then ends the thread.
  ~Finisher();
  Finisher(const Finisher&) = delete;
  Finisher& operator=(const Finisher&) = delete;

  // Claims the name of a file the loop is about to open: false when it is taken (open, or its
  // finish or a sweep of it pending). The claim lasts until release() or the file's finish.
  bool claim(const std::filesystem::path& file);
  // Ends the claim of a file the loop closed and leaves as it is (the next sweep takes it).
  void release(const std::filesystem::path& file);

  // Takes over an open, claimed temporary file: it is synced, closed and renamed to its base
  // name + ".dat" without replacing an existing file, and the folder is synced; an empty file is
  // deleted instead. A file that fails stays as it is (for the next sweep); `on_error` is told.
  void finish(std::unique_ptr<platform::WritableFile> file, const std::filesystem::path& path,
              OnError on_error);
  // The same for a temporary file already closed (non-empty; the caller checked).
  void finish_closed(const std::filesystem::path& path, OnError on_error);
  // Finishes every unclaimed temporary file with extension `ext` (compared without case) in
  // `dir`, as finish_temp_files() does, after every file handed over before. A sweep that has not
  // begun yet already covers a new request for the same folder.
  void sweep(const std::filesystem::path& dir, const std::string& ext, OnError on_error);

  // Opens the claimed name `path` for appending: a ready unnamed file of its folder takes the
  // name; when none is ready or the name exists, the file system's open() (an existing file is
  // appended to, never replaced). Every file asked for is made again at once, before any
  // finishing (at most 256 a folder wait, fewer under a low descriptor limit), so a rotation
  // finds as many as the one before took.
  // Unnamed files vanish when closed: nothing is left after a kill.
  std::unique_ptr<platform::WritableFile> open_claimed(const std::filesystem::path& path);
  // Asks for `count` unnamed files in `dir` (at most as above) before anything handed over: a
  // start with many sources then names its first files as quickly as those of later periods.
  void prepare(const std::filesystem::path& dir, std::size_t count);

  // Blocks until everything handed over is finished, then reports the failures at once, on the
  // calling thread (the loop's). For the start's sweep and an orderly stop.
  void wait_idle();

 private:
  struct Job {
    enum class Kind { kOpen, kClosed, kSweep } kind;
    std::unique_ptr<platform::WritableFile> file;
    std::filesystem::path path;  // the file, or the folder of a sweep
    std::string ext;
    OnError on_error;
  };

  struct Pool {
    std::vector<std::unique_ptr<platform::WritableFile>> ready;
    std::size_t asked = 0;  // files asked for since the last refill
    bool refused = false;   // the folder has no unnamed files: never asked again
  };

  void push(Job job);
  // The pool of `dir`, or nullptr where unnamed files are not kept. Called with mutex_ held.
  Pool* usable_pool(const std::filesystem::path& dir);
  void want_refill(std::unique_lock<std::mutex>& lock);
  void refill_pools();
  void run();
  std::vector<Job> next_batch(std::unique_lock<std::mutex>& lock);
  void finish_open(std::vector<Job>& batch);
  void finish_one_closed(Job& job);
  void run_sweep(Job& job);
  void report(const OnError& on_error, std::string description);
  void deliver();

  asio::io_context& io_;
  platform::FileSystem& fs_;
  std::shared_ptr<int> alive_ = std::make_shared<int>(0);  // guards reports posted to the loop

  std::mutex mutex_;
  std::condition_variable work_;  // a job was queued, or the end
  std::condition_variable idle_;  // no job queued or in hand
  std::deque<Job> jobs_;
  std::set<std::string> queued_sweeps_;  // folder + ext of sweeps not begun
  std::unordered_set<std::string> claims_;
  std::map<std::filesystem::path, Pool> pools_;  // by folder
  std::vector<std::function<void()>> reports_;
  bool refill_wanted_ = false;  // the loop took or asked for a new file since the last refill
  bool busy_ = false;
  bool stopping_ = false;
  bool delivery_posted_ = false;
  std::thread thread_;  // started with the first job
};

}  // namespace ralvek::files

#include "files/finisher.h"

#include <algorithm>
#include <asio/post.hpp>

#include "files/data_files.h"
#include "platform/process.h"

namespace ralvek::files {
namespace {

// Files synced in one go: their writeback is started together, and one folder sync covers
// their renames.
constexpr std::size_t kBatch = 64;
// Unnamed files kept ready in one folder, at most: each holds an inode, no disk space, and a
// descriptor, so a low descriptor limit (sockets need them more) keeps fewer.
std::size_t pool_limit() {
  static const std::size_t limit = std::min<std::size_t>(256, platform::open_files_limit() / 16);
  return limit;
}

std::filesystem::path dat_path(const std::filesystem::path& temp) {
  return temp.parent_path() / (base_name(temp.filename().string()) + ".dat");
}

}  // namespace

Finisher::Finisher(asio::io_context& io, platform::FileSystem& fs) : io_(io), fs_(fs) {}

Finisher::~Finisher() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  work_.notify_all();
  if (thread_.joinable()) thread_.join();
}

bool Finisher::claim(const std::filesystem::path& file) {
  std::lock_guard lock(mutex_);
  return claims_.insert(file.string()).second;
}

void Finisher::release(const std::filesystem::path& file) {
  std::lock_guard lock(mutex_);
  claims_.erase(file.string());
}

void Finisher::finish(std::unique_ptr<platform::WritableFile> file, const std::filesystem::path& path,
                      OnError on_error) {
  push({Job::Kind::kOpen, std::move(file), path, {}, std::move(on_error)});
}

void Finisher::finish_closed(const std::filesystem::path& path, OnError on_error) {
  push({Job::Kind::kClosed, nullptr, path, {}, std::move(on_error)});
}

void Finisher::sweep(const std::filesystem::path& dir, const std::string& ext, OnError on_error) {
  {
    std::lock_guard lock(mutex_);
    if (queued_sweeps_.count(dir.string() + '\n' + ext)) return;
  }
  push({Job::Kind::kSweep, nullptr, dir, ext, std::move(on_error)});
}

void Finisher::push(Job job) {
  bool was_empty = false;
  {
    std::lock_guard lock(mutex_);
    if (job.kind == Job::Kind::kSweep) queued_sweeps_.insert(job.path.string() + '\n' + job.ext);
    if (job.kind == Job::Kind::kClosed) claims_.insert(job.path.string());
    was_empty = jobs_.empty();
    jobs_.push_back(std::move(job));
    if (!thread_.joinable()) thread_ = std::thread([this] { run(); });
  }
  // The thread waits only on an empty queue: a rotation of 200 files wakes it once, not 200 times.
  if (was_empty) work_.notify_one();
}

std::unique_ptr<platform::WritableFile> Finisher::open_claimed(const std::filesystem::path& path) {
  std::unique_ptr<platform::WritableFile> file;
  {
    std::unique_lock lock(mutex_);
    if (Pool* pool = usable_pool(path.parent_path())) {
      pool->asked = std::min(pool->asked + 1, pool_limit());
      if (!pool->ready.empty()) {
        file = std::move(pool->ready.back());
        pool->ready.pop_back();
      }
      want_refill(lock);
    }
  }
  if (file && file->link_as(path)) return file;
  return fs_.open(path, platform::OpenMode::kAppend);
}

void Finisher::prepare(const std::filesystem::path& dir, std::size_t count) {
  std::unique_lock lock(mutex_);
  Pool* pool = usable_pool(dir);
  if (!pool) return;
  pool->asked = std::min(std::max(pool->asked, count), pool_limit());
  want_refill(lock);
}

Finisher::Pool* Finisher::usable_pool(const std::filesystem::path& dir) {
  Pool& pool = pools_[dir];
  return pool.refused || pool_limit() == 0 ? nullptr : &pool;
}

// Wakes the thread once per refill, not once per file taken.
void Finisher::want_refill(std::unique_lock<std::mutex>& lock) {
  bool wake = !refill_wanted_;
  refill_wanted_ = true;
  if (!thread_.joinable()) thread_ = std::thread([this] { run(); });
  lock.unlock();
  if (wake) work_.notify_one();
}

void Finisher::wait_idle() {
  {
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return jobs_.empty() && !busy_; });
  }
  deliver();
}

void Finisher::run() {
  // The disk can wait; the loop's sockets cannot.
  platform::lower_this_thread_priority();
  std::unique_lock lock(mutex_);
  for (;;) {
    work_.wait(lock, [this] { return stopping_ || !jobs_.empty() || refill_wanted_; });
    // New files before finishing: without them the loop makes its own, slowly, while a
    // finish only makes a ".dat" appear a little later.
    if (refill_wanted_ && !stopping_) {
      refill_wanted_ = false;
      lock.unlock();
      refill_pools();
      lock.lock();
      continue;
    }
    if (jobs_.empty()) return;  // stopping, and everything handed over is done
    std::vector<Job> batch = next_batch(lock);
    busy_ = true;
    lock.unlock();
    if (batch.front().kind == Job::Kind::kOpen) finish_open(batch);
    if (batch.front().kind == Job::Kind::kClosed) finish_one_closed(batch.front());
    if (batch.front().kind == Job::Kind::kSweep) run_sweep(batch.front());
    batch.clear();  // closes what a failure left open, outside the lock
    lock.lock();
    busy_ = false;
    if (jobs_.empty()) idle_.notify_all();
  }
}

// Open files handed over one after the other go together; anything else goes alone, in order.
std::vector<Finisher::Job> Finisher::next_batch(std::unique_lock<std::mutex>&) {
  std::vector<Job> batch;
  do {
    batch.push_back(std::move(jobs_.front()));
    jobs_.pop_front();
  } while (batch.front().kind == Job::Kind::kOpen && batch.size() < kBatch && !jobs_.empty() &&
           jobs_.front().kind == Job::Kind::kOpen);
  if (batch.front().kind == Job::Kind::kSweep) {
    queued_sweeps_.erase(batch.front().path.string() + '\n' + batch.front().ext);
  }
  return batch;
}

void Finisher::finish_open(std::vector<Job>& batch) {
  for (auto& job : batch) job.file->start_writeback();
  // folder -> the report of the first file renamed into it
  std::vector<std::pair<std::filesystem::path, const OnError*>> folders;
  for (auto& job : batch) {
    try {
      job.file->sync();
      auto size = job.file->size();
      job.file.reset();
      if (size && *size == 0) {
        fs_.remove(job.path);
      } else {
        platform::rename_no_replace(job.path, dat_path(job.path));
        auto folder = job.path.parent_path();
        bool known = false;
        for (const auto& f : folders) known |= f.first == folder;
        if (!known) folders.emplace_back(folder, &job.on_error);
      }
    } catch (const std::exception& e) {
      report(job.on_error, e.what());
    }
  }
  for (const auto& [folder, on_error] : folders) {
    try {
      platform::sync_directory(folder);
    } catch (const std::exception& e) {
      report(*on_error, e.what());
    }
  }
  // Only now may the names be taken again: the renames are durable.
  std::lock_guard lock(mutex_);
  for (const auto& job : batch) claims_.erase(job.path.string());
}

void Finisher::refill_pools() {
  std::vector<std::pair<std::filesystem::path, std::size_t>> wanted;
  {
    std::lock_guard lock(mutex_);
    for (auto& [dir, pool] : pools_) {
      std::size_t room = pool_limit() - std::min(pool.ready.size(), pool_limit());
      if (!pool.refused && pool.asked > 0 && room > 0) wanted.emplace_back(dir, std::min(pool.asked, room));
      pool.asked = 0;
    }
  }
  for (const auto& [dir, count] : wanted) {
    std::vector<std::unique_ptr<platform::WritableFile>> made;
    bool refused = false;
    try {
      while (made.size() < count && !refused) {
        auto file = fs_.open_unnamed(dir);
        refused = !file;
        if (file) made.push_back(std::move(file));
      }
    } catch (const std::exception&) {
      // The loop opens its files as before and reports what fails there; the next file it asks
      // for tries again.
    }
    std::lock_guard lock(mutex_);
    Pool& pool = pools_[dir];
    pool.refused |= refused;
    pool.asked = std::min(pool.asked + (count - made.size()), pool_limit());
    for (auto& file : made) pool.ready.push_back(std::move(file));
  }
}

void Finisher::finish_one_closed(Job& job) {
  try {
    fs_.publish(job.path, dat_path(job.path));
  } catch (const std::exception& e) {
    report(job.on_error, e.what());
  }
  release(job.path);
}

void Finisher::run_sweep(Job& job) {
  std::vector<platform::DirEntry> entries;
  try {
    entries = fs_.list_with_extension(job.path, job.ext);
  } catch (const std::exception& e) {
    report(job.on_error, e.what());
    return;
  }
  for (const auto& entry : entries) {
    if (lower_extension(entry.name) != job.ext) continue;
    auto file = job.path / entry.name;
    if (!claim(file)) continue;  // open in the loop, or its own finish is queued
    try {
      if (entry.size != 0) {
        fs_.publish(file, dat_path(file));
      } else {
        fs_.remove(file);
      }
    } catch (const std::exception& e) {
      report(job.on_error, e.what());
    }
    release(file);
  }
}

void Finisher::report(const OnError& on_error, std::string description) {
  if (!on_error) return;
  std::lock_guard lock(mutex_);
  reports_.push_back([on_error, description = std::move(description)] { on_error(description); });
  if (delivery_posted_) return;
  delivery_posted_ = true;
  asio::post(io_, [this, alive = std::weak_ptr<int>(alive_)] {
    if (alive.lock()) deliver();
  });
}

void Finisher::deliver() {
  std::vector<std::function<void()>> reports;
  {
    std::lock_guard lock(mutex_);
    reports.swap(reports_);
    delivery_posted_ = false;
  }
  for (auto& r : reports) r();
}

}  // namespace ralvek::files

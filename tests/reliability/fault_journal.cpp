#include "fault_journal.h"

#include <cstdlib>
#include <fstream>

namespace ralvek::reliability {

std::vector<FileOperation> read_journal(const std::filesystem::path& file) {
  std::vector<FileOperation> journal;
  std::ifstream in(file);
  std::string line;
  while (std::getline(in, line)) {
    FileOperation op;
    // "write <n> <path>" and "write-partial <n> <path>" carry a count before the path.
    size_t space = line.find(' ');
    op.operation = line.substr(0, space);
    std::string rest = space == std::string::npos ? "" : line.substr(space + 1);
    if (op.operation.rfind("write", 0) == 0 && op.operation != "write-refused") {
      size_t count_end = rest.find(' ');
      op.operation += ' ';
      op.operation += rest.substr(0, count_end);
      rest = count_end == std::string::npos ? "" : rest.substr(count_end + 1);
    }
    size_t second = rest.find(" /");
    op.path = rest.substr(0, second);
    if (second != std::string::npos) op.other = rest.substr(second + 1);
    journal.push_back(std::move(op));
  }
  return journal;
}

std::vector<std::string> publishing_faults(const std::vector<FileOperation>& journal, int& renames,
                                           bool killed) {
  std::vector<std::string> faults;
  renames = 0;
  for (size_t i = 0; i < journal.size(); ++i) {
    const auto& op = journal[i];
    if (op.operation != "rename" || op.other.size() < 4 || op.other.substr(op.other.size() - 4) != ".dat") continue;
    ++renames;
    // Walk back from the rename: an fsync of the file must come before any write to it.
    bool synced = false;
    for (size_t j = i; j-- > 0;) {
      const auto& before = journal[j];
      if (before.path != op.path) continue;
      if (before.operation == "fsync" || before.operation == "fdatasync") {
        synced = true;
        break;
      }
      if (before.operation.rfind("write", 0) == 0 || before.operation == "open") break;
    }
    if (!synced) faults.push_back("renamed without fsync after its last write: " + op.path);
    std::string dir = std::filesystem::path(op.other).parent_path().string();
    bool dir_synced = false;
    for (size_t j = i + 1; j < journal.size() && !dir_synced; ++j) {
      dir_synced = journal[j].path == dir && journal[j].operation == "fsync";
    }
    // A killed run may end between renames and the one folder sync that makes them durable;
    // deletion_faults() checks that nothing relied on them before that sync.
    if (!dir_synced && !killed) faults.push_back("directory not fsynced after the rename to " + op.other);
  }
  return faults;
}

std::vector<std::string> deletion_faults(const std::vector<FileOperation>& journal,
                                         const std::filesystem::path& local_dir,
                                         const std::filesystem::path& remote_dir) {
  std::vector<std::string> faults;
  for (size_t i = 0; i < journal.size(); ++i) {
    if (journal[i].operation != "unlink") continue;
    std::filesystem::path local(journal[i].path);
    if (local.parent_path() != local_dir) continue;
    std::string final_name = (remote_dir / local.filename()).string();
    long renamed = -1, dir_synced = -1;
    for (size_t j = 0; j < i; ++j) {
      if (journal[j].operation == "rename" && journal[j].other == final_name) renamed = static_cast<long>(j);
      if (renamed >= 0 && journal[j].operation == "fsync" && journal[j].path == remote_dir.string()) {
        dir_synced = static_cast<long>(j);
      }
    }
    if (renamed < 0) faults.push_back("deleted before its copy had its final name: " + local.string());
    else if (dir_synced < 0) faults.push_back("deleted before the remote folder was synced: " + local.string());
  }
  return faults;
}

FaultLayer::FaultLayer(const std::filesystem::path& home, const std::vector<std::filesystem::path>& dirs)
    : journal(home / "fault-journal.txt"), disk_full(home / "fault-disk-full"), unwritable(home / "fault-unwritable") {
  std::string watched;
  for (const auto& dir : dirs) {
    std::filesystem::create_directories(dir);
    if (!watched.empty()) watched += ':';
    watched += std::filesystem::canonical(dir).string();
  }
  env["LD_PRELOAD"] = FAULT_SHIM;
  env["RALVEK_FAULT_DIR"] = watched;
  env["RALVEK_FAULT_LOG"] = journal.string();
  env["RALVEK_FAULT_ENOSPC"] = disk_full.string();
  env["RALVEK_FAULT_EACCES"] = unwritable.string();
  // A sanitized program checks that its runtime comes first; the layer must come before it.
  const char* asan = std::getenv("ASAN_OPTIONS");
  env["ASAN_OPTIONS"] = std::string(asan && *asan ? std::string(asan) + ":" : "") + "verify_asan_link_order=0";
}

void FaultLayer::set_disk_full(bool full, bool partial) const {
  if (full) {
    std::ofstream(disk_full, std::ios::trunc) << (partial ? "partial" : "full");
  } else {
    std::filesystem::remove(disk_full);
  }
}

void FaultLayer::set_unwritable(bool on) const {
  if (on) {
    std::ofstream(unwritable, std::ios::trunc) << "on";
  } else {
    std::filesystem::remove(unwritable);
  }
}

}  // namespace ralvek::reliability

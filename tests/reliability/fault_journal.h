#pragma once

// The journal that the file-operations fault layer (fault_shim.cpp) writes, and the environment
// that loads the layer into a started program.

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace ralvek::reliability {

struct FileOperation {
  std::string operation;  // open, write <n>, fsync, rename, link, unlink, ...-refused
  std::string path;
  std::string other;  // the new name of a rename or link
};

std::vector<FileOperation> read_journal(const std::filesystem::path& file);

// Every way in which the journal breaks the publishing order of temporary files renamed to
// ".dat": the file is fsynced after its last write and before its rename, and its directory is
// fsynced after the rename. Empty when the order held; `renames` counts the renames seen.
// A `killed` run may miss the directory fsync after its last renames (see deletion_faults).
std::vector<std::string> publishing_faults(const std::vector<FileOperation>& journal, int& renames,
                                           bool killed = false);

// Every way in which the journal deletes a file of `local_dir` before its copy in
// `remote_dir` was renamed to its final name and that folder fsynced.
std::vector<std::string> deletion_faults(const std::vector<FileOperation>& journal,
                                         const std::filesystem::path& local_dir,
                                         const std::filesystem::path& remote_dir);

// Where the layer looks and what it is told. The directories are created and made canonical.
struct FaultLayer {
  FaultLayer(const std::filesystem::path& home, const std::vector<std::filesystem::path>& dirs);
  FaultLayer(const std::filesystem::path& home, const std::filesystem::path& dir)
      : FaultLayer(home, std::vector<std::filesystem::path>{dir}) {}
  std::filesystem::path journal, disk_full, unwritable;
  std::map<std::string, std::string> env;  // to add to a program's environment

  void set_disk_full(bool full, bool partial = false) const;
  void set_unwritable(bool unwritable) const;
};

}  // namespace ralvek::reliability

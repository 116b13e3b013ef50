// The output files of the serial service: create, finish, sweep, and the rotation timer.
#include "com_service.h"
#include "files/data_files.h"

namespace ralvek::serrak {

bool COMService::CreateOutputFile() {
  strOutputFile_ = (strDataPath_ / (strSiteID_ + "_" + parts_.time_stamp() + ".kom")).string();
  try {
    // Appending, never truncating: a repeated time stamp (clock stepped back, daylight saving
    // time ending) or a file whose rename failed must not lose what it already holds.
    tsOutput_ = parts_.fs->open(strOutputFile_, platform::OpenMode::kAppend);
    return true;
  } catch (const std::exception& e) {
    host_.ErrorHandler(e.what(), "CreateOutputFile");
    return false;
  }
}

std::optional<std::uint64_t> COMService::file_size(const std::filesystem::path& path) {
  std::string name = path.filename().string();
  for (const auto& entry : parts_.fs->list(path.parent_path())) {
    if (entry.name == name) return entry.size;
  }
  return std::nullopt;
}

void COMService::RenameCurrentFile() {
  if (!blnFileOK_) return;
  tsOutput_.reset();
  std::filesystem::path file = strOutputFile_;
  try {
    auto size = file_size(file);
    if (!size) return;
    if (*size == 0) {
      parts_.fs->remove(file);
      return;
    }
    if (blnScript_) oScript_->run("Run", strOutputFile_);
  } catch (const std::exception& e) {
    host_.ErrorHandler(e.what(), "RenameCurrentFile");
    return;
  }
  try {
    parts_.fs->publish(file, file.parent_path() / (files::base_name(file.filename().string()) + ".dat"));
  } catch (const std::exception&) {
    // The file stays .kom (the script moved it, or the .dat name is taken); the next start's
    // sweep finishes what is left.
  }
}

void COMService::ChangeComToDat() {
  try {
    files::finish_temp_files(*parts_.fs, strDataPath_, "kom", [this](const std::string& description) {
      host_.ErrorHandler(description, "ChangeComToDat");
    });
  } catch (const std::exception& e) {
    host_.ErrorHandler(e.what(), "ChangeComToDat");
  }
}

void COMService::tmrCreateOutputFile_Timer() {
  try {
    if (lngTicks_ >= lngInterval_) {
      RenameCurrentFile();
      blnFileOK_ = CreateOutputFile();
      lngTicks_ = -1;
      report_status();
    }
    ++lngTicks_;
  } catch (const std::exception& e) {
    blnFileOK_ = false;
    host_.ErrorHandler(e.what(), "CreateOutputFile_Timer");
  }
}

void COMService::report_status() {
  host_.set_status("line " + oCOM1_->device().string() + (oCOM1_->is_open() ? " open" : " closed") +
                   ", " + (blnFileOK_ ? "writing " + std::filesystem::path(strOutputFile_).filename().string()
                                      : std::string("no output file")));
}

}  // namespace ralvek::serrak

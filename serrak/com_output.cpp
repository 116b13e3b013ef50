// The output files of the serial service: create, finish, sweep, and the rotation timer.
#include <chrono>
#include <cstdio>
#include <unordered_set>

#include "com_service.h"
#include "files/data_files.h"

namespace ralvek::serrak {
namespace {

// More taken seconds in a row than this are no clash of periods but something else using the
// names; the plain stamp is used then.
constexpr int kMaxSkippedSeconds = 3600;

// "yyyymmddhhnnss" one second later by the calendar; an unreadable stamp stays as it is.
std::string next_second(const std::string& stamp) {
  using namespace std::chrono;
  if (stamp.size() != 14 || stamp.find_first_not_of("0123456789") != std::string::npos) return stamp;
  auto number = [&](std::size_t at, std::size_t length) { return std::stoi(stamp.substr(at, length)); };
  year_month_day date{year{number(0, 4)}, month{static_cast<unsigned>(number(4, 2))},
                      day{static_cast<unsigned>(number(6, 2))}};
  if (!date.ok()) return stamp;
  sys_seconds time = sys_days{date} + hours{number(8, 2)} + minutes{number(10, 2)} + seconds{number(12, 2) + 1};
  auto midnight = floor<days>(time);
  year_month_day next{midnight};
  hh_mm_ss clock{time - midnight};
  char text[32];
  std::snprintf(text, sizeof(text), "%04d%02u%02u%02d%02d%02d", static_cast<int>(next.year()),
                static_cast<unsigned>(next.month()), static_cast<unsigned>(next.day()),
                static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
                static_cast<int>(clock.seconds().count()));
  return text;
}

}  // namespace

// Two periods begun within one second (a restart right after a crash, a late tick) would share
// a name, and the later file could never be renamed: renames never replace a .dat. The stamp
// moves on to the next second that no .dat or waiting .kom of this site uses.
std::string COMService::free_stamp(std::string stamp) {
  std::unordered_set<std::string> taken;
  try {
    taken = files::names_in_use(*parts_.fs, strDataPath_, strSiteID_ + "_", "kom");
  } catch (const std::exception&) {
    return stamp;  // a missing folder is reported by the open itself
  }
  std::string candidate = stamp;
  for (int skipped = 0; skipped < kMaxSkippedSeconds; ++skipped) {
    if (!taken.contains(strSiteID_ + "_" + candidate)) return candidate;
    candidate = next_second(candidate);
  }
  return stamp;
}

bool COMService::CreateOutputFile() {
  strOutputFile_ = (strDataPath_ / (strSiteID_ + "_" + free_stamp(parts_.time_stamp()) + ".kom")).string();
  try {
    // Appending, never truncating: should the name be taken after all (the folder could not
    // be listed), nothing that file holds is lost.
    tsOutput_ = parts_.fs->open(strOutputFile_, platform::OpenMode::kAppend);
    figures_.on_file_opened(0, strOutputFile_);
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
  figures_.on_file_closed(0);
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
  // The sync and rename run on the finisher, so the line is read on meanwhile. A failure stays
  // silent, as before: the file stays .kom (the script moved it, or the .dat name is taken) and
  // the next start's sweep finishes what is left.
  finisher_.finish_closed(file, nullptr);
}

void COMService::ChangeComToDat() {
  finisher_.wait_idle();  // the sweep never races a finish
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

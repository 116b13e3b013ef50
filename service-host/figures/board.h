#pragma once

#include <asio/io_context.hpp>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "figures/alarm_hours.h"
#include "figures/figures.h"
#include "frame/tick_timer.h"
#include "ini/ini_file.h"

namespace ralvek::figures {

inline constexpr std::int32_t kSilenceEventID = 120;
inline constexpr std::int32_t kSilenceOverEventID = 121;

// The figures of one service with their sources, the silence watch over them, and their
// publication: every few ticks the status file "<program>.status" in the program directory
// (read by `--status`) and, when metrics_file is set, the metrics file, both replaced whole.
//
// A source is known by its number (site, exchange); the hooks take that number and ignore one
// that was never added. All calls on the loop's thread. The board ticks by itself once a
// second (scaled) while started.
class Board {
 public:
  using LogEvent = std::function<void(int evtType, std::int32_t evtID, const std::vector<std::string>&)>;
  Board(asio::io_context& io, std::string program, std::filesystem::path program_dir, LogEvent log);

  // Reads silence_minutes, silence_hours and metrics_file of `section`. Returns a warning text
  // for the caller's start report when silence_hours is not understood (the alarm then keeps
  // to no hours), else an empty text.
  std::string configure(const ini::IniFile& ini, const std::string& section);
  void add_source(int number, std::string label, std::string address);
  // Starts the ticks and publishes at once; `stop` publishes a last time and removes the
  // status file (the instance is going). A run that is not the sole instance (`owner`
  // false) keeps its figures and its alarms but writes no file: those are the instance's.
  void start(bool owner = true);
  void stop();

  // ---- hooks of the collectors ----
  void on_data(int number, std::size_t bytes, std::uint64_t records) {
    SourceFigures* row = find(number);
    if (!row) return;
    row->bytes_today += bytes;
    row->bytes_total += bytes;
    row->records_today += records;
    row->records_total += records;
    row->last_data = now_;
    if (row->alarmed) [[unlikely]] silence_over(*row);
    row->quiet_ticks = 0;
    row->counted_ticks = 0;
  }
  void on_connected(int number, bool connected);
  void on_file_opened(int number, const std::string& name);
  // A closed file that received data is a finished file: the next rename makes it a .dat.
  void on_file_closed(int number);
  void on_write_failed(int number);

  // ---- the file copy service ----
  CopyFigures& copy() { return copy_; }
  void set_copy_service() { copy_service_ = true; }

  // ---- for publication and tests ----
  const std::vector<SourceFigures>& sources() const { return rows_; }
  const CopyFigures& copy_figures() const { return copy_; }
  bool copy_service() const { return copy_service_; }
  const std::string& program() const { return program_; }
  std::int32_t silence_minutes() const { return silence_minutes_; }
  const std::filesystem::path& metrics_file() const { return metrics_file_; }
  std::filesystem::path status_file() const;
  // One tick of the watch; public so tests can drive it with a chosen time.
  void tick(std::time_t now);
  void publish();

 private:
  SourceFigures* find(int number) {
    if (number < 0 || static_cast<std::size_t>(number) >= index_.size()) return nullptr;
    int row = index_[static_cast<std::size_t>(number)];
    return row < 0 ? nullptr : &rows_[static_cast<std::size_t>(row)];
  }
  void watch(SourceFigures& row, bool in_hours);
  void silence_over(SourceFigures& row);

  std::string program_;
  std::filesystem::path program_dir_;
  LogEvent log_;
  frame::TickTimer timer_;
  std::vector<SourceFigures> rows_;
  std::vector<int> index_;  // source number -> row, -1: none
  CopyFigures copy_;
  bool copy_service_ = false;
  bool owner_ = false;

  std::int32_t silence_minutes_ = 0;
  AlarmHours alarm_hours_;
  std::filesystem::path metrics_file_;
  std::time_t now_ = 0;
  std::time_t started_ = 0;
  int today_ = -1;  // local day of the year of the "today" counters
  int ticks_to_publish_ = 0;
};

}  // namespace ralvek::figures

#include "figures/board.h"

#include <chrono>

#include "figures/publish.h"
#include "platform/clock.h"
#include "platform/event_log.h"
#include "vb/vb.h"

namespace ralvek::figures {
namespace {

using namespace std::chrono_literals;

// Ticks between two publications of the files: often enough for a look at --status, rare
// enough to cost nothing.
constexpr int kPublishTicks = 5;

std::tm local_time(std::time_t when) {
  std::tm local{};
  localtime_r(&when, &local);
  return local;
}

}  // namespace

Board::Board(asio::io_context& io, std::string program, std::filesystem::path program_dir, LogEvent log)
    : program_(std::move(program)),
      program_dir_(std::move(program_dir)),
      log_(std::move(log)),
      timer_(io, 1000ms, [this] { tick(std::time(nullptr)); }) {}

std::string Board::configure(const ini::IniFile& ini, const std::string& section) {
  std::string minutes = ini.read_value(section, "silence_minutes", "0");
  silence_minutes_ = 0;
  try {
    silence_minutes_ = std::max(0, vb::CLng(vb::Val(minutes)));
  } catch (const std::exception&) {
    return "silence_minutes not understood: " + minutes + "; no silence alarm";
  }
  std::string hours = ini.read_value(section, "silence_hours", "");
  std::string metrics = ini.read_value(section, "metrics_file", "");
  metrics_file_ = metrics.empty() ? std::filesystem::path() : program_dir_ / metrics;
  auto parsed = AlarmHours::parse(hours);
  alarm_hours_ = parsed ? *parsed : AlarmHours();
  if (!parsed) return "silence_hours not understood: " + hours + "; the alarm keeps to all hours";
  return {};
}

void Board::add_source(int number, std::string label, std::string address) {
  if (number < 0) return;
  if (static_cast<std::size_t>(number) >= index_.size()) index_.resize(static_cast<std::size_t>(number) + 1, -1);
  auto& slot = index_[static_cast<std::size_t>(number)];
  if (slot >= 0) {
    // Several addresses of one site: one source.
    auto& row = rows_[static_cast<std::size_t>(slot)];
    row.address += " " + address;
    return;
  }
  slot = static_cast<int>(rows_.size());
  SourceFigures row;
  row.source = std::move(label);
  row.address = std::move(address);
  rows_.push_back(std::move(row));
}

std::filesystem::path Board::status_file() const { return program_dir_ / (program_ + ".status"); }

void Board::start(bool owner) {
  owner_ = owner;
  now_ = started_ = std::time(nullptr);
  today_ = local_time(now_).tm_yday;
  ticks_to_publish_ = kPublishTicks;
  timer_.set_enabled(true);
  publish();
}

void Board::stop() {
  if (!timer_.enabled()) return;
  timer_.set_enabled(false);
  for (auto& row : rows_) row.connected = false;
  publish();
  std::error_code ignored;
  if (owner_) std::filesystem::remove(status_file(), ignored);
}

void Board::on_connected(int number, bool connected) {
  if (SourceFigures* row = find(number)) row->connected = connected;
}

void Board::on_file_opened(int number, const std::string& name) {
  if (SourceFigures* row = find(number)) {
    row->current_file = std::filesystem::path(name).filename().string();
    row->bytes_at_open = row->bytes_total;
  }
}

void Board::on_file_closed(int number) {
  SourceFigures* row = find(number);
  if (!row || row->current_file.empty()) return;
  if (row->bytes_total > row->bytes_at_open) ++row->files_finished;
  row->current_file.clear();
}

void Board::on_write_failed(int number) {
  if (SourceFigures* row = find(number)) ++row->failed_writes;
}

void Board::tick(std::time_t now) {
  now_ = now;
  std::tm local = local_time(now);
  if (local.tm_yday != today_) {
    today_ = local.tm_yday;
    for (auto& row : rows_) row.bytes_today = row.records_today = 0;
  }
  if (silence_minutes_ > 0) {
    bool in_hours = alarm_hours_.contains(local);
    for (auto& row : rows_) watch(row, in_hours);
  }
  if (--ticks_to_publish_ <= 0) {
    ticks_to_publish_ = kPublishTicks;
    publish();
  }
}

// Silence counts from the last data, or from the start; a silence begun outside the alarm
// hours counts from their start, so a quiet night raises nothing in the morning.
void Board::watch(SourceFigures& row, bool in_hours) {
  ++row.quiet_ticks;
  if (row.alarmed) return;
  if (!in_hours) {
    row.counted_ticks = 0;
    return;
  }
  if (++row.counted_ticks < static_cast<std::int64_t>(silence_minutes_) * 60) return;
  row.alarmed = true;
  log_(platform::kEventWarning, kSilenceEventID,
       {"No data for " + std::to_string(silence_minutes_) + " minutes",
        "Source: " + row.source, "Address: " + row.address,
        "Last data: " + (row.last_data ? platform::iso_local_time(row.last_data)
                                       : "none since start at " + platform::iso_local_time(started_)),
        "Minutes: " + std::to_string(silence_minutes_)});
}

void Board::silence_over(SourceFigures& row) {
  row.alarmed = false;
  try {
    log_(platform::kEventInformation, kSilenceOverEventID,
         {"Data again after silence", "Source: " + row.source, "Address: " + row.address,
          "Quiet for: " + std::to_string(row.quiet_ticks / 60) + " minutes"});
  } catch (...) {
    // the data path goes on whatever the event log does
  }
}

void Board::publish() {
  if (!owner_) return;
  try {
    replace_file(status_file(), status_text(*this));
  } catch (const std::exception&) {
    // --status then says the instance is not running; nothing else depends on it
  }
  if (metrics_file_.empty()) return;
  try {
    replace_file(metrics_file_, prometheus_text(*this));
  } catch (const std::exception&) {
    // the monitoring sees a stale file and its own alert on that
  }
}

}  // namespace ralvek::figures

#include "output_files.h"

#include "vb/vb.h"

namespace ralvek::quendor {

OutputFiles::OutputFiles(platform::FileSystem& fs, std::filesystem::path data_path)
    : fs_(fs), data_path_(std::move(data_path)) {
  resize(0);
}

void OutputFiles::resize(int highest) {
  tsFiles_.clear();
  tsFiles_.resize(static_cast<std::size_t>(highest < 0 ? 0 : highest) + 1);
}

std::size_t OutputFiles::slot(int exchange) const {
  if (exchange < 0 || static_cast<std::size_t>(exchange) >= tsFiles_.size()) {
    throw vb::VbError(9, "Subscript out of range");
  }
  return static_cast<std::size_t>(exchange);
}

bool OutputFiles::is_open(int exchange) const {
  return tsFiles_[slot(exchange)] != nullptr;
}

std::string OutputFiles::file_name(int exchange, const std::string& stamp) {
  return std::to_string(exchange) + "_" + stamp + ".hp4";
}

void OutputFiles::create(int exchange, const std::string& stamp) {
  auto& file = tsFiles_[slot(exchange)];
  file.reset();
  file = fs_.open(data_path_ / file_name(exchange, stamp), platform::OpenMode::kAppend);
}

void OutputFiles::write(int exchange, std::string_view bytes) {
  auto& file = tsFiles_[slot(exchange)];
  if (!file) {
    throw vb::VbError(91, "No open output file for exchange " + std::to_string(exchange) + ": " +
                              std::to_string(bytes.size()) + " bytes lost");
  }
  file->append(bytes);
}

void OutputFiles::close(int exchange) {
  tsFiles_[slot(exchange)].reset();
}

}  // namespace ralvek::quendor

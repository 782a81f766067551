#pragma once
// A log file path of its own in the temporary folder, removed when the instance goes.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

class TempLogFile {
 public:
  TempLogFile()
      : path_(std::filesystem::temp_directory_path() /
              ("vantor-basalt-" + std::to_string(std::random_device{}()) + ".log")) {}
  ~TempLogFile() {
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
  }
  TempLogFile(const TempLogFile&) = delete;
  TempLogFile& operator=(const TempLogFile&) = delete;

  std::string Path() const { return path_.string(); }

  std::string Read() const {
    std::ifstream in(path_, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  void Write(const std::string& text) const { std::ofstream(path_, std::ios::binary) << text; }

 private:
  std::filesystem::path path_;
};

#pragma once
// Files for the text-file page tests, made at run time in a folder of their
// own under the system's temporary folder and removed afterwards.
#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#ifndef _WIN32
#include <unistd.h>
#else
#include <process.h>
#endif

namespace cardtest {

class TempFolder {
 public:
  TempFolder() {
    static std::atomic<int> serial{0};
#ifdef _WIN32
    const int pid = _getpid();
#else
    const int pid = static_cast<int>(::getpid());
#endif
    path_ = std::filesystem::temp_directory_path() /
            ("textfile-test-" + std::to_string(pid) + "-" + std::to_string(serial++));
    std::filesystem::create_directories(path_);
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }

  // Writes the bytes to a file of that name (UTF-8) and returns its full
  // path as UTF-8.
  std::string write(const std::string& name, const std::string& bytes) const {
    const std::filesystem::path file = path_ / fromUtf8(name);
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    return utf8(file);
  }
  std::string pathOf(const std::string& name) const {
    return utf8(path_ / fromUtf8(name));
  }
  static std::filesystem::path fromUtf8(const std::string& s) {
    return std::filesystem::path(std::u8string(s.begin(), s.end()));
  }
  static std::string utf8(const std::filesystem::path& p) {
    const auto s = p.u8string();
    return std::string(s.begin(), s.end());
  }

 private:
  std::filesystem::path path_;
};

}  // namespace cardtest

#pragma once
// Where the build puts the libraries the tests load: the emulator beside the
// test executable, its variants in ../variants/<name>/.
#include <cstddef>
#include <cstdint>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace testing_folders {

inline std::string executableFolder() {
#ifdef _WIN32
  char path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string exe(path, length);
  const auto slash = exe.find_last_of("\\/");
#else
  char path[4096] = {};
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  std::string exe(path, length > 0 ? static_cast<std::size_t>(length) : 0);
  const auto slash = exe.rfind('/');
#endif
  return slash == std::string::npos ? std::string(".") : exe.substr(0, slash);
}

inline std::string variantFolder(const std::string& name) {
#ifdef _WIN32
  return executableFolder() + "\\..\\variants\\" + name;
#else
  return executableFolder() + "/../variants/" + name;
#endif
}

// The start of a PE file of this machine, as far as the loader's check of a
// library's bitness reads it (not loadable), padded to `size` bytes.
inline std::string peHeader(std::uint16_t machine, std::size_t size = 0x80 + 24) {
  std::string file(size, '\0');
  file[0] = 'M';
  file[1] = 'Z';
  file[0x3C] = static_cast<char>(0x80);
  file.replace(0x80, 4, std::string("PE\0\0", 4));
  file[0x84] = static_cast<char>(machine & 0xFF);
  file[0x85] = static_cast<char>(machine >> 8);
  return file;
}

}  // namespace testing_folders

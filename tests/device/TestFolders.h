#pragma once
// Where the build puts the libraries the tests load: the emulator beside the
// test executable, its variants in ../variants/<name>/.
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

}  // namespace testing_folders

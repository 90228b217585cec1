#include "device/DynamicLibrary.h"

#include <atomic>
#include <mutex>
#include <utility>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>
#endif

namespace device {

namespace {

std::atomic<int> g_liveLoads{0};

std::mutex g_folderMutex;
std::string g_searchFolder;  // empty: the executable's own folder

std::string searchFolderOverride() {
  std::lock_guard<std::mutex> lock(g_folderMutex);
  return g_searchFolder;
}

#ifdef _WIN32

bool fileExists(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void* loadLibrary(const std::string& fileName) {
  // No system error boxes for a broken or missing file: the caller reports it.
  DWORD oldMode = 0;
  SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &oldMode);
  HMODULE module = nullptr;
  const std::string folder = searchFolderOverride();
  if (folder.empty()) {
    module = LoadLibraryA(fileName.c_str());
  } else {
    const std::string path = folder + "\\" + fileName;
    if (fileExists(path)) {
      module = LoadLibraryA(path.c_str());
    } else {
      // The standard search without the executable's folder, which the
      // override stands in for.
      module = LoadLibraryExA(fileName.c_str(), nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    }
  }
  SetThreadErrorMode(oldMode, nullptr);
  return reinterpret_cast<void*>(module);
}

void freeLibrary(void* handle) { FreeLibrary(reinterpret_cast<HMODULE>(handle)); }

void* findSymbol(void* handle, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(reinterpret_cast<HMODULE>(handle), name));
}

bool loadedInProcess(const std::string& fileName) {
  return GetModuleHandleA(fileName.c_str()) != nullptr;
}

#else

std::string executableFolder() {
  std::vector<char> path(4096);
  const ssize_t length = readlink("/proc/self/exe", path.data(), path.size() - 1);
  if (length <= 0) return {};
  std::string exe(path.data(), static_cast<std::size_t>(length));
  const auto slash = exe.rfind('/');
  if (slash == std::string::npos) return {};
  return exe.substr(0, slash == 0 ? 1 : slash);
}

// Where Windows would look first: the executable's folder (or the tests' one).
std::string firstCandidate(const std::string& fileName) {
  if (fileName.find('/') != std::string::npos) return {};
  std::string folder = searchFolderOverride();
  if (folder.empty()) folder = executableFolder();
  if (folder.empty()) return {};
  if (folder.back() != '/') folder += '/';
  return folder + fileName;
}

bool fileExists(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

void* loadLibrary(const std::string& fileName) {
  const std::string candidate = firstCandidate(fileName);
  // A file found there decides, loadable or not, as on Windows.
  if (!candidate.empty() && fileExists(candidate)) {
    return dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
  }
  return dlopen(fileName.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void freeLibrary(void* handle) { dlclose(handle); }

void* findSymbol(void* handle, const char* name) { return dlsym(handle, name); }

bool probe(const std::string& name) {
  void* handle = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD);
  if (handle == nullptr) return false;
  dlclose(handle);  // RTLD_NOLOAD still counted a reference
  return true;
}

bool loadedInProcess(const std::string& fileName) {
  // The plain name matches a copy by its soname, the path one loaded from the
  // first folder.
  if (probe(fileName)) return true;
  const std::string candidate = firstCandidate(fileName);
  return !candidate.empty() && probe(candidate);
}

#endif

}  // namespace

DynamicLibrary::DynamicLibrary(const std::string& fileName) {
  handle_ = loadLibrary(fileName);
  if (handle_ != nullptr) ++g_liveLoads;
}

DynamicLibrary::~DynamicLibrary() { release(); }

DynamicLibrary::DynamicLibrary(DynamicLibrary&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)) {}

DynamicLibrary& DynamicLibrary::operator=(DynamicLibrary&& other) noexcept {
  if (this != &other) {
    release();
    handle_ = std::exchange(other.handle_, nullptr);
  }
  return *this;
}

void* DynamicLibrary::symbol(const char* name) const {
  if (handle_ == nullptr || name == nullptr) return nullptr;
  return findSymbol(handle_, name);
}

void DynamicLibrary::release() {
  if (handle_ == nullptr) return;
  freeLibrary(std::exchange(handle_, nullptr));
  --g_liveLoads;
}

int DynamicLibrary::liveLoads() { return g_liveLoads.load(); }

bool DynamicLibrary::isLoadedInProcess(const std::string& fileName) {
  return loadedInProcess(fileName);
}

void DynamicLibrary::setSearchFolderForTests(const std::string& folder) {
  std::lock_guard<std::mutex> lock(g_folderMutex);
  g_searchFolder = folder;
}

}  // namespace device

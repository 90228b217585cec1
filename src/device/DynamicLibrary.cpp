#include "device/DynamicLibrary.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <utility>

#ifdef _WIN32
#include <windows.h>

#include "wintext/WinText.h"
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

std::wstring wide(const std::string& text) { return wintext::widen(CP_ACP, text); }

bool fileExists(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring executableFolder() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return {};
    if (n < path.size()) {
      path.resize(n);
      break;
    }
    path.resize(path.size() * 2);
  }
  const auto slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

std::wstring systemFolder() {
  wchar_t path[MAX_PATH] = {};
  const UINT n = GetSystemDirectoryW(path, MAX_PATH);
  return n > 0 && n < MAX_PATH ? std::wstring(path, n) : std::wstring();
}

// Where a load looks first: the tests' folder, or the program's own.
std::wstring firstFolder() {
  const std::string folder = searchFolderOverride();
  return folder.empty() ? executableFolder() : wide(folder);
}

// Windows 7 without KB2533623 lacks the LOAD_LIBRARY_SEARCH_* flags; the
// update (and every later Windows) brings AddDllDirectory with them.
bool searchFlagsAvailable() {
  static const bool available =
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "AddDllDirectory") != nullptr;
  return available;
}

HMODULE loadFromProgramFolders(const std::wstring& name) {
  if (searchFlagsAvailable()) {
    return LoadLibraryExW(name.c_str(), nullptr,
                          LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
  }
  // Full paths, so that neither the current folder nor PATH is searched; the
  // library's own dependencies are looked for beside it.
  for (const std::wstring& folder : {executableFolder(), systemFolder()}) {
    if (folder.empty()) continue;
    const std::wstring path = folder + L"\\" + name;
    if (fileExists(path)) return LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  }
  SetLastError(ERROR_MOD_NOT_FOUND);
  return nullptr;
}

std::once_flag g_searchHardened;

void* loadLibrary(const std::string& fileName) {
  // Nothing loaded by plain name anywhere in the process (the file dialog's
  // helpers included) comes from the current folder.
  std::call_once(g_searchHardened, [] { SetDllDirectoryW(L""); });
  // No system error boxes for a broken or missing file: the caller reports it.
  DWORD oldMode = 0;
  SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &oldMode);
  HMODULE module = nullptr;
  const std::wstring name = wide(fileName);
  const std::string folder = searchFolderOverride();
  if (folder.empty()) {
    module = loadFromProgramFolders(name);
  } else {
    const std::wstring path = wide(folder) + L"\\" + name;
    if (fileExists(path)) {
      module = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    } else {
      // The system folder only: the override stands in for the program's.
      module = LoadLibraryExW(name.c_str(), nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
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

std::FILE* openFirstCandidate(const std::string& fileName) {
  const std::wstring folder = firstFolder();
  if (folder.empty()) return nullptr;
  return _wfopen((folder + L"\\" + wide(fileName)).c_str(), L"rb");
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

std::FILE* openFirstCandidate(const std::string& fileName) {
  const std::string candidate = firstCandidate(fileName);
  return candidate.empty() ? nullptr : std::fopen(candidate.c_str(), "rb");
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

// The machine field of a PE file: "MZ", the offset of "PE\0\0" at 0x3C,
// then the machine.
int peBitness(std::FILE* file) {
  unsigned char dos[64];
  if (std::fread(dos, 1, sizeof dos, file) != sizeof dos || dos[0] != 'M' || dos[1] != 'Z') return 0;
  const long offset = static_cast<long>(dos[0x3C] | dos[0x3D] << 8 | dos[0x3E] << 16 |
                                        static_cast<unsigned long>(dos[0x3F]) << 24);
  unsigned char pe[6];
  if (offset < 0 || std::fseek(file, offset, SEEK_SET) != 0 ||
      std::fread(pe, 1, sizeof pe, file) != sizeof pe || std::memcmp(pe, "PE\0\0", 4) != 0)
    return 0;
  switch (pe[4] | pe[5] << 8) {
    case 0x014C: return 32;  // x86
    case 0x8664: return 64;  // x64
    default: return 0;
  }
}

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

void* DynamicLibrary::symbol(const char* name, std::size_t argumentBytes) const {
  if (handle_ == nullptr || name == nullptr) return nullptr;
  if (void* plain = findSymbol(handle_, name)) return plain;
  // "_name@N", then "name@N": one buffer, the underscore skipped the second time.
  char decorated[128];
  const int n = std::snprintf(decorated, sizeof decorated, "_%s@%u", name,
                              static_cast<unsigned>(argumentBytes));
  if (n <= 0 || static_cast<std::size_t>(n) >= sizeof decorated) return nullptr;
  for (const char* candidate : {decorated, decorated + 1}) {
    if (void* found = findSymbol(handle_, candidate)) return found;
  }
  return nullptr;
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

int DynamicLibrary::libraryBitness(const std::string& fileName) {
  std::FILE* file = openFirstCandidate(fileName);
  if (file == nullptr) return 0;
  const int bits = peBitness(file);
  std::fclose(file);
  return bits;
}

void DynamicLibrary::setSearchFolderForTests(const std::string& folder) {
  std::lock_guard<std::mutex> lock(g_folderMutex);
  g_searchFolder = folder;
}

}  // namespace device

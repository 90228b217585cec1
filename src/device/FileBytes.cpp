#include "device/FileBytes.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <new>
#include <utility>

#ifdef _WIN32
#include <windows.h>

#include "wintext/WinText.h"
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace device {

FileError::FileError(const std::string& path, const std::string& reason)
    : std::runtime_error("无法读取文件“" + path + "”：" + reason) {}

namespace {

[[noreturn]] void refuse(const std::string& path, const std::string& reason) {
  throw FileError(path, reason);
}

constexpr const char* kMissing = "文件不存在。";
constexpr const char* kFolder = "这是一个文件夹，不是文件。";
constexpr const char* kNotAFile = "这不是一个普通文件。";
constexpr const char* kNoPermission = "没有读取该文件的权限。";
[[maybe_unused]] constexpr const char* kInUse = "文件正被其他程序写入或锁定，请关闭该程序后再试。";
constexpr const char* kTooLarge = kFileTooLarge;

std::string readFailed(unsigned long code) {
  return "读取出错（错误代码" + std::to_string(code) + "）。";
}

// A buffer for the whole file, or the refusal of one too big for memory.
std::string roomFor(const std::string& path, unsigned long long size) {
  if (size > static_cast<unsigned long long>(std::numeric_limits<std::size_t>::max() / 2))
    refuse(path, kTooLarge);
  std::string bytes;
  try {
    bytes.resize(static_cast<std::size_t>(size));
  } catch (const std::bad_alloc&) {
    refuse(path, kTooLarge);
  } catch (const std::length_error&) {
    refuse(path, kTooLarge);
  }
  return bytes;
}

#ifdef _WIN32

class Handle {
 public:
  explicit Handle(HANDLE h) : h_(h) {}
  ~Handle() {
    if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE get() const { return h_; }

 private:
  HANDLE h_;
};

std::wstring widenPath(const std::string& path) {
  return wintext::widenStrict(CP_UTF8, path).value_or(std::wstring());
}

#endif

}  // namespace

#ifdef _WIN32

std::string readWholeFile(const std::string& path) {
  const std::wstring wide = widenPath(path);
  if (wide.empty()) refuse(path, kMissing);
  // Other readers may share the file; a writer may not, neither one that has
  // it open already nor one that comes while it is read.
  Handle file(CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    switch (error) {
      case ERROR_FILE_NOT_FOUND:
      case ERROR_PATH_NOT_FOUND:
      case ERROR_INVALID_NAME:
      case ERROR_BAD_NETPATH:
      case ERROR_INVALID_DRIVE: refuse(path, kMissing);
      case ERROR_SHARING_VIOLATION:
      case ERROR_LOCK_VIOLATION: refuse(path, kInUse);
      case ERROR_ACCESS_DENIED: {
        const DWORD attributes = GetFileAttributesW(wide.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
          refuse(path, kFolder);
        refuse(path, kNoPermission);
      }
      default: refuse(path, readFailed(error));
    }
  }
  // A device name (CON, a pipe) would wait for input that never comes.
  if (GetFileType(file.get()) != FILE_TYPE_DISK) refuse(path, kNotAFile);
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.get(), &size)) refuse(path, readFailed(GetLastError()));
  std::string bytes = roomFor(path, static_cast<unsigned long long>(size.QuadPart));
  std::size_t done = 0;
  while (done < bytes.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
    DWORD got = 0;
    if (!ReadFile(file.get(), bytes.data() + done, chunk, &got, nullptr))
      refuse(path, readFailed(GetLastError()));
    if (got == 0) break;  // shorter than it was a moment ago
    done += got;
  }
  bytes.resize(done);
  return bytes;
}

#else

std::string readWholeFile(const std::string& path) {
  if (path.empty()) refuse(path, kMissing);
  // Not blocking: a FIFO would wait for a writer at the open.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    const int error = errno;
    if (error == ENOENT || error == ENOTDIR || error == ENAMETOOLONG) refuse(path, kMissing);
    if (error == EACCES || error == EPERM) refuse(path, kNoPermission);
    if (error == EISDIR) refuse(path, kFolder);
    refuse(path, readFailed(static_cast<unsigned long>(error)));
  }
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  struct stat info {};
  if (::fstat(fd, &info) != 0) refuse(path, readFailed(static_cast<unsigned long>(errno)));
  if (S_ISDIR(info.st_mode)) refuse(path, kFolder);
  if (!S_ISREG(info.st_mode)) refuse(path, kNotAFile);
  std::string bytes = roomFor(path, static_cast<unsigned long long>(info.st_size));
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t got = ::read(fd, bytes.data() + done, bytes.size() - done);
    if (got < 0) {
      if (errno == EINTR) continue;
      refuse(path, readFailed(static_cast<unsigned long>(errno)));
    }
    if (got == 0) break;  // shorter than it was a moment ago
    done += static_cast<std::size_t>(got);
  }
  bytes.resize(done);
  return bytes;
}

#endif

}  // namespace device

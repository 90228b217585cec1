#pragma once
// A load of a shared library by file name. Loads are counted by the system:
// two loads of the same file share one copy, and the copy goes away with the
// last release.
#include <string>

namespace device {

class DynamicLibrary {
 public:
  DynamicLibrary() = default;
  // Loads by plain file name. Windows: LoadLibraryA (its standard search).
  // POSIX: the executable's own folder first, as Windows does, then dlopen's
  // search. A failed load leaves the object empty (see loaded()).
  explicit DynamicLibrary(const std::string& fileName);
  ~DynamicLibrary();
  DynamicLibrary(DynamicLibrary&& other) noexcept;
  DynamicLibrary& operator=(DynamicLibrary&& other) noexcept;
  DynamicLibrary(const DynamicLibrary&) = delete;
  DynamicLibrary& operator=(const DynamicLibrary&) = delete;

  bool loaded() const { return handle_ != nullptr; }
  explicit operator bool() const { return loaded(); }

  // Address of an export, or nullptr when it is missing (or nothing is loaded).
  void* symbol(const char* name) const;
  template <class Fn>
  Fn function(const char* name) const {
    return reinterpret_cast<Fn>(symbol(name));
  }

  // Gives the load back now; the object is empty afterwards. Safe to repeat.
  void release();

  // Number of loads made through this class that are not released yet,
  // over the whole process (a check that callers balance their loads).
  static int liveLoads();

  // Whether a file of this name is loaded into the process at all, whoever
  // loaded it (asks the system, loads nothing).
  static bool isLoadedInProcess(const std::string& fileName);

  // Tests only: look in this folder instead of the executable's own one
  // (an empty text restores the default).
  static void setSearchFolderForTests(const std::string& folder);

 private:
  void* handle_ = nullptr;
};

}  // namespace device

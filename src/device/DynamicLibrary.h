#pragma once
// A load of a shared library by file name. Loads are counted by the system:
// two loads of the same file share one copy, and the copy goes away with the
// last release.
#include <cstddef>
#include <string>

namespace device {

// The bytes of arguments of a __stdcall entry point, which Windows compilers
// put into its exported name ("_readcard@24", "readcard@24"). Known only on
// 32-bit Windows, the one place where these decorations exist.
template <class Fn>
struct StdcallArguments {
  static constexpr bool known = false;
};
#if defined(_WIN32) && !defined(_WIN64)
template <class R, class... Args>
struct StdcallArguments<R(__stdcall*)(Args...)> {
  static constexpr bool known = true;
  static constexpr std::size_t bytes = (std::size_t{0} + ... + ((sizeof(Args) + 3) / 4 * 4));
};
#endif

class DynamicLibrary {
 public:
  DynamicLibrary() = default;
  // Loads by plain file name. Windows: from the program's own folder, then
  // the system folder, never from the current folder or PATH (a folder the
  // operator opened, a share or a stick must not supply the library).
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
  // The plain name first, then the names a Windows compiler gives a
  // __stdcall function with this many bytes of arguments: "_name@N", "name@N".
  void* symbol(const char* name, std::size_t argumentBytes) const;
  // An entry point of this type; on 32-bit Windows a __stdcall type is also
  // found under its decorated names.
  template <class Fn>
  Fn function(const char* name) const {
    if constexpr (StdcallArguments<Fn>::known) {
      return reinterpret_cast<Fn>(symbol(name, StdcallArguments<Fn>::bytes));
    } else {
      return reinterpret_cast<Fn>(symbol(name));
    }
  }

  // Gives the load back now; the object is empty afterwards. Safe to repeat.
  void release();

  // Number of loads made through this class that are not released yet,
  // over the whole process (a check that callers balance their loads).
  static int liveLoads();

  // Whether a file of this name is loaded into the process at all, whoever
  // loaded it (asks the system, loads nothing).
  static bool isLoadedInProcess(const std::string& fileName);

  // This program's bitness, and that of the Windows library (x86 or x64)
  // under this name in the folder a load looks in first (the program's own,
  // or the tests' one): 32 or 64, 0 when there is none or it is no such
  // library. Reads the file's header only.
  static constexpr int kProgramBitness = static_cast<int>(sizeof(void*) * 8);
  static int libraryBitness(const std::string& fileName);

  // Tests only: look in this folder instead of the executable's own one
  // (an empty text restores the default).
  static void setSearchFolderForTests(const std::string& folder);

 private:
  void* handle_ = nullptr;
};

}  // namespace device

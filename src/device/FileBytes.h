#pragma once
// Reading a file that the operator chose, whole and as bytes, through the
// system's own file API (wide names on Windows, so Chinese paths work).
#include <stdexcept>
#include <string>

namespace device {

// A file that cannot be read; what() is the text for the operator:
// "无法读取文件“<path>”：<reason>".
class FileError : public std::runtime_error {
 public:
  FileError(const std::string& path, const std::string& reason);
};

// Reasons that callers give as well.
inline constexpr const char* kFileTooLarge = "文件太大，无法读入内存。";
inline constexpr const char* kFileTooManyLines = "文件行数太多，无法逐行写卡。";

// The whole file, opened for reading with other writers shut out. The path is
// UTF-8 and used as given. Throws FileError when the file cannot be read
// (missing, a folder or device, no permission, in use by a writer, too big).
std::string readWholeFile(const std::string& path);

}  // namespace device

#include "pack/final_path.h"

#include <windows.h>

#include <string>

namespace mivo {
namespace {

struct HandleCloser {
  HANDLE handle;
  ~HandleCloser() { CloseHandle(handle); }
};

// "\\?\C:\x" -> "C:\x" and "\\?\UNC\host\share" -> "\\host\share", so that
// the result compares equal to paths written the usual way.
std::wstring WithoutLongPrefix(const std::wstring& path) {
  if (path.rfind(L"\\\\?\\UNC\\", 0) == 0) return L"\\\\" + path.substr(8);
  if (path.rfind(L"\\\\?\\", 0) == 0) return path.substr(4);
  return path;
}

}  // namespace

// The standard library's canonical() does not follow links with this
// toolchain; the system does when the file is opened, and says where it went.
bool ResolveFinalPath(const std::filesystem::path& path, std::filesystem::path& resolved) {
  // No access asked for, and backup semantics, so that folders open too and
  // files open whoever else holds them.
  const HANDLE handle = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  const HandleCloser closer{handle};
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        GetFinalPathNameByHandleW(handle, buffer.data(), DWORD(buffer.size()), FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0) return false;
    if (length < buffer.size()) {
      buffer.resize(length);
      break;
    }
    buffer.resize(length);  // too small: length is the size needed, terminator included
  }
  resolved = std::filesystem::path(WithoutLongPrefix(buffer));
  return true;
}

}  // namespace mivo

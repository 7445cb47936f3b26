#include "common/platform_text.h"

// windows.h first: the other Windows headers need its types.
#include <windows.h>

#include <shellapi.h>

namespace mivo {
namespace {

std::wstring Widen(UINT code_page, const std::string& text) {
  if (text.empty()) return std::wstring();
  const int n = MultiByteToWideChar(code_page, 0, text.data(), int(text.size()), nullptr, 0);
  std::wstring wide(size_t(n > 0 ? n : 0), L'\0');
  if (n > 0) MultiByteToWideChar(code_page, 0, text.data(), int(text.size()), wide.data(), n);
  return wide;
}

std::string Narrow(UINT code_page, const wchar_t* text, size_t size) {
  if (size == 0) return std::string();
  const int n = WideCharToMultiByte(code_page, 0, text, int(size), nullptr, 0, nullptr, nullptr);
  std::string narrow(size_t(n > 0 ? n : 0), '\0');
  if (n > 0) WideCharToMultiByte(code_page, 0, text, int(size), narrow.data(), n, nullptr, nullptr);
  return narrow;
}

}  // namespace

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
  std::vector<std::string> args;
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  // The shell's splitting rules match the C runtime's for every ordinary
  // command line; should they ever disagree, the narrow arguments are used.
  if (wide != nullptr && count == argc) {
    for (int i = 1; i < count; ++i) args.push_back(Narrow(CP_UTF8, wide[i], wcslen(wide[i])));
  } else {
    for (int i = 1; i < argc; ++i) {
      const std::wstring arg = Widen(CP_ACP, argv[i]);
      args.push_back(Narrow(CP_UTF8, arg.data(), arg.size()));
    }
  }
  LocalFree(wide);
  return args;
}

std::filesystem::path PathFromNarrow(const std::string& text) { return std::filesystem::path(Widen(CP_ACP, text)); }

std::string NarrowFromPath(const std::filesystem::path& path) {
  const std::wstring& wide = path.native();
  return Narrow(CP_ACP, wide.data(), wide.size());
}

}  // namespace mivo

#pragma once
// What the stand-ins share: the folder named by QLX_STANDIN_DIR (inherited
// from whoever started them), and one appended UTF-8 line per run.
#include <windows.h>

#include <cstdint>
#include <string>

namespace qlx::standin {

// The folder, or empty when the variable is unset.
inline std::wstring Folder() {
  wchar_t buffer[1024];
  const DWORD length = GetEnvironmentVariableW(L"QLX_STANDIN_DIR", buffer, 1024);
  if (length == 0 || length >= 1024) return {};
  std::wstring folder(buffer, length);
  if (!folder.empty() && folder.back() == L'\\') folder.pop_back();
  return folder;
}

inline bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

inline std::uint64_t UnixMilliseconds() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  const std::uint64_t ticks = (static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
  return (ticks - 116444736000000000ull) / 10000;  // 100 ns since 1601 -> ms since 1970
}

inline std::string Utf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                       nullptr);
  std::string bytes(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size, nullptr, nullptr);
  return bytes;
}

// One write per line, opened for appending, so that concurrent runs never
// interleave inside a line.
inline bool AppendLine(const std::wstring& path, const std::string& line) {
  const HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const std::string bytes = line + "\n";
  DWORD written = 0;
  const bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                  written == bytes.size();
  CloseHandle(file);
  return ok;
}

// The whole file as bytes; nullopt-like empty with `found` false when absent.
inline std::string ReadSmallFile(const std::wstring& path, bool& found) {
  found = false;
  const HANDLE file =
      CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return {};
  found = true;
  char buffer[256];
  DWORD read = 0;
  std::string bytes;
  if (ReadFile(file, buffer, sizeof buffer, &read, nullptr)) bytes.assign(buffer, read);
  CloseHandle(file);
  return bytes;
}

}  // namespace qlx::standin

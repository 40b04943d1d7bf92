#pragma once
// The test side of the stand-ins: a fresh folder named in QLX_STANDIN_DIR
// (inherited by every child the test starts), the stand-ins' switches, and
// their log lines.
#include <windows.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace qlx::test {

class StandinFolder {
 public:
  // Under the temporary folder, named after `tag` and this process.
  explicit StandinFolder(const std::wstring& tag) {
    wchar_t temp[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
    path_ = std::wstring(temp, length) + L"qlx-" + tag + L"-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
            std::to_wstring(GetTickCount64());
    CreateDirectoryW(path_.c_str(), nullptr);
    SetEnvironmentVariableW(L"QLX_STANDIN_DIR", path_.c_str());
  }
  ~StandinFolder() {
    SetEnvironmentVariableW(L"QLX_STANDIN_DIR", nullptr);
    for (const wchar_t* name : {L"net.log", L"explorer.log", L"planted.log", L"net-exit.txt", L"net-hang.txt",
                                L"net-nodrive.txt", L"net-startup.log", L"net-ask.txt", L"net-answers.log",
                                L"net-handle.txt"})
      DeleteFileW(File(name).c_str());
    RemoveDirectoryW(path_.c_str());
  }
  StandinFolder(const StandinFolder&) = delete;
  StandinFolder& operator=(const StandinFolder&) = delete;

  const std::wstring& Path() const { return path_; }
  std::wstring File(const std::wstring& name) const { return path_ + L"\\" + name; }

  void Write(const std::wstring& name, const std::string& content) const {
    const HANDLE file = CreateFileW(File(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    if (file != INVALID_HANDLE_VALUE) {
      WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
      CloseHandle(file);
    }
  }
  void Remove(const std::wstring& name) const { DeleteFileW(File(name).c_str()); }
  void ExitWith(const std::string& code) const { Write(L"net-exit.txt", code + "\r\n"); }

  // The log's lines (UTF-8, without their LF).
  std::vector<std::string> Lines(const std::wstring& log) const {
    std::vector<std::string> lines;
    const HANDLE file = CreateFileW(File(log).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return lines;
    std::string bytes;
    char buffer[65536];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0) bytes.append(buffer, read);
    CloseHandle(file);
    for (std::size_t start = 0; start < bytes.size();) {
      const std::size_t end = bytes.find('\n', start);
      if (end == std::string::npos) break;  // a line still being written
      lines.push_back(bytes.substr(start, end - start));
      start = end + 1;
    }
    return lines;
  }
  // Waits until the log has at least `count` lines, or the limit passes.
  std::vector<std::string> WaitForLines(const std::wstring& log, std::size_t count,
                                        std::chrono::milliseconds limit = std::chrono::seconds(15)) const {
    const auto end = std::chrono::steady_clock::now() + limit;
    for (;;) {
      auto lines = Lines(log);
      if (lines.size() >= count || std::chrono::steady_clock::now() > end) return lines;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }

 private:
  std::wstring path_;
};

// A net.log line split into its three fields.
struct NetLine {
  std::string time, status, command_line;
};
inline NetLine SplitNetLine(const std::string& line) {
  const std::size_t first = line.find(' ');
  const std::size_t second = line.find(' ', first + 1);
  if (first == std::string::npos || second == std::string::npos) return {line, "", ""};
  return {line.substr(0, first), line.substr(first + 1, second - first - 1), line.substr(second + 1)};
}

}  // namespace qlx::test

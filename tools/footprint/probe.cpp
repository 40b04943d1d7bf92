// footprint_probe: starts tray programs itself and measures, side by side,
// how long each takes until its tray window exists and what it holds once
// idle.
//
// usage: footprint_probe RUNS {LABEL EXE READY_CLASS CLOSE_CLASS}...
//
// READY_CLASS is the class of the window that exists once the tray icon is
// registered; CLOSE_CLASS the class of the window whose close request ends
// the program. RUNS starts of each, alternating, then all of them at once
// for the idle period, which lasts until a line (or the end) arrives on
// stdin: the driving script measures from outside meanwhile, since Wine
// reports neither another process's CPU times nor its private bytes.
// Results go to stdout, one record a line:
//   start LABEL RUN WINDOW_MS IDLE_MS   (IDLE_MS -1: WaitForInputIdle gave nothing)
//   median LABEL WINDOW_MS IDLE_MS
//   idle-begin LABEL PROCESS_ID         (one per program, then the wait for stdin)
//   idle LABEL CPU_BEFORE_MS CPU_AFTER_MS WORKING_SET PRIVATE_BYTES PEAK_WORKING_SET
// Exit status 0 when every start, idle period and close went as expected.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "platform/win32/unique_handle.h"

namespace {

using qlx::platform::unique_process_information;

constexpr DWORD kStartLimitMs = 30000;
constexpr DWORD kCloseLimitMs = 10000;
// A program that never waits for input (a busy loop) costs this much.
constexpr DWORD kIdleLimitMs = 10000;

struct Program {
  std::wstring label;
  std::wstring exe;
  std::wstring ready_class;
  std::wstring close_class;
  std::vector<double> window_ms;
  std::vector<double> idle_ms;
};

struct Running {
  unique_process_information process;
  double window_ms = 0;
  double idle_ms = -1;
};

class Stopwatch {
 public:
  Stopwatch() {
    QueryPerformanceFrequency(&frequency_);
    QueryPerformanceCounter(&start_);
  }
  double ElapsedMs() const {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart - start_.QuadPart) * 1000.0 / static_cast<double>(frequency_.QuadPart);
  }

 private:
  LARGE_INTEGER frequency_{};
  LARGE_INTEGER start_{};
};

bool Failed(const wchar_t* what, const Program& program) {
  std::fwprintf(stderr, L"footprint_probe: %ls: %ls\n", program.label.c_str(), what);
  return false;
}

// Top-level windows and message-only windows alike: a tray program may make
// its hidden window either.
HWND WindowOf(DWORD process_id, const std::wstring& window_class) {
  for (HWND parent : {HWND(nullptr), HWND_MESSAGE}) {
    HWND window = nullptr;
    while ((window = FindWindowExW(parent, window, window_class.c_str(), nullptr)) != nullptr) {
      DWORD owner = 0;
      GetWindowThreadProcessId(window, &owner);
      if (owner == process_id) return window;
    }
  }
  return nullptr;
}

bool Exited(const Running& running) { return WaitForSingleObject(running.process->hProcess, 0) == WAIT_OBJECT_0; }

DWORD ExitCode(const Running& running) {
  DWORD code = 0;
  GetExitCodeProcess(running.process->hProcess, &code);
  return code;
}

// Times from just before CreateProcessW to the moment the ready window
// shows up (polled every millisecond), and on to the moment the program
// first waits for input with nothing pending.
bool Start(const Program& program, Running& running) {
  std::wstring command_line = L"\"" + program.exe + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  Stopwatch clock;
  if (!CreateProcessW(program.exe.c_str(), command_line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      running.process.put())) {
    return Failed(L"CreateProcessW failed", program);
  }
  const DWORD process_id = running.process->dwProcessId;
  while (WindowOf(process_id, program.ready_class) == nullptr) {
    if (Exited(running)) {
      std::fwprintf(stderr, L"footprint_probe: %ls ended with %lu before its window appeared\n",
                    program.label.c_str(), ExitCode(running));
      return false;
    }
    if (clock.ElapsedMs() > kStartLimitMs) return Failed(L"no ready window within the time limit", program);
    Sleep(1);
  }
  running.window_ms = clock.ElapsedMs();
  const DWORD left = static_cast<DWORD>(std::max(1.0, kIdleLimitMs - running.window_ms));
  running.idle_ms = WaitForInputIdle(running.process->hProcess, left) == 0 ? clock.ElapsedMs() : -1;
  return true;
}

// A close request as a system tool sends it; a program that does not end
// within the limit is terminated and the run counts as failed.
bool Close(const Program& program, Running& running) {
  if (Exited(running)) {
    std::fwprintf(stderr, L"footprint_probe: %ls had ended by itself (exit code %lu)\n", program.label.c_str(),
                  ExitCode(running));
    return false;
  }
  // The ready window may come before the one that takes the close request
  // (the program creates its tray before its main window).
  HWND window = nullptr;
  for (Stopwatch clock; window == nullptr && !Exited(running) && clock.ElapsedMs() < kStartLimitMs; Sleep(1)) {
    window = WindowOf(running.process->dwProcessId, program.close_class);
  }
  if (window == nullptr) Failed(L"no window to send the close request to", program);
  else PostMessageW(window, WM_CLOSE, 0, 0);
  if (window != nullptr && WaitForSingleObject(running.process->hProcess, kCloseLimitMs) == WAIT_OBJECT_0) {
    return true;
  }
  Failed(L"did not end on the close request: terminated", program);
  TerminateProcess(running.process->hProcess, 1);
  WaitForSingleObject(running.process->hProcess, kCloseLimitMs);
  return false;
}

double CpuMs(const Running& running) {
  FILETIME created, ended, kernel, user;
  if (!GetProcessTimes(running.process->hProcess, &created, &ended, &kernel, &user)) return -1;
  auto units = [](const FILETIME& time) {
    return (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
  };
  return static_cast<double>(units(kernel) + units(user)) / 10000.0;  // 100 ns units
}

double Median(std::vector<double> values) {
  if (values.empty()) return -1;
  std::sort(values.begin(), values.end());
  const std::size_t middle = values.size() / 2;
  return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// The idle period ends when the driver says so: one line, or the end of
// stdin.
void WaitForLine() {
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  char byte = 0;
  DWORD got = 0;
  while (ReadFile(input, &byte, 1, &got, nullptr) && got == 1 && byte != '\n') {
  }
}

// All programs at once, idle for the same period: CPU time before and
// after, and the memory they hold at its end.
bool MeasureIdle(std::vector<Program>& programs) {
  std::vector<Running> running(programs.size());
  bool ok = true;
  std::size_t started = 0;
  for (; started < programs.size(); ++started) {
    if (!Start(programs[started], running[started])) {
      ok = false;
      break;
    }
  }
  if (ok) {
    std::vector<double> before(programs.size());
    std::vector<HANDLE> handles;
    for (std::size_t i = 0; i < programs.size(); ++i) {
      before[i] = CpuMs(running[i]);
      handles.push_back(running[i].process->hProcess);
    }
    for (std::size_t i = 0; i < programs.size(); ++i) {
      std::wprintf(L"idle-begin %ls %lu\n", programs[i].label.c_str(), running[i].process->dwProcessId);
    }
    std::fflush(stdout);
    WaitForLine();
    const DWORD waited = WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), FALSE, 0);
    if (waited != WAIT_TIMEOUT) {
      std::fwprintf(stderr, L"footprint_probe: a program ended while idle (wait result %lu)\n", waited);
      ok = false;
    }
    for (std::size_t i = 0; i < programs.size(); ++i) {
      const double after = CpuMs(running[i]);
      PROCESS_MEMORY_COUNTERS_EX memory{};
      memory.cb = sizeof memory;
      if (!GetProcessMemoryInfo(running[i].process->hProcess, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory),
                                sizeof memory) ||
          before[i] < 0 || after < 0) {
        ok = Failed(L"no process times or memory counters", programs[i]);
        continue;
      }
      std::wprintf(L"idle %ls %.3f %.3f %llu %llu %llu\n", programs[i].label.c_str(), before[i], after,
                   static_cast<unsigned long long>(memory.WorkingSetSize),
                   static_cast<unsigned long long>(memory.PrivateUsage),
                   static_cast<unsigned long long>(memory.PeakWorkingSetSize));
    }
  }
  for (std::size_t i = 0; i < started; ++i) ok = Close(programs[i], running[i]) && ok;
  return ok;
}

bool MeasureStarts(std::vector<Program>& programs, int runs) {
  // One unrecorded start each first: the first process of a kind pays for
  // loading what the later ones find in the cache.
  for (auto& program : programs) {
    Running warm;
    if (!Start(program, warm) || !Close(program, warm)) return false;
  }
  for (int run = 1; run <= runs; ++run) {
    // Alternate the order, so that neither program always follows the
    // other.
    for (std::size_t k = 0; k < programs.size(); ++k) {
      Program& program = programs[run % 2 == 1 ? k : programs.size() - 1 - k];
      Running running;
      if (!Start(program, running)) return false;
      if (!Close(program, running)) return false;
      program.window_ms.push_back(running.window_ms);
      program.idle_ms.push_back(running.idle_ms);
      std::wprintf(L"start %ls %d %.3f %.3f\n", program.label.c_str(), run, running.window_ms, running.idle_ms);
      std::fflush(stdout);
    }
  }
  for (const auto& program : programs) {
    const bool idle_known = std::none_of(program.idle_ms.begin(), program.idle_ms.end(), [](double v) { return v < 0; });
    std::wprintf(L"median %ls %.3f %.3f\n", program.label.c_str(), Median(program.window_ms),
                 idle_known ? Median(program.idle_ms) : -1.0);
  }
  return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 6 || (argc - 2) % 4 != 0) {
    std::fwprintf(stderr, L"usage: footprint_probe RUNS {LABEL EXE READY_CLASS CLOSE_CLASS}...\n");
    return 2;
  }
  const int runs = _wtoi(argv[1]);
  if (runs < 1) {
    std::fwprintf(stderr, L"footprint_probe: RUNS must be positive\n");
    return 2;
  }
  std::vector<Program> programs;
  for (int i = 2; i < argc; i += 4) programs.push_back({argv[i], argv[i + 1], argv[i + 2], argv[i + 3], {}, {}});

  if (!MeasureStarts(programs, runs)) return 1;
  if (!MeasureIdle(programs)) return 1;
  return 0;
}

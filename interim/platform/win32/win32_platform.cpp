#include "platform/win32/win32_platform.h"
#include <windows.h>
#include <shellapi.h>
#include "platform/win32/program_file.h"
#include "platform/win32/registry.h"
#include "platform/win32/text.h"
namespace qlx::platform {
namespace {
struct C : Clock { void Pause(std::uint32_t ms) override { Sleep(ms); } };
struct D : Drives { std::uint32_t LogicalDriveMask() override { return GetLogicalDrives(); } };
struct P : Processes {
  ProcessOutcome RunAndWait(const ProcessRequest& r) override {
    std::u16string line = r.command_line; STARTUPINFOW si{}; si.cb = sizeof si; si.dwFlags = STARTF_USESHOWWINDOW; si.wShowWindow = r.show_window;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(r.application.empty() ? nullptr : W(r.application), W(line), nullptr, nullptr, FALSE, r.creation_flags, nullptr, nullptr, &si, &pi)) return {};
    WaitForSingleObject(pi.hProcess, r.timeout_ms ? r.timeout_ms : INFINITE);
    DWORD code = 0; GetExitCodeProcess(pi.hProcess, &code); CloseHandle(pi.hThread); CloseHandle(pi.hProcess);
    return {ProcessOutcome::Kind::Exited, code};
  }
  std::u16string SystemDirectory() override { wchar_t b[MAX_PATH]; UINT n = GetSystemDirectoryW(b, MAX_PATH); return U16(b, n); }
};
struct S : Shell {
  std::uintptr_t Execute(const std::u16string& v, const std::u16string& f, const std::u16string& p, int show) override {
    return reinterpret_cast<std::uintptr_t>(ShellExecuteW(nullptr, W(v), W(f), W(p), nullptr, show));
  }
};
struct E : Environment {
  std::optional<std::u16string> Variable(const std::u16string& n) override {
    wchar_t b[1024]; DWORD k = GetEnvironmentVariableW(W(n), b, 1024); if (!k) return std::nullopt; return U16(b, k);
  }
};
struct M : Messages {
  void Show(const std::u16string& c, const std::u16string& t, Kind k) override { MessageBoxW(nullptr, W(t), W(c), MB_OK | (k == Kind::Error ? MB_ICONERROR : 0)); }
  std::uint32_t LastError() override { return GetLastError(); }
  std::u16string SystemText(std::uint32_t) override { return u"error"; }
};
}  // namespace
struct Win32Platform::Parts { Win32Registry reg; Win32ProgramFile prog; C c; D d; P p; S s; E e; M m; };
Win32Platform::Win32Platform() : parts_(std::make_unique<Parts>()) {
  context_ = {&parts_->reg, &parts_->prog, &parts_->c, &parts_->d, &parts_->p, &parts_->s, &parts_->e, &parts_->m};
}
Win32Platform::~Win32Platform() = default;
}  // namespace qlx::platform

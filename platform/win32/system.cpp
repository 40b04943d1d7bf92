#include "platform/win32/system.h"

#include <windows.h>
#include <shellapi.h>

#include "platform/win32/text.h"
#include "platform/win32/unique_handle.h"

namespace qlx::platform {

void Win32Clock::Pause(std::uint32_t milliseconds) { Sleep(milliseconds); }

std::uint32_t Win32Drives::LogicalDriveMask() { return GetLogicalDrives(); }

std::uintptr_t Win32Shell::Execute(const std::u16string& verb, const std::u16string& file,
                                   const std::u16string& parameters, int show) {
  const HINSTANCE result = ShellExecuteW(nullptr, W(verb), W(file), W(parameters), nullptr, show);
  return reinterpret_cast<std::uintptr_t>(result);
}

std::optional<std::u16string> Win32Environment::Variable(const std::u16string& name) {
  std::u16string value;
  // The size may change between the calls when another thread sets it.
  for (DWORD size = 0;;) {
    value.assign(size, u'\0');
    SetLastError(ERROR_SUCCESS);
    const DWORD length = GetEnvironmentVariableW(W(name), size ? W(value) : nullptr, size);
    if (length == 0) {
      if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
      return std::u16string();  // set, and empty
    }
    if (length < size) {
      value.resize(length);
      return value;
    }
    size = length;  // the size it needs, terminator included
  }
}

void Win32Messages::Show(const std::u16string& caption, const std::u16string& text, Kind kind) {
  const UINT style = MB_OK | MB_TASKMODAL | (kind == Kind::Error ? MB_ICONERROR : 0);
  MessageBoxW(nullptr, W(text), W(caption), style);
}

std::uint32_t Win32Messages::LastError() { return GetLastError(); }

std::u16string Win32Messages::SystemText(std::uint32_t code) {
  wchar_t* text = nullptr;
  const DWORD length =
      FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  const unique_hlocal owner(text);
  if (length == 0 || text == nullptr) return {};
  return U16(text, length);
}

}  // namespace qlx::platform

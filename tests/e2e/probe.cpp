// The end-to-end tests' eyes inside Wine: a console program that answers
// one command per input line with one line of JSON, so that the harness
// pays Wine's start-up cost once per run instead of once per look.
//
// Commands (words separated by tabs, as registry paths hold blanks; text in
// UTF-8; handles and numbers in decimal):
//   windows                  every top-level window
//   dialog HWND              one window's child controls and focus
//   tab HWND START next|back the dialog manager's tab walk from START
//   ping HWND MS             whether the window's thread answers messages now
//   processes                the process list
//   modules PID              the file names of the modules loaded in a process
//   screen                   monitors, virtual screen and DPI
//   registry                 the settings key and the Run entry
//   delete-key PATH          deletes an HKCU key with everything below it
//   delete-value PATH NAME   deletes one HKCU value
//   set-dword PATH NAME N    writes one HKCU REG_DWORD value
//   drives                   the logical-drive mask
//   undefine X:              removes the newest definition of a drive letter
//   quit                     ends the probe
// The output is pure ASCII: every non-ASCII character is a \u escape.
// The DPI calls are Windows 10's; the probe runs only under Wine, which has them.
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0A00
#include <windows.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <iostream>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/win32/unique_handle.h"

namespace {

using qlx::platform::unique_handle;
using qlx::platform::unique_hkey;

static_assert(sizeof(HWND) == sizeof(std::uintptr_t), "window handles are printed as pointer-width integers");

// A window of the program may be busy (its thread waits for a child); a
// look must never hang on it.
constexpr UINT kSendTimeoutMs = 1500;

class Json {
 public:
  Json& Str(const std::wstring& text) {
    out_ += '"';
    for (wchar_t c : text) {
      const auto unit = static_cast<unsigned>(c);
      if (c == L'"' || c == L'\\') {
        out_ += '\\';
        out_ += static_cast<char>(c);
      } else if (unit >= 0x20 && unit < 0x7f) {
        out_ += static_cast<char>(c);
      } else {
        char escape[8];
        std::snprintf(escape, sizeof escape, "\\u%04x", unit & 0xffffu);
        out_ += escape;
      }
    }
    out_ += '"';
    return *this;
  }
  Json& Key(const char* name) {
    Comma();
    out_ += '"';
    out_ += name;
    out_ += "\":";
    fresh_ = true;
    return *this;
  }
  // A key that is arbitrary text (a registry value name).
  Json& Key(const std::wstring& name) {
    Comma();
    Str(name);
    out_ += ':';
    fresh_ = true;
    return *this;
  }
  Json& Num(long long value) {
    Comma();
    out_ += std::to_string(value);
    return *this;
  }
  Json& Bool(bool value) {
    Comma();
    out_ += value ? "true" : "false";
    return *this;
  }
  Json& Text(const std::wstring& text) {
    Comma();
    return Str(text);
  }
  Json& Null() {
    Comma();
    out_ += "null";
    return *this;
  }
  Json& Open(char bracket) {
    Comma();
    out_ += bracket;
    fresh_ = true;
    return *this;
  }
  Json& Close(char bracket) {
    out_ += bracket;
    fresh_ = false;
    return *this;
  }
  Json& Rect(const RECT& r) {
    Open('[');
    Num(r.left).Num(r.top).Num(r.right).Num(r.bottom);
    return Close(']');
  }
  const std::string& str() const { return out_; }

 private:
  // A value after another value in the same object or array needs a comma;
  // the first value, or the value right after its key, does not.
  void Comma() {
    if (!fresh_ && !out_.empty()) out_ += ',';
    fresh_ = false;
  }
  std::string out_;
  bool fresh_ = true;
};

std::wstring ClassOf(HWND hwnd) {
  wchar_t buffer[256] = {};
  const int n = GetClassNameW(hwnd, buffer, 256);
  return std::wstring(buffer, n > 0 ? n : 0);
}

// The text the window manager holds for the window (no message sent).
std::wstring TitleOf(HWND hwnd) {
  wchar_t buffer[1024] = {};
  const int n = InternalGetWindowText(hwnd, buffer, 1024);
  return std::wstring(buffer, n > 0 ? n : 0);
}

// The text the window itself reports (WM_GETTEXT, marshalled across
// processes); empty when the window does not answer in time.
bool TextByMessage(HWND hwnd, std::wstring& text) {
  wchar_t buffer[1024] = {};
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutW(hwnd, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG,
                           kSendTimeoutMs, &copied))
    return false;
  text.assign(buffer, copied < 1024 ? copied : 1023);
  return true;
}

bool SendForResult(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) {
  DWORD_PTR value = 0;
  if (!SendMessageTimeoutW(hwnd, message, wparam, lparam, SMTO_ABORTIFHUNG, kSendTimeoutMs, &value)) return false;
  result = static_cast<LRESULT>(value);
  return true;
}

std::map<DWORD, std::wstring> ProcessNames() {
  std::map<DWORD, std::wstring> names;
  unique_handle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return names;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry))
    names[entry.th32ProcessID] = entry.szExeFile;
  return names;
}

// A window has a taskbar button when it is visible and either asks for one
// or is an unowned window that is not a tool window.
bool HasTaskbarButton(HWND hwnd) {
  if (!IsWindowVisible(hwnd)) return false;
  const LONG_PTR ex = GetWindowLongPtrW(hwnd, GWL_EXSTYLE);
  if (ex & WS_EX_APPWINDOW) return true;
  return GetWindow(hwnd, GW_OWNER) == nullptr && !(ex & WS_EX_TOOLWINDOW);
}

void Window(Json& j, HWND hwnd, const std::map<DWORD, std::wstring>& names) {
  DWORD pid = 0;
  const DWORD tid = GetWindowThreadProcessId(hwnd, &pid);
  RECT rect{}, client{};
  GetWindowRect(hwnd, &rect);
  GetClientRect(hwnd, &client);
  MapWindowPoints(hwnd, nullptr, reinterpret_cast<POINT*>(&client), 2);
  const auto exe = names.find(pid);
  const std::wstring cls = ClassOf(hwnd);
  j.Open('{');
  j.Key("hwnd").Num(reinterpret_cast<std::uintptr_t>(hwnd));
  j.Key("pid").Num(pid).Key("tid").Num(tid);
  j.Key("exe").Text(exe == names.end() ? L"" : exe->second);
  j.Key("class").Text(cls).Key("title").Text(TitleOf(hwnd));
  j.Key("visible").Bool(IsWindowVisible(hwnd) != FALSE).Key("enabled").Bool(IsWindowEnabled(hwnd) != FALSE);
  j.Key("style").Num(static_cast<std::uint32_t>(GetWindowLongPtrW(hwnd, GWL_STYLE)));
  j.Key("exstyle").Num(static_cast<std::uint32_t>(GetWindowLongPtrW(hwnd, GWL_EXSTYLE)));
  j.Key("owner").Num(reinterpret_cast<std::uintptr_t>(GetWindow(hwnd, GW_OWNER)));
  j.Key("rect").Rect(rect).Key("client").Rect(client);
  j.Key("taskbar").Bool(HasTaskbarButton(hwnd));
  j.Key("dpi").Num(GetDpiForWindow(hwnd));
  // Balloons and tooltips keep their text where only the window can tell it.
  std::wstring text;
  if (cls == L"tooltips_class32" && IsWindowVisible(hwnd) && TextByMessage(hwnd, text)) j.Key("text").Text(text);
  j.Close('}');
}

// Enumeration callbacks: stdcall on i686, so named functions, not lambdas.
BOOL CALLBACK Collect(HWND hwnd, LPARAM list) {
  reinterpret_cast<std::vector<HWND>*>(list)->push_back(hwnd);
  return TRUE;
}

BOOL CALLBACK Monitor(HMONITOR monitor, HDC, LPRECT, LPARAM out) {
  MONITORINFO info{};
  info.cbSize = sizeof info;
  if (!GetMonitorInfoW(monitor, &info)) return TRUE;
  Json& json = *reinterpret_cast<Json*>(out);
  json.Open('{').Key("rect").Rect(info.rcMonitor).Key("work").Rect(info.rcWork);
  json.Key("primary").Bool((info.dwFlags & MONITORINFOF_PRIMARY) != 0).Close('}');
  return TRUE;
}

std::string Windows() {
  const auto names = ProcessNames();
  std::vector<HWND> all;
  EnumWindows(Collect, reinterpret_cast<LPARAM>(&all));
  Json j;
  j.Open('{').Key("windows").Open('[');
  for (HWND hwnd : all) Window(j, hwnd, names);
  j.Close(']').Close('}');
  return j.str();
}

HWND ParseHandle(const std::string& text) {
  return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(std::stoull(text)));
}

// Position of `hwnd` among its siblings, topmost first (the order in which
// the dialog manager walks them).
int ZIndex(HWND hwnd) {
  int index = 0;
  for (HWND h = GetWindow(hwnd, GW_HWNDPREV); h != nullptr; h = GetWindow(h, GW_HWNDPREV)) ++index;
  return index;
}

void TabWalk(Json& j, HWND dialog, HWND start, BOOL previous) {
  j.Open('[');
  if (start != nullptr) {
    HWND h = start;
    for (int i = 0; i < 40; ++i) {
      h = GetNextDlgTabItem(dialog, h, previous);
      if (h == nullptr) break;
      j.Num(reinterpret_cast<std::uintptr_t>(h));
      if (h == start) break;
    }
  }
  j.Close(']');
}

std::string Dialog(HWND dialog) {
  Json j;
  if (!IsWindow(dialog)) return Json().Open('{').Key("error").Text(L"no such window").Close('}').str();
  DWORD pid = 0;
  const DWORD tid = GetWindowThreadProcessId(dialog, &pid);
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  const bool have_info = GetGUIThreadInfo(tid, &info) != FALSE;
  RECT rect{}, client{};
  GetWindowRect(dialog, &rect);
  GetClientRect(dialog, &client);
  POINT origin{0, 0};
  ClientToScreen(dialog, &origin);

  std::vector<HWND> children;
  EnumChildWindows(dialog, Collect, reinterpret_cast<LPARAM>(&children));

  j.Open('{');
  j.Key("hwnd").Num(reinterpret_cast<std::uintptr_t>(dialog));
  j.Key("rect").Rect(rect).Key("client").Rect(client);
  j.Key("origin").Open('[').Num(origin.x).Num(origin.y).Close(']');
  j.Key("dpi").Num(GetDpiForWindow(dialog));
  j.Key("focus").Num(have_info ? reinterpret_cast<std::uintptr_t>(info.hwndFocus) : 0);
  j.Key("active").Num(have_info ? reinterpret_cast<std::uintptr_t>(info.hwndActive) : 0);
  j.Key("controls").Open('[');
  for (HWND child : children) {
    const auto style = static_cast<std::uint32_t>(GetWindowLongPtrW(child, GWL_STYLE));
    const std::wstring cls = ClassOf(child);
    RECT r{};
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    const bool is_edit = _wcsicmp(cls.c_str(), L"Edit") == 0;
    const bool password = is_edit && (style & ES_PASSWORD) != 0;
    j.Open('{');
    j.Key("hwnd").Num(reinterpret_cast<std::uintptr_t>(child));
    j.Key("parent").Num(reinterpret_cast<std::uintptr_t>(GetParent(child)));
    j.Key("id").Num(GetDlgCtrlID(child));
    j.Key("class").Text(cls);
    j.Key("password").Bool(password);
    std::wstring text;
    // A password box's content is the one thing the probe must not read.
    if (!password && TextByMessage(child, text)) j.Key("text").Text(text);
    j.Key("rect").Open('[').Num(r.left).Num(r.top).Num(r.right - r.left).Num(r.bottom - r.top).Close(']');
    j.Key("style").Num(style);
    j.Key("exstyle").Num(static_cast<std::uint32_t>(GetWindowLongPtrW(child, GWL_EXSTYLE)));
    j.Key("z").Num(ZIndex(child));
    j.Key("visible").Bool(IsWindowVisible(child) != FALSE).Key("enabled").Bool(IsWindowEnabled(child) != FALSE);
    LRESULT value = 0;
    if (_wcsicmp(cls.c_str(), L"Button") == 0 && SendForResult(child, BM_GETCHECK, 0, 0, value))
      j.Key("checked").Num(value);
    if (is_edit && SendForResult(child, EM_GETPASSWORDCHAR, 0, 0, value)) j.Key("password_char").Num(value);
    if (_wcsicmp(cls.c_str(), L"ComboBox") == 0 && SendForResult(child, CB_GETCOUNT, 0, 0, value) && value >= 0) {
      const LRESULT count = value;
      j.Key("items").Open('[');
      for (LRESULT i = 0; i < count && i < 64; ++i) {
        wchar_t item[256] = {};
        LRESULT length = 0;
        if (SendForResult(child, CB_GETLBTEXTLEN, i, 0, length) && length >= 0 && length < 255 &&
            SendForResult(child, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item), value) && value >= 0)
          j.Text(std::wstring(item, static_cast<std::size_t>(value)));
        else
          j.Null();
      }
      j.Close(']');
      // The edit field is the combo's child, found without GetComboBoxInfo:
      // Wine 8 hands another process's combo the caller's pointer as it is,
      // and the program writes the answer into its own stack at that address.
      if (const HWND edit = FindWindowExW(child, nullptr, L"Edit", nullptr))
        j.Key("combo_edit").Num(reinterpret_cast<std::uintptr_t>(edit));
    }
    j.Close('}');
  }
  j.Close(']');
  j.Close('}');
  return j.str();
}

std::string Tab(HWND dialog, HWND start, bool previous) {
  Json j;
  j.Open('{').Key("tab");
  TabWalk(j, dialog, start, previous ? TRUE : FALSE);
  j.Close('}');
  return j.str();
}

std::string Processes() {
  Json j;
  j.Open('{').Key("processes").Open('[');
  unique_handle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (snapshot) {
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
         more = Process32NextW(snapshot.get(), &entry)) {
      j.Open('{');
      j.Key("pid").Num(entry.th32ProcessID).Key("ppid").Num(entry.th32ParentProcessID);
      j.Key("exe").Text(entry.szExeFile).Key("threads").Num(entry.cntThreads);
      j.Close('}');
    }
  }
  j.Close(']').Close('}');
  return j.str();
}

std::string Modules(DWORD pid) {
  // Both flags: a 32-bit process seen from a 64-bit probe lists its own
  // modules only with the second.
  unique_handle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPMODULE | TH32CS_SNAPMODULE32, pid));
  if (!snapshot) throw std::runtime_error("no module snapshot of process " + std::to_string(pid) + " (error " +
                                          std::to_string(GetLastError()) + ")");
  Json j;
  j.Open('{').Key("modules").Open('[');
  MODULEENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Module32FirstW(snapshot.get(), &entry); more; more = Module32NextW(snapshot.get(), &entry)) {
    j.Text(entry.szModule);
  }
  j.Close(']').Close('}');
  return j.str();
}

std::string Screen() {
  Json j;
  j.Open('{');
  j.Key("virtual").Open('[');
  j.Num(GetSystemMetrics(SM_XVIRTUALSCREEN)).Num(GetSystemMetrics(SM_YVIRTUALSCREEN));
  j.Num(GetSystemMetrics(SM_CXVIRTUALSCREEN)).Num(GetSystemMetrics(SM_CYVIRTUALSCREEN));
  j.Close(']');
  j.Key("monitors").Open('[');
  EnumDisplayMonitors(nullptr, nullptr, Monitor, reinterpret_cast<LPARAM>(&j));
  j.Close(']');
  HDC screen = GetDC(nullptr);
  j.Key("logpixels").Num(screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSX) : 0);
  if (screen != nullptr) ReleaseDC(nullptr, screen);
  j.Key("system_dpi").Num(GetDpiForSystem());
  j.Close('}');
  return j.str();
}

void Values(Json& j, HKEY root, const wchar_t* path, const wchar_t* only) {
  unique_hkey key;
  if (RegOpenKeyExW(root, path, 0, KEY_READ, key.put()) != ERROR_SUCCESS) {
    j.Null();
    return;
  }
  j.Open('{');
  for (DWORD index = 0;; ++index) {
    wchar_t name[256] = {};
    DWORD name_length = 256;
    DWORD type = 0;
    std::vector<BYTE> data(1 << 16);
    DWORD size = static_cast<DWORD>(data.size());
    const LSTATUS status = RegEnumValueW(key.get(), index, name, &name_length, nullptr, &type, data.data(), &size);
    if (status == ERROR_NO_MORE_ITEMS) break;
    if (status != ERROR_SUCCESS) continue;
    if (only != nullptr && _wcsicmp(name, only) != 0) continue;
    j.Key(std::wstring(name, name_length)).Open('{');
    j.Key("type").Num(type).Key("size").Num(size);
    if (type == REG_SZ || type == REG_EXPAND_SZ) {
      j.Key("data").Text(std::wstring(reinterpret_cast<const wchar_t*>(data.data()), size / sizeof(wchar_t)));
    } else {
      std::wstring hex;
      wchar_t digits[3];
      for (DWORD i = 0; i < size; ++i) {
        std::swprintf(digits, 3, L"%02x", data[i]);
        hex += digits;
      }
      j.Key("hex").Text(hex);
    }
    j.Close('}');
  }
  j.Close('}');
}

std::string Registry() {
  Json j;
  j.Open('{');
  j.Key("settings");
  Values(j, HKEY_CURRENT_USER, L"Software\\PELMORA\\QLXDrive", nullptr);
  j.Key("run");
  Values(j, HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Run", L"QLXDrive");
  j.Close('}');
  return j.str();
}

std::string Drives() { return Json().Open('{').Key("mask").Num(GetLogicalDrives()).Close('}').str(); }

std::string Undefine(const std::string& drive) {
  const std::wstring letter(drive.begin(), drive.end());
  const bool ok = DefineDosDeviceW(DDD_REMOVE_DEFINITION, letter.c_str(), nullptr) != FALSE;
  return Json().Open('{').Key("ok").Bool(ok).Key("mask").Num(GetLogicalDrives()).Close('}').str();
}

std::wstring Wide(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(n > 0 ? n : 0, L'\0');
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), n);
  return wide;
}

std::string Status(LSTATUS status) {
  return Json().Open('{').Key("ok").Bool(status == ERROR_SUCCESS).Key("status").Num(status).Close('}').str();
}

std::string DeleteKey(const std::string& path) {
  LSTATUS status = RegDeleteTreeW(HKEY_CURRENT_USER, Wide(path).c_str());
  if (status == ERROR_SUCCESS) status = RegDeleteKeyW(HKEY_CURRENT_USER, Wide(path).c_str());
  return Status(status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status);
}

std::string DeleteValue(const std::string& path, const std::string& name) {
  unique_hkey key;
  LSTATUS status = RegOpenKeyExW(HKEY_CURRENT_USER, Wide(path).c_str(), 0, KEY_SET_VALUE, key.put());
  if (status == ERROR_SUCCESS) status = RegDeleteValueW(key.get(), Wide(name).c_str());
  return Status(status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status);
}

std::string SetDword(const std::string& path, const std::string& name, DWORD value) {
  unique_hkey key;
  LSTATUS status = RegCreateKeyExW(HKEY_CURRENT_USER, Wide(path).c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                   key.put(), nullptr);
  if (status == ERROR_SUCCESS)
    status = RegSetValueExW(key.get(), Wide(name).c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                            sizeof value);
  return Status(status);
}

// Answers once the window's thread takes a message again: a thread that
// waits for a child process or sleeps does not.
std::string Ping(HWND hwnd, UINT timeout_ms) {
  DWORD_PTR result = 0;
  const ULONGLONG start = GetTickCount64();
  const bool ok = SendMessageTimeoutW(hwnd, WM_NULL, 0, 0, SMTO_NORMAL, timeout_ms, &result) != 0;
  return Json().Open('{').Key("ok").Bool(ok).Key("ms").Num(static_cast<long long>(GetTickCount64() - start)).Close('}').str();
}

// A close request sent from this process, as another program (an installer,
// a system tool) sends it: the call returns once the window has handled it.
std::string Close(HWND hwnd, UINT timeout_ms) {
  DWORD_PTR result = 0;
  const ULONGLONG start = GetTickCount64();
  const bool ok = SendMessageTimeoutW(hwnd, WM_CLOSE, 0, 0, SMTO_NORMAL, timeout_ms, &result) != 0;
  return Json().Open('{').Key("ok").Bool(ok).Key("ms").Num(static_cast<long long>(GetTickCount64() - start)).Close('}').str();
}

// What Explorer does when it starts again: "TaskbarCreated" to every
// top-level window.
std::string TaskbarCreated() {
  DWORD_PTR result = 0;
  const UINT message = RegisterWindowMessageW(L"TaskbarCreated");
  const bool ok =
      SendMessageTimeoutW(HWND_BROADCAST, message, 0, 0, SMTO_ABORTIFHUNG | SMTO_NORMAL, 5000, &result) != 0;
  return Json().Open('{').Key("ok").Bool(ok).Close('}').str();
}

// An icon dropped by the shell, as a restarted Explorer's new taskbar has
// none: the icon of `hwnd`, whose identifier is the window's handle value.
std::string ForgetIcon(HWND hwnd) {
  NOTIFYICONDATAW record{};
  record.cbSize = sizeof record;
  record.hWnd = hwnd;
  record.uID = static_cast<UINT>(reinterpret_cast<UINT_PTR>(hwnd));
  const bool ok = Shell_NotifyIconW(NIM_DELETE, &record) != FALSE;
  return Json().Open('{').Key("ok").Bool(ok).Close('}').str();
}

// The end of the Windows session as a window sees it: the question, then,
// when it consents, the end itself.
std::string EndSession(HWND hwnd) {
  DWORD_PTR consent = 0;
  const bool asked = SendMessageTimeoutW(hwnd, WM_QUERYENDSESSION, 0, 0, SMTO_NORMAL, 5000, &consent) != 0;
  DWORD_PTR ignored = 0;
  // The window's process may end inside the call: no answer then.
  if (asked && consent != 0) SendMessageTimeoutW(hwnd, WM_ENDSESSION, TRUE, 0, SMTO_NORMAL, 5000, &ignored);
  return Json().Open('{').Key("asked").Bool(asked).Key("consent").Bool(consent != 0).Close('}').str();
}

std::string Answer(const std::string& line) {
  std::vector<std::string> words;
  for (std::size_t start = 0;;) {
    const std::size_t tab = line.find('\t', start);
    words.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
    if (tab == std::string::npos) break;
    start = tab + 1;
  }
  if (words.size() == 1 && words[0].empty()) words.clear();
  if (words.empty()) return Json().Open('{').Key("error").Text(L"empty command").Close('}').str();
  const std::string& verb = words[0];
  try {
    if (verb == "windows") return Windows();
    if (verb == "dialog" && words.size() == 2) return Dialog(ParseHandle(words[1]));
    if (verb == "tab" && words.size() == 4) return Tab(ParseHandle(words[1]), ParseHandle(words[2]), words[3] == "back");
    if (verb == "ping" && words.size() == 3) return Ping(ParseHandle(words[1]), std::stoul(words[2]));
    if (verb == "close" && words.size() == 3) return Close(ParseHandle(words[1]), std::stoul(words[2]));
    if (verb == "processes") return Processes();
    if (verb == "modules" && words.size() == 2) return Modules(std::stoul(words[1]));
    if (verb == "delete-key" && words.size() == 2) return DeleteKey(words[1]);
    if (verb == "delete-value" && words.size() == 3) return DeleteValue(words[1], words[2]);
    if (verb == "set-dword" && words.size() == 4) return SetDword(words[1], words[2], std::stoul(words[3]));
    if (verb == "screen") return Screen();
    if (verb == "registry") return Registry();
    if (verb == "drives") return Drives();
    if (verb == "undefine" && words.size() == 2) return Undefine(words[1]);
    if (verb == "taskbar-created") return TaskbarCreated();
    if (verb == "forget-icon" && words.size() == 2) return ForgetIcon(ParseHandle(words[1]));
    if (verb == "end-session" && words.size() == 2) return EndSession(ParseHandle(words[1]));
  } catch (const std::exception& error) {
    const std::string what = error.what();
    return Json().Open('{').Key("error").Text(std::wstring(what.begin(), what.end())).Close('}').str();
  }
  return Json().Open('{').Key("error").Text(L"unknown command").Close('}').str();
}

}  // namespace

int main() {
  // Physical pixels whatever the prefix's DPI: the tests compare against
  // scaled layouts themselves.
  SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
  std::ios::sync_with_stdio(false);
  for (std::string line; std::getline(std::cin, line);) {
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
    if (line == "quit") break;
    std::cout << Answer(line) << '\n' << std::flush;
  }
  return 0;
}

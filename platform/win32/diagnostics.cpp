#include "platform/win32/diagnostics.h"

#include <windows.h>
#include <winhttp.h>
#include <winnetwk.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "base/wipe.h"

#include "platform/win32/text.h"
#include "platform/win32/unique_handle.h"

namespace qlx::platform {

// ------------------------------------------------------------ services

ServiceStatus::Start DecodeServiceStart(std::uint32_t start) {
  switch (start) {
    case SERVICE_BOOT_START: return ServiceStatus::Start::Boot;
    case SERVICE_SYSTEM_START: return ServiceStatus::Start::System;
    case SERVICE_AUTO_START: return ServiceStatus::Start::Automatic;
    case SERVICE_DEMAND_START: return ServiceStatus::Start::Manual;
    case SERVICE_DISABLED: return ServiceStatus::Start::Disabled;
    default: return ServiceStatus::Start::Other;
  }
}

ServiceStatus::Run DecodeServiceState(std::uint32_t state) {
  switch (state) {
    case SERVICE_STOPPED: return ServiceStatus::Run::Stopped;
    case SERVICE_START_PENDING: return ServiceStatus::Run::Starting;
    case SERVICE_STOP_PENDING: return ServiceStatus::Run::Stopping;
    case SERVICE_RUNNING: return ServiceStatus::Run::Running;
    case SERVICE_CONTINUE_PENDING: return ServiceStatus::Run::Continuing;
    case SERVICE_PAUSE_PENDING: return ServiceStatus::Run::Pausing;
    case SERVICE_PAUSED: return ServiceStatus::Run::Paused;
    default: return ServiceStatus::Run::Other;
  }
}

namespace {

// SERVICE_TRIGGER_INFO's head, which this SDK's headers lack.
struct TriggerInfoHead {
  DWORD count;
  void* triggers;
  BYTE* reserved;
};

ServiceStatus::Trigger TriggerOf(SC_HANDLE service) {
  constexpr DWORD kTriggerInfo = 8;  // SERVICE_CONFIG_TRIGGER_INFO, Windows 7 and later
  DWORD needed = 0;
  QueryServiceConfig2W(service, kTriggerInfo, nullptr, 0, &needed);
  std::vector<BYTE> buffer(std::max<DWORD>(needed, sizeof(TriggerInfoHead)));
  if (!QueryServiceConfig2W(service, kTriggerInfo, buffer.data(), static_cast<DWORD>(buffer.size()), &needed))
    return ServiceStatus::Trigger::Unknown;
  return reinterpret_cast<const TriggerInfoHead*>(buffer.data())->count > 0 ? ServiceStatus::Trigger::Present
                                                                            : ServiceStatus::Trigger::Absent;
}

// Asking for the start right tells whether this user has it; the handle
// is closed unused.
ServiceStatus::StartRight StartRightOf(SC_HANDLE manager, const std::u16string& name) {
  const unique_schandle service(OpenServiceW(manager, W(name), SERVICE_START));
  if (service) return ServiceStatus::StartRight::Allowed;
  return GetLastError() == ERROR_ACCESS_DENIED ? ServiceStatus::StartRight::Denied : ServiceStatus::StartRight::Unknown;
}

}  // namespace

ServiceStatus Win32ServiceManager::Query(const std::u16string& name) {
  ServiceStatus result;
  const unique_schandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!manager) {
    result.presence = ServiceStatus::Presence::Unreadable;
    result.error = GetLastError();
    return result;
  }
  const unique_schandle service(OpenServiceW(manager.get(), W(name), SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS));
  if (!service) {
    const DWORD error = GetLastError();
    result.presence = error == ERROR_SERVICE_DOES_NOT_EXIST ? ServiceStatus::Presence::Absent
                                                            : ServiceStatus::Presence::Unreadable;
    result.error = error;
    return result;
  }
  // The configuration's size depends on its strings: ask, then read.
  DWORD needed = 0;
  QueryServiceConfigW(service.get(), nullptr, 0, &needed);
  std::vector<unsigned char> buffer(std::max<DWORD>(needed, sizeof(QUERY_SERVICE_CONFIGW)));
  auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
  SERVICE_STATUS status{};
  if (!QueryServiceConfigW(service.get(), config, static_cast<DWORD>(buffer.size()), &needed) ||
      !QueryServiceStatus(service.get(), &status)) {
    result.presence = ServiceStatus::Presence::Unreadable;
    result.error = GetLastError();
    return result;
  }
  result.presence = ServiceStatus::Presence::Installed;
  result.raw_start = config->dwStartType;
  result.raw_state = status.dwCurrentState;
  result.start = DecodeServiceStart(config->dwStartType);
  result.state = DecodeServiceState(status.dwCurrentState);
  result.trigger = TriggerOf(service.get());
  result.start_right = StartRightOf(manager.get(), name);
  return result;
}

// ---------------------------------------------------- machine registry

MachineValue Win32MachineRegistry::Read(const std::u16string& path, const std::u16string& name) {
  MachineValue result;
  unique_hkey key;
  const LSTATUS opened = RegOpenKeyExW(HKEY_LOCAL_MACHINE, W(path), 0, KEY_READ, key.put());
  if (opened != ERROR_SUCCESS) {
    result.status = opened == ERROR_FILE_NOT_FOUND ? MachineValue::Status::NoKey : MachineValue::Status::Failed;
    result.error = static_cast<std::uint32_t>(opened);
    return result;
  }
  // A value that grows between the two calls is read again, a few times.
  for (int attempt = 0; attempt < 4; ++attempt) {
    DWORD type = REG_NONE, size = 0;
    LSTATUS status = RegQueryValueExW(key.get(), W(name), nullptr, &type, nullptr, &size);
    if (status == ERROR_SUCCESS) {
      result.data.assign(size, 0);
      status = RegQueryValueExW(key.get(), W(name), nullptr, &type, result.data.empty() ? nullptr : result.data.data(),
                                &size);
      if (status == ERROR_MORE_DATA) continue;
      if (status == ERROR_SUCCESS) result.data.resize(size);
    }
    if (status == ERROR_SUCCESS) {
      result.status = MachineValue::Status::Ok;
      result.type = type;
    } else {
      result.status = status == ERROR_FILE_NOT_FOUND ? MachineValue::Status::NoValue : MachineValue::Status::Failed;
      result.error = static_cast<std::uint32_t>(status);
      result.data.clear();
    }
    return result;
  }
  result.status = MachineValue::Status::Failed;
  result.error = ERROR_MORE_DATA;
  result.data.clear();
  return result;
}

// ------------------------------------------------- network connections

DriveConnection Win32NetworkConnections::RemoteOf(const std::u16string& drive) {
  DriveConnection result;
  std::vector<wchar_t> remote(MAX_PATH + 1);
  for (int attempt = 0; attempt < 4; ++attempt) {
    DWORD length = static_cast<DWORD>(remote.size());
    const DWORD status = WNetGetConnectionW(W(drive), remote.data(), &length);
    switch (status) {
      case NO_ERROR:
      case ERROR_CONNECTION_UNAVAIL:  // remembered, not connected now: the letter is still taken
        result.status = DriveConnection::Status::Connected;
        result.remote = U16(remote.data(), wcsnlen(remote.data(), remote.size()));
        return result;
      case ERROR_MORE_DATA:
        remote.assign(std::max<std::size_t>(length, remote.size() * 2) + 1, L'\0');
        continue;
      case ERROR_NOT_CONNECTED:
      case ERROR_NO_NETWORK:  // no network provider: nothing can be connected there
      // Said of a well-formed letter that no provider knows (Wine says so of
      // a letter that is not assigned at all).
      case ERROR_BAD_DEVICE:
        result.status = DriveConnection::Status::NotConnected;
        return result;
      default:
        result.status = DriveConnection::Status::Failed;
        result.error = status;
        return result;
    }
  }
  result.status = DriveConnection::Status::Failed;
  result.error = ERROR_MORE_DATA;
  return result;
}

// --------------------------------------------------------------- files

bool Win32Files::FileExists(const std::u16string& path) {
  const DWORD attributes = GetFileAttributesW(W(path));
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// ------------------------------------------------------------- session

Session::Elevation Win32Session::Query() {
  HANDLE raw = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) return Elevation::Unknown;
  const unique_handle token(raw);
  TOKEN_ELEVATION elevation{};
  DWORD size = 0;
  if (!GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof elevation, &size))
    return Elevation::Unknown;
  return elevation.TokenIsElevated ? Elevation::Elevated : Elevation::NotElevated;
}

// ------------------------------------------------------------- proxies

namespace {

// Takes a string WinHTTP allocated, and frees it.
std::u16string Taken(LPWSTR text) {
  if (!text) return {};
  std::u16string out = U16(text, wcslen(text));
  GlobalFree(text);
  return out;
}

}  // namespace

ProxyConfiguration Win32ProxySettings::User() {
  ProxyConfiguration result;
  WINHTTP_CURRENT_USER_IE_PROXY_CONFIG config{};
  if (!WinHttpGetIEProxyConfigForCurrentUser(&config)) {
    result.readable = false;
    result.error = GetLastError();
    return result;
  }
  result.auto_detect = config.fAutoDetect != FALSE;
  result.script_url = Taken(config.lpszAutoConfigUrl);
  result.proxy = Taken(config.lpszProxy);
  result.bypass = Taken(config.lpszProxyBypass);
  return result;
}

ProxyConfiguration Win32ProxySettings::WinHttp() {
  ProxyConfiguration result;
  WINHTTP_PROXY_INFO info{};
  if (!WinHttpGetDefaultProxyConfiguration(&info)) {
    result.readable = false;
    result.error = GetLastError();
    return result;
  }
  const bool named = info.dwAccessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY;
  std::u16string proxy = Taken(info.lpszProxy), bypass = Taken(info.lpszProxyBypass);
  if (named) {
    result.proxy = std::move(proxy);
    result.bypass = std::move(bypass);
  }
  return result;
}

}  // namespace qlx::platform

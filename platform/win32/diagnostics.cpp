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
#include "platform/win32/unique_internet.h"

namespace qlx::platform {

// ------------------------------------------------------------ services

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
  result.start_type = config->dwStartType;
  result.current_state = status.dwCurrentState;
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

// ---------------------------------------------------------------- HTTP

namespace {

using SteadyClock = std::chrono::steady_clock;

// What is left of the bound, never less than 1 ms (0 would mean "no limit"
// to WinHTTP).
int Remaining(SteadyClock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now()).count();
  return static_cast<int>(std::clamp<long long>(left, 1, 0x7FFFFFFF));
}

// WinHTTP's timeouts bound each phase, not the whole: each phase gets what
// is left of the one bound.
void BoundPhases(HINTERNET handle, SteadyClock::time_point deadline) {
  const int left = Remaining(deadline);
  WinHttpSetTimeouts(handle, left, left, left, left);
}

void CALLBACK OnSecureFailure(HINTERNET, DWORD_PTR context, DWORD status, LPVOID information, DWORD length) {
  if (status != WINHTTP_CALLBACK_STATUS_SECURE_FAILURE || context == 0 || information == nullptr ||
      length < sizeof(DWORD))
    return;
  *reinterpret_cast<std::uint32_t*>(context) |= *static_cast<const DWORD*>(information);
}

HttpOutcome Failure(DWORD error, std::uint32_t certificate_flags) {
  HttpOutcome outcome;
  outcome.error = error;
  outcome.certificate_flags = certificate_flags;
  switch (error) {
    case ERROR_WINHTTP_NAME_NOT_RESOLVED:
      outcome.kind = HttpOutcome::Kind::NameNotResolved;
      break;
    case ERROR_WINHTTP_CANNOT_CONNECT:
      outcome.kind = HttpOutcome::Kind::CannotConnect;
      break;
    case ERROR_WINHTTP_TIMEOUT:
      outcome.kind = HttpOutcome::Kind::TimedOut;
      break;
    case ERROR_WINHTTP_SECURE_FAILURE:
    case ERROR_WINHTTP_SECURE_CERT_DATE_INVALID:
    case ERROR_WINHTTP_SECURE_CERT_CN_INVALID:
    case ERROR_WINHTTP_SECURE_INVALID_CA:
    case ERROR_WINHTTP_SECURE_CERT_REV_FAILED:
    case ERROR_WINHTTP_SECURE_CHANNEL_ERROR:
    case ERROR_WINHTTP_SECURE_INVALID_CERT:
    case ERROR_WINHTTP_SECURE_CERT_REVOKED:
    case ERROR_WINHTTP_SECURE_CERT_WRONG_USAGE:
    case ERROR_WINHTTP_CLIENT_AUTH_CERT_NEEDED:
      outcome.kind = HttpOutcome::Kind::SecureFailure;
      break;
    default:
      outcome.kind = HttpOutcome::Kind::Failed;
  }
  return outcome;
}

// The exchange itself, synchronous; its phases share one deadline.
HttpOutcome Exchange(const HttpRequest& request, SteadyClock::time_point deadline) {

  URL_COMPONENTSW parts{};
  parts.dwStructSize = sizeof parts;
  parts.dwSchemeLength = parts.dwHostNameLength = parts.dwUrlPathLength = parts.dwExtraInfoLength =
      static_cast<DWORD>(-1);
  if (!WinHttpCrackUrl(W(request.url), static_cast<DWORD>(request.url.size()), 0, &parts))
    return Failure(GetLastError(), 0);
  const std::u16string host = U16(parts.lpszHostName, parts.dwHostNameLength);
  std::u16string path = U16(parts.lpszUrlPath, parts.dwUrlPathLength) + U16(parts.lpszExtraInfo, parts.dwExtraInfoLength);
  if (path.empty()) path = u"/";
  const bool secure = parts.nScheme == INTERNET_SCHEME_HTTPS;

  const unique_hinternet session(WinHttpOpen(L"qlxctl-doctor", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                                             WINHTTP_NO_PROXY_BYPASS, 0));
  if (!session) return Failure(GetLastError(), 0);
  BoundPhases(session.get(), deadline);
  const unique_hinternet connection(WinHttpConnect(session.get(), W(host), parts.nPort, 0));
  if (!connection) return Failure(GetLastError(), 0);
  // The URL is escaped already; WinHTTP sends it as it stands.
  const unique_hinternet handle(WinHttpOpenRequest(connection.get(), W(request.method), W(path), nullptr,
                                                   WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                                   WINHTTP_FLAG_ESCAPE_DISABLE | (secure ? WINHTTP_FLAG_SECURE : 0)));
  if (!handle) return Failure(GetLastError(), 0);

  DWORD never = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
  WinHttpSetOption(handle.get(), WINHTTP_OPTION_REDIRECT_POLICY, &never, sizeof never);
  // The certificate's faults arrive through the status callback only.
  std::uint32_t certificate_flags = 0;
  DWORD_PTR context = reinterpret_cast<DWORD_PTR>(&certificate_flags);
  WinHttpSetOption(handle.get(), WINHTTP_OPTION_CONTEXT_VALUE, &context, sizeof context);
  WinHttpSetStatusCallback(handle.get(), OnSecureFailure, WINHTTP_CALLBACK_FLAG_SECURE_FAILURE, 0);

  BoundPhases(handle.get(), deadline);
  const DWORD body_size = static_cast<DWORD>(request.body.size());
  const wchar_t* headers = request.headers.empty() ? WINHTTP_NO_ADDITIONAL_HEADERS : W(request.headers);
  if (!WinHttpSendRequest(handle.get(), headers, static_cast<DWORD>(-1),
                          body_size ? const_cast<char*>(request.body.data()) : WINHTTP_NO_REQUEST_DATA, body_size,
                          body_size, 0))
    return Failure(GetLastError(), certificate_flags);
  if (SteadyClock::now() >= deadline) return Failure(ERROR_WINHTTP_TIMEOUT, certificate_flags);
  BoundPhases(handle.get(), deadline);
  if (!WinHttpReceiveResponse(handle.get(), nullptr)) return Failure(GetLastError(), certificate_flags);

  DWORD status = 0, size = sizeof status;
  if (!WinHttpQueryHeaders(handle.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                           WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX))
    return Failure(GetLastError(), certificate_flags);
  HttpOutcome outcome;
  outcome.kind = HttpOutcome::Kind::Answered;
  outcome.status = status;
  return outcome;
}

// What the caller and the exchange's thread share; the thread may outlive
// the caller's wait.
struct PendingExchange {
  std::mutex mutex;
  std::condition_variable finished;
  bool done = false;
  HttpOutcome outcome;
  HttpRequest request;
  ~PendingExchange() { SecureWipe(request.headers); }
};

}  // namespace

// WinHTTP's own timeouts bound each phase, and not every phase everywhere
// (name resolution has none; Wine waits for an answer without limit): the
// exchange runs on a thread of its own and the caller waits for it only up
// to the bound. A thread that finished in time is joined, so that none is
// still on its way out when the process ends (under WoW64 such a thread can
// leave its own exit code, 0, as the process's). One still running at the
// bound is left to end with the process; it reports to no one.
HttpOutcome Win32Http::Send(const HttpRequest& request) {
  const SteadyClock::time_point deadline = SteadyClock::now() + std::chrono::milliseconds(request.timeout_ms);
  auto pending = std::make_shared<PendingExchange>();
  pending->request = request;
  std::thread worker([pending, deadline] {
    HttpOutcome outcome = Exchange(pending->request, deadline);
    const std::lock_guard<std::mutex> lock(pending->mutex);
    SecureWipe(pending->request.headers);
    pending->outcome = outcome;
    pending->done = true;
    pending->finished.notify_all();
  });
  bool finished = false;
  {
    std::unique_lock<std::mutex> lock(pending->mutex);
    // A little beyond the bound, so that WinHTTP's own timeout, where it has
    // one, is the one reported.
    finished = pending->finished.wait_until(lock, deadline + std::chrono::milliseconds(250),
                                            [&] { return pending->done; });
  }
  if (!finished) {
    worker.detach();
    return Failure(ERROR_WINHTTP_TIMEOUT, 0);
  }
  worker.join();
  return pending->outcome;
}

}  // namespace qlx::platform

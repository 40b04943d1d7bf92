#include "platform/win32/diagnostics.h"

#include <windows.h>
#include <winhttp.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "base/wipe.h"
#include "platform/win32/diagnostics_certificate.h"
#include "platform/win32/text.h"
#include "platform/win32/unique_internet.h"

namespace qlx::platform {

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

// The certificate's faults, named: the error names one, the callback's
// flags may name several.
std::uint32_t TlsFaults(DWORD error, std::uint32_t flags) {
  struct Bit {
    DWORD error, flag;
    std::uint32_t fault;
  };
  static constexpr Bit kBits[] = {
      {ERROR_WINHTTP_SECURE_INVALID_CA, WINHTTP_CALLBACK_STATUS_FLAG_INVALID_CA, tls::kUntrusted},
      {ERROR_WINHTTP_SECURE_CERT_CN_INVALID, WINHTTP_CALLBACK_STATUS_FLAG_CERT_CN_INVALID, tls::kWrongName},
      {ERROR_WINHTTP_SECURE_CERT_DATE_INVALID, WINHTTP_CALLBACK_STATUS_FLAG_CERT_DATE_INVALID, tls::kExpired},
      {ERROR_WINHTTP_SECURE_CERT_REVOKED, WINHTTP_CALLBACK_STATUS_FLAG_CERT_REVOKED, tls::kRevoked},
      {ERROR_WINHTTP_SECURE_CERT_REV_FAILED, WINHTTP_CALLBACK_STATUS_FLAG_CERT_REV_FAILED, tls::kRevocationUnknown},
      {ERROR_WINHTTP_SECURE_INVALID_CERT, WINHTTP_CALLBACK_STATUS_FLAG_INVALID_CERT, tls::kInvalid},
      {ERROR_WINHTTP_SECURE_CERT_WRONG_USAGE, WINHTTP_CALLBACK_STATUS_FLAG_CERT_WRONG_USAGE, tls::kWrongUsage},
      {ERROR_WINHTTP_SECURE_CHANNEL_ERROR, WINHTTP_CALLBACK_STATUS_FLAG_SECURITY_CHANNEL_ERROR, tls::kHandshake},
      {ERROR_WINHTTP_CLIENT_AUTH_CERT_NEEDED, 0, tls::kClientCertificate},
  };
  std::uint32_t faults = 0;
  for (const Bit& b : kBits)
    if (error == b.error || (b.flag && (flags & b.flag))) faults |= b.fault;
  return faults;
}

}  // namespace

HttpOutcome DecodeHttpFailure(std::uint32_t error, std::uint32_t certificate_flags) {
  HttpOutcome outcome;
  outcome.error = error;
  switch (error) {
    case ERROR_WINHTTP_NAME_NOT_RESOLVED: outcome.kind = HttpOutcome::Kind::NameNotResolved; break;
    case ERROR_WINHTTP_CANNOT_CONNECT: outcome.kind = HttpOutcome::Kind::CannotConnect; break;
    case ERROR_WINHTTP_TIMEOUT: outcome.kind = HttpOutcome::Kind::TimedOut; break;
    // WinHTTP's name for it, and the socket's.
    case ERROR_WINHTTP_CONNECTION_ERROR:
    case WSAECONNRESET: outcome.kind = HttpOutcome::Kind::ConnectionReset; break;
    default:
      outcome.tls_faults = TlsFaults(error, certificate_flags);
      outcome.kind = outcome.tls_faults || error == ERROR_WINHTTP_SECURE_FAILURE ? HttpOutcome::Kind::SecureFailure
                                                                                 : HttpOutcome::Kind::Failed;
  }
  return outcome;
}

namespace {

HttpOutcome Failure(DWORD error, std::uint32_t certificate_flags) { return DecodeHttpFailure(error, certificate_flags); }

// A TLS failure that names no fault of the certificate (Wine's WinHTTP
// names none): the certificate is judged here instead.
HttpOutcome SecureFailure(DWORD error, std::uint32_t flags, HINTERNET connection, const std::u16string& host,
                          SteadyClock::time_point deadline) {
  HttpOutcome outcome = Failure(error, flags);
  if (outcome.kind == HttpOutcome::Kind::SecureFailure && (outcome.tls_faults & ~tls::kHandshake) == 0)
    if (const std::uint32_t faults = ExamineServerCertificate(connection, host, deadline)) outcome.tls_faults = faults;
  return outcome;
}

// One header's values, repeated ones joined by ", " as one header line would
// carry them; empty when absent.
std::u16string Header(HINTERNET request, DWORD query, const wchar_t* name = WINHTTP_HEADER_NAME_BY_INDEX) {
  std::u16string all;
  for (DWORD index = 0;;) {
    const DWORD asked = index;
    DWORD size = 0;
    WinHttpQueryHeaders(request, query, name, WINHTTP_NO_OUTPUT_BUFFER, &size, &index);
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0) break;
    std::vector<wchar_t> value(size / sizeof(wchar_t) + 1);
    index = asked;
    if (!WinHttpQueryHeaders(request, query, name, value.data(), &size, &index)) break;
    all += (all.empty() ? u"" : u", ") + U16(value.data(), size / sizeof(wchar_t));
    if (index == asked) break;  // a header WinHTTP does not count through
  }
  return all;
}

// The body, up to `limit` bytes; cut says there was more.
void ReadBody(HINTERNET request, std::size_t limit, HttpOutcome& outcome) {
  char buffer[16384];
  while (outcome.body.size() <= limit) {
    DWORD read = 0;
    if (!WinHttpReadData(request, buffer, sizeof buffer, &read) || read == 0) return;
    outcome.body.append(buffer, read);
  }
  outcome.body.resize(limit);
  outcome.body_cut = true;
}

HttpOutcome Answered(HINTERNET request, DWORD status, std::size_t max_body) {
  HttpOutcome outcome;
  outcome.kind = HttpOutcome::Kind::Answered;
  outcome.status = status;
  outcome.location = Header(request, WINHTTP_QUERY_LOCATION);
  outcome.www_authenticate = Header(request, WINHTTP_QUERY_WWW_AUTHENTICATE);
  outcome.content_type = Header(request, WINHTTP_QUERY_CONTENT_TYPE);
  outcome.allow = Header(request, WINHTTP_QUERY_ALLOW);
  outcome.dav = Header(request, WINHTTP_QUERY_CUSTOM, L"DAV");
  if (max_body) ReadBody(request, max_body, outcome);
  return outcome;
}

// The request handle: no redirect followed, revocation checked, the
// certificate's faults reported to `flags`.
bool Prepare(HINTERNET handle, std::uint32_t* flags) {
  DWORD never = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
  WinHttpSetOption(handle, WINHTTP_OPTION_REDIRECT_POLICY, &never, sizeof never);
  // Unasked, WinHTTP checks no revocation; the redirector does.
  DWORD revocation = WINHTTP_ENABLE_SSL_REVOCATION;
  WinHttpSetOption(handle, WINHTTP_OPTION_ENABLE_FEATURE, &revocation, sizeof revocation);
  DWORD_PTR context = reinterpret_cast<DWORD_PTR>(flags);
  WinHttpSetOption(handle, WINHTTP_OPTION_CONTEXT_VALUE, &context, sizeof context);
  return WinHttpSetStatusCallback(handle, OnSecureFailure, WINHTTP_CALLBACK_FLAG_SECURE_FAILURE, 0) !=
         WINHTTP_INVALID_STATUS_CALLBACK;
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
  std::uint32_t certificate_flags = 0;
  Prepare(handle.get(), &certificate_flags);

  BoundPhases(handle.get(), deadline);
  const DWORD body_size = static_cast<DWORD>(request.body.size());
  const wchar_t* headers = request.headers.empty() ? WINHTTP_NO_ADDITIONAL_HEADERS : W(request.headers);
  if (!WinHttpSendRequest(handle.get(), headers, static_cast<DWORD>(-1),
                          body_size ? const_cast<char*>(request.body.data()) : WINHTTP_NO_REQUEST_DATA, body_size,
                          body_size, 0))
    return SecureFailure(GetLastError(), certificate_flags, connection.get(), host, deadline);
  if (SteadyClock::now() >= deadline) return Failure(ERROR_WINHTTP_TIMEOUT, certificate_flags);
  BoundPhases(handle.get(), deadline);
  if (!WinHttpReceiveResponse(handle.get(), nullptr))
    return SecureFailure(GetLastError(), certificate_flags, connection.get(), host, deadline);

  DWORD status = 0, size = sizeof status;
  if (!WinHttpQueryHeaders(handle.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                           WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX))
    return Failure(GetLastError(), certificate_flags);
  return Answered(handle.get(), status, request.max_body);
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

std::uint64_t Win32Http::NowMs() {
  return static_cast<std::uint64_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now().time_since_epoch()).count());
}

}  // namespace qlx::platform

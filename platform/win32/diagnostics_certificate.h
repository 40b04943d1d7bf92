#pragma once
// A server certificate judged by the system's own chain policy, for a TLS
// failure WinHTTP reports without naming the certificate's fault.
#include <windows.h>
#include <winhttp.h>

#include <chrono>
#include <cstdint>
#include <string>

namespace qlx::platform {

// Fetches the certificate of `host` again over `connection` with WinHTTP's
// own verification off and no credentials, and returns its faults (tls::k*
// bits, revocation included); 0 when it cannot be fetched or has none.
std::uint32_t ExamineServerCertificate(HINTERNET connection, const std::u16string& host,
                                       std::chrono::steady_clock::time_point deadline);

}  // namespace qlx::platform

#include "platform/win32/diagnostics_certificate.h"

#include <wincrypt.h>

#include <algorithm>

#include "platform/context.h"
#include "platform/win32/text.h"
#include "platform/win32/unique_internet.h"

namespace qlx::platform {

namespace {

struct CertificateContext {
  PCCERT_CONTEXT context = nullptr;
  ~CertificateContext() {
    if (context) CertFreeCertificateContext(context);
  }
};

struct ChainContext {
  PCCERT_CHAIN_CONTEXT chain = nullptr;
  ~ChainContext() {
    if (chain) CertFreeCertificateChain(chain);
  }
};

// The chain's own status: trust, time and revocation.
std::uint32_t TrustFaults(DWORD status) {
  std::uint32_t faults = 0;
  if (status & (CERT_TRUST_IS_UNTRUSTED_ROOT | CERT_TRUST_IS_PARTIAL_CHAIN)) faults |= tls::kUntrusted;
  if (status & CERT_TRUST_IS_NOT_TIME_VALID) faults |= tls::kExpired;
  if (status & CERT_TRUST_IS_REVOKED) faults |= tls::kRevoked;
  if (status & (CERT_TRUST_REVOCATION_STATUS_UNKNOWN | CERT_TRUST_IS_OFFLINE_REVOCATION)) faults |= tls::kRevocationUnknown;
  if (status & CERT_TRUST_IS_NOT_VALID_FOR_USAGE) faults |= tls::kWrongUsage;
  if (status & (CERT_TRUST_IS_NOT_SIGNATURE_VALID | CERT_TRUST_INVALID_EXTENSION)) faults |= tls::kInvalid;
  return faults;
}

// The SSL policy adds what the chain alone does not say: the host name.
std::uint32_t PolicyFaults(PCCERT_CHAIN_CONTEXT chain, const std::u16string& host) {
  std::u16string name = host;
  SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl{};
  ssl.cbSize = sizeof ssl;
  ssl.dwAuthType = AUTHTYPE_SERVER;
  ssl.pwszServerName = W(name);
  CERT_CHAIN_POLICY_PARA para{};
  para.cbSize = sizeof para;
  para.pvExtraPolicyPara = &ssl;
  CERT_CHAIN_POLICY_STATUS status{};
  status.cbSize = sizeof status;
  if (!CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &para, &status)) return 0;
  switch (static_cast<HRESULT>(status.dwError)) {
    case CERT_E_CN_NO_MATCH: return tls::kWrongName;
    case CERT_E_UNTRUSTEDROOT:
    case CERT_E_CHAINING: return tls::kUntrusted;
    case CERT_E_EXPIRED: return tls::kExpired;
    case CRYPT_E_REVOKED: return tls::kRevoked;
    case CRYPT_E_REVOCATION_OFFLINE:
    case CRYPT_E_NO_REVOCATION_CHECK: return tls::kRevocationUnknown;
    case CERT_E_WRONG_USAGE: return tls::kWrongUsage;
    default: return 0;
  }
}

}  // namespace

std::uint32_t ExamineServerCertificate(HINTERNET connection, const std::u16string& host,
                                       std::chrono::steady_clock::time_point deadline) {
  const unique_hinternet request(WinHttpOpenRequest(connection, L"HEAD", L"/", nullptr, WINHTTP_NO_REFERER,
                                                    WINHTTP_DEFAULT_ACCEPT_TYPES, WINHTTP_FLAG_SECURE));
  if (!request) return 0;
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
  const int ms = static_cast<int>(std::clamp<long long>(left.count(), 1, 0x7FFFFFFF));
  WinHttpSetTimeouts(request.get(), ms, ms, ms, ms);
  DWORD ignore = SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_CERT_DATE_INVALID |
                 SECURITY_FLAG_IGNORE_CERT_CN_INVALID | SECURITY_FLAG_IGNORE_CERT_WRONG_USAGE;
  WinHttpSetOption(request.get(), WINHTTP_OPTION_SECURITY_FLAGS, &ignore, sizeof ignore);
  // Only the handshake matters; whatever the server answers is not read.
  WinHttpSendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0);
  CertificateContext certificate;
  DWORD size = sizeof certificate.context;
  if (!WinHttpQueryOption(request.get(), WINHTTP_OPTION_SERVER_CERT_CONTEXT, &certificate.context, &size) ||
      !certificate.context)
    return 0;
  CERT_CHAIN_PARA para{};
  para.cbSize = sizeof para;
  ChainContext chain;
  if (!CertGetCertificateChain(nullptr, certificate.context, nullptr, certificate.context->hCertStore, &para,
                               CERT_CHAIN_REVOCATION_CHECK_CHAIN_EXCLUDE_ROOT, nullptr, &chain.chain))
    return 0;
  return TrustFaults(chain.chain->TrustStatus.dwErrorStatus) | PolicyFaults(chain.chain, host);
}

}  // namespace qlx::platform

// The Win32 numbers the diagnosis reads, named: what each service start
// type and state is, and what a failed WinHTTP exchange says of the
// connection and the certificate.
#include <windows.h>
#include <winhttp.h>

#include <gtest/gtest.h>

#include "platform/win32/diagnostics.h"

namespace qlx::platform {
namespace {

TEST(DoctorDecoding, ServiceStartTypesAndStates) {
  using S = ServiceStatus::Start;
  using R = ServiceStatus::Run;
  EXPECT_EQ(DecodeServiceStart(SERVICE_AUTO_START), S::Automatic);
  EXPECT_EQ(DecodeServiceStart(SERVICE_DEMAND_START), S::Manual);
  EXPECT_EQ(DecodeServiceStart(SERVICE_DISABLED), S::Disabled);
  EXPECT_EQ(DecodeServiceStart(SERVICE_BOOT_START), S::Boot);
  EXPECT_EQ(DecodeServiceStart(SERVICE_SYSTEM_START), S::System);
  EXPECT_EQ(DecodeServiceStart(9), S::Other);
  EXPECT_EQ(DecodeServiceState(SERVICE_STOPPED), R::Stopped);
  EXPECT_EQ(DecodeServiceState(SERVICE_RUNNING), R::Running);
  EXPECT_EQ(DecodeServiceState(SERVICE_START_PENDING), R::Starting);
  EXPECT_EQ(DecodeServiceState(SERVICE_PAUSED), R::Paused);
  EXPECT_EQ(DecodeServiceState(0), R::Other);
}

TEST(DoctorDecoding, ConnectionFailures) {
  using K = HttpOutcome::Kind;
  EXPECT_EQ(DecodeHttpFailure(ERROR_WINHTTP_NAME_NOT_RESOLVED, 0).kind, K::NameNotResolved);
  EXPECT_EQ(DecodeHttpFailure(ERROR_WINHTTP_CANNOT_CONNECT, 0).kind, K::CannotConnect);
  EXPECT_EQ(DecodeHttpFailure(ERROR_WINHTTP_TIMEOUT, 0).kind, K::TimedOut);
  EXPECT_EQ(DecodeHttpFailure(ERROR_WINHTTP_CONNECTION_ERROR, 0).kind, K::ConnectionReset);
  EXPECT_EQ(DecodeHttpFailure(WSAECONNRESET, 0).kind, K::ConnectionReset);
  const HttpOutcome other = DecodeHttpFailure(ERROR_WINHTTP_INVALID_SERVER_RESPONSE, 0);
  EXPECT_EQ(other.kind, K::Failed);
  EXPECT_EQ(other.error, static_cast<std::uint32_t>(ERROR_WINHTTP_INVALID_SERVER_RESPONSE));
}

// The error names one fault, the callback's flags may add others; the two
// revocation verdicts stay apart.
TEST(DoctorDecoding, CertificateFaults) {
  struct Case {
    DWORD error, flags;
    std::uint32_t faults;
  };
  const Case cases[] = {
      {ERROR_WINHTTP_SECURE_INVALID_CA, 0, tls::kUntrusted},
      {ERROR_WINHTTP_SECURE_CERT_REVOKED, 0, tls::kRevoked},
      {ERROR_WINHTTP_SECURE_CERT_REV_FAILED, 0, tls::kRevocationUnknown},
      {ERROR_WINHTTP_SECURE_CERT_CN_INVALID, 0, tls::kWrongName},
      {ERROR_WINHTTP_SECURE_CERT_DATE_INVALID, 0, tls::kExpired},
      {ERROR_WINHTTP_CLIENT_AUTH_CERT_NEEDED, 0, tls::kClientCertificate},
      {ERROR_WINHTTP_SECURE_FAILURE,
       WINHTTP_CALLBACK_STATUS_FLAG_INVALID_CA | WINHTTP_CALLBACK_STATUS_FLAG_CERT_REV_FAILED,
       tls::kUntrusted | tls::kRevocationUnknown},
      {ERROR_WINHTTP_SECURE_FAILURE, WINHTTP_CALLBACK_STATUS_FLAG_CERT_REVOKED, tls::kRevoked},
      {ERROR_WINHTTP_SECURE_CHANNEL_ERROR, 0, tls::kHandshake},
      {ERROR_WINHTTP_SECURE_FAILURE, 0, 0},
  };
  for (const Case& k : cases) {
    const HttpOutcome outcome = DecodeHttpFailure(k.error, k.flags);
    EXPECT_EQ(outcome.kind, HttpOutcome::Kind::SecureFailure) << k.error;
    EXPECT_EQ(outcome.tls_faults, k.faults) << k.error << " " << k.flags;
  }
}

}  // namespace
}  // namespace qlx::platform

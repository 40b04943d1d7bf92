// The online probe's transport: the requests the redirector would send,
// under one bound, with the credentials never sent outside the service.
#include <algorithm>

#include "base/wipe.h"
#include "tools/qlxctl/doctor_online.h"

namespace qlx::qlxctl::doctor {

namespace {

constexpr char kPropfindBody[] =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
    "<d:propfind xmlns:d=\"DAV:\"><d:prop><d:resourcetype/><d:getcontentlength/></d:prop></d:propfind>";

struct TlsFault {
  std::uint32_t bit;
  const char* text;
};
constexpr TlsFault kTlsFaults[] = {
    {platform::tls::kUntrusted, "the certificate's issuer is not trusted"},
    {platform::tls::kWrongName, "the certificate is for another name"},
    {platform::tls::kExpired, "the certificate has expired or is not valid yet"},
    {platform::tls::kRevoked, "the certificate was revoked"},
    {platform::tls::kRevocationUnknown, "revocation could not be checked"},
    {platform::tls::kInvalid, "the certificate is invalid"},
    {platform::tls::kWrongUsage, "the certificate is not for server authentication"},
    {platform::tls::kHandshake, "the TLS handshake failed"},
    {platform::tls::kClientCertificate, "the server asks for a client certificate"},
};

// Of the faults, the one whose fix differs: a revoked certificate is the
// service's to replace, an unchecked revocation is this network's to allow.
void TlsFix(std::uint32_t faults, const std::string& host, Answer& a) {
  if (faults & platform::tls::kRevoked) {
    a.fix = "The service's certificate was revoked: ask its administrators to replace it.";
    a.cause = "the server's certificate was revoked";
  } else if (faults & platform::tls::kRevocationUnknown) {
    a.fix = "Let this machine reach the certificate's revocation addresses (CRL and OCSP) through the proxy and "
            "firewall: the redirector refuses a certificate whose revocation it cannot check.";
    a.cause = "the certificate's revocation could not be checked";
  } else {
    a.fix = "The server's certificate must be valid for " + host +
            " and trusted by Windows; check also this machine's date and time.";
    a.cause = "the server's certificate is refused";
  }
}

}  // namespace

std::string TlsText(std::uint32_t faults) {
  std::string text;
  for (const TlsFault& f : kTlsFaults)
    if (faults & f.bit) text += (text.empty() ? "" : "; ") + std::string(f.text);
  return text.empty() ? "no detail from WinHTTP" : text;
}

bool Answer::Redirect() const {
  return kind == Kind::Answered && !outcome.location.empty() && (outcome.status == 301 || outcome.status == 302 || outcome.status == 303 ||
                                    outcome.status == 307 || outcome.status == 308);
}

std::u16string Answer::Location() const { return ResolveLocation(url, outcome.location); }

Probe::Probe(const Inputs& inputs) : in(inputs) {
  base = in.options.probe_base_url.empty() ? in.service_base_url : in.options.probe_base_url;
  folder = EscapedFolderUrl(base, in.stored.user.text);
  account = in.stored.user.text + u"@" + in.account_domain;
  Wiped<std::string> header(BasicAuthorization(account, in.stored.password.text));
  authorization_.reserve(header->size() + 20);
  authorization_ = u"Authorization: ";
  for (char c : *header) authorization_.push_back(static_cast<char16_t>(c));
  authorization_ += u"\r\n";
  deadline_ = in.http.NowMs() + in.options.timeout_ms;
}

Probe::~Probe() { SecureWipe(authorization_); }

std::string Probe::Where(const char* method, const std::u16string& url) const {
  return std::string(method) + " " + U8(url) + " as " + U8(account);
}

Answer Probe::Send(const std::u16string& method, const std::u16string& url, const char16_t* depth,
                   std::size_t max_body) {
  Answer answer = SendOnce(method, url, depth, max_body);
  // The usual answer of a server that adds the slash to a folder: followed
  // once, and only on the same scheme, host and port, where the
  // credentials may go.
  if (answer.Redirect() && url.back() != u'/' && SameOrigin(url, answer.Location()) &&
      SplitUrl(answer.Location()).path == SplitUrl(url).path + u"/") {
    answer = SendOnce(method, url + u"/", depth, max_body);
    answer.followed = true;
  }
  return answer;
}

Answer Probe::SendOnce(const std::u16string& method, const std::u16string& url, const char16_t* depth,
                       std::size_t max_body) {
  Answer answer;
  answer.url = url;
  if (failure_) {
    answer.failure = *failure_;
    return answer;
  }
  const std::uint64_t now = in.http.NowMs();
  if (now >= deadline_) {
    answer.kind = Answer::Kind::TimeLimit;
    return answer;
  }
  struct Request {
    platform::HttpRequest data;
    ~Request() { SecureWipe(data.headers); }
  } request;
  request.data.method = method;
  request.data.url = url;
  request.data.headers.reserve(authorization_.size() + 64);
  if (depth) request.data.headers = u"Depth: " + std::u16string(depth) + u"\r\n";
  if (method == u"PROPFIND") {
    request.data.headers += u"Content-Type: application/xml; charset=utf-8\r\n";
    request.data.body = kPropfindBody;
  }
  request.data.headers += authorization_;
  request.data.timeout_ms = static_cast<std::uint32_t>(deadline_ - now);
  request.data.max_body = max_body;
  answer.outcome = in.http.Send(request.data);
  if (answer.outcome.kind == platform::HttpOutcome::Kind::Answered) {
    answer.kind = Answer::Kind::Answered;
  } else {
    Fail(answer, Where(method == u"OPTIONS" ? "OPTIONS" : "PROPFIND", url));
  }
  return answer;
}

// A request that got no answer: the reason in words, and for a failed
// connection the end of the probe.
void Probe::Fail(Answer& a, const std::string& where) {
  const UrlParts parts = SplitUrl(a.url);
  const std::string host_port = U8(parts.host_port), host = U8(HostOnly(parts.host_port));
  const std::string network = "Check the network, proxy and firewall between this machine and " + host + ".";
  const platform::HttpOutcome& o = a.outcome;
  a.kind = Answer::Kind::Failed;
  using Kind = platform::HttpOutcome::Kind;
  switch (o.kind) {
    case Kind::NameNotResolved:
      a.failure = "the name " + host + " is not resolved";
      a.fix = "Check this machine's network connection and DNS, for instance with `nslookup " + host + "`.";
      a.cause = "the server's name is not resolved";
      break;
    case Kind::CannotConnect:
      a.failure = "the connection to " + host_port + " was refused or is unreachable";
      a.fix = "Check that the server is up and that no firewall or proxy blocks " + host_port + ".";
      a.cause = "the server cannot be reached";
      break;
    case Kind::TimedOut:
      a.kind = Answer::Kind::TimeLimit;
      a.failure = "no answer within " + Number(BoundSeconds()) + " s (the time limit of the online checks)";
      a.fix = network;
      a.cause = "the server does not answer";
      break;
    case Kind::SecureFailure:
      a.failure = "TLS failure (WinHTTP error " + Number(o.error) + "): " + TlsText(o.tls_faults);
      TlsFix(o.tls_faults, host, a);
      break;
    case Kind::ConnectionReset:
      a.failure = "the server broke off the connection (error " + Number(o.error) + ")";
      a.fix = "Check that " + host_port + " is an HTTP server and that no proxy or firewall cuts it off.";
      a.cause = "the server breaks off the connection";
      break;
    case Kind::Failed:
    case Kind::Answered:
      a.failure = "the request failed with WinHTTP error " + Number(o.error);
      a.fix = network;
      a.cause = "the request fails";
      break;
  }
  failure_ = "not tried: " + where + " failed: " + a.failure;
}

std::optional<Check> Unanswered(const std::string& id, const Answer& a, const std::string& where) {
  switch (a.kind) {
    case Answer::Kind::Answered:
      return std::nullopt;
    case Answer::Kind::NotTried:
      return Make(id, State::Skipped, a.failure);
    case Answer::Kind::TimeLimit:
      if (a.failure.empty())
        return Make(id, State::Skipped, "not tried: the time limit of the online checks was reached");
      return Problem(id, where + ": " + a.failure, a.fix, a.cause);
    case Answer::Kind::Failed:
      break;
  }
  return Problem(id, where + ": " + a.failure, a.fix, a.cause);
}

}  // namespace qlx::qlxctl::doctor

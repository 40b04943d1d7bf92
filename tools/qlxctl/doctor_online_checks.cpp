// The online checks, in the redirector's order: the server's root, the
// folder's OPTIONS, each parent, the authentication, the folder itself and
// its listing.
#include <algorithm>

#include "tools/qlxctl/doctor_online.h"

namespace qlx::qlxctl::doctor {

namespace {

std::string Status(const Answer& a) {
  std::string text = Number(a.outcome.status);
  if (a.followed) text += " (after the server's redirect to " + U8(a.url) + ")";
  return text;
}

std::u16string Root(const std::u16string& url) {
  const UrlParts parts = SplitUrl(url);
  return parts.scheme + u"://" + parts.host_port + u"/";
}

// A redirect the probe did not follow: elsewhere than the folder plus "/".
Check RedirectElsewhere(const std::string& id, const Answer& a, const std::string& where) {
  return Problem(id,
                 where + ": " + Number(a.outcome.status) + ", redirected to " + U8(a.Location()) +
                     ", which the redirector does not follow",
                 "Ask the service's administrators why " + U8(a.url) + " redirects to " + U8(a.Location()) +
                     "; the build's service address may be out of date.",
                 "the server redirects elsewhere");
}

// The comma-separated tokens of a header, trimmed and without parameters.
std::vector<std::u16string> Tokens(const std::u16string& header) {
  std::vector<std::u16string> out;
  std::size_t start = 0;
  while (start <= header.size()) {
    std::size_t end = header.find_first_of(u",\n", start);
    if (end == std::u16string::npos) end = header.size();
    std::u16string token = header.substr(start, end - start);
    token.erase(0, token.find_first_not_of(u" \t\r"));
    token.erase(std::min(token.size(), token.find_first_of(u" \t\r;")));
    if (!token.empty()) out.push_back(token);
    start = end + 1;
  }
  return out;
}

bool HasToken(const std::u16string& header, std::u16string_view wanted) {
  const auto tokens = Tokens(header);
  return std::any_of(tokens.begin(), tokens.end(), [&](const std::u16string& t) { return AsciiEqualFolded(t, wanted); });
}

// The schemes of WWW-Authenticate: a challenge's first word, which carries
// no "=" (the parameters after it do).
std::vector<std::u16string> Schemes(const std::u16string& header) {
  std::vector<std::u16string> out;
  for (const std::u16string& t : Tokens(header))
    if (t.find(u'=') == std::u16string::npos &&
        std::none_of(out.begin(), out.end(), [&](const std::u16string& s) { return AsciiEqualFolded(s, t); }))
      out.push_back(t);
  return out;
}

constexpr const char* kFormsCause = "forms authentication (error 224)";

bool WebPage(const Answer& a) {
  return a.Success() && a.outcome.status != 207 && a.outcome.content_type.rfind(u"text/html", 0) == 0;
}

}  // namespace

Check RootCheck(Probe& probe) {
  const std::string id = "online.root";
  const std::u16string root = Root(probe.base);
  const std::string where = probe.Where("OPTIONS", root);
  const Answer a = probe.Send(u"OPTIONS", root, nullptr);
  if (auto c = Unanswered(id, a, where)) return *c;
  if (a.Success())
    return Make(id, State::Ok,
                where + ": " + Status(a) +
                    (a.outcome.dav.empty() ? ", no WebDAV at the root (normal: a plain web server in front)"
                                           : ", DAV " + U8(a.outcome.dav)));
  if (a.Redirect()) return RedirectElsewhere(id, a, where);
  if (a.outcome.status == 401)
    return Make(id, State::Warning, where + ": 401, the root refuses this account",
                "If the folder accepts the password (online.propfind), ask the service's administrators to let the "
                "account ask OPTIONS on " + U8(root) + ": the redirector asks it first.");
  return Problem(id, where + ": " + Status(a) + ", an error at the root, which the redirector asks first",
                 "Ask the service's administrators to answer OPTIONS on " + U8(root) +
                     " with 200: the redirector asks it before the folder, and an error there fails every mapping.",
                 "the server's root answers OPTIONS with an error");
}

Check OptionsCheck(Probe& probe) {
  const std::string id = "online.options";
  const std::string where = probe.Where("OPTIONS", probe.folder);
  const Answer a = probe.Send(u"OPTIONS", probe.folder, nullptr);
  if (auto c = Unanswered(id, a, where)) return *c;
  if (a.Redirect()) return RedirectElsewhere(id, a, where);
  if (a.outcome.status == 401) return Make(id, State::Skipped, where + ": 401, judged by online.auth");
  if (!a.Success())
    return Problem(id, where + ": " + Status(a) + ", the folder refuses OPTIONS",
                   "Ask the service's administrators why " + U8(a.url) + " answers " +
                       Number(a.outcome.status) + " to OPTIONS.",
                   "the folder refuses OPTIONS");
  const std::string found = where + ": " + Status(a) + ", DAV \"" + U8(a.outcome.dav) + "\", Allow \"" +
                            U8(a.outcome.allow) + "\"";
  if (!HasToken(a.outcome.dav, u"1"))
    return Problem(id, found + ": no WebDAV class 1", "Check that " + U8(probe.base) + " is the WebDAV service's address.",
                   "the folder does not speak WebDAV");
  if (!a.outcome.allow.empty() && !HasToken(a.outcome.allow, u"PROPFIND"))
    return Problem(id, found + ": PROPFIND is not allowed", "Ask the service's administrators to allow PROPFIND.",
                   "the folder does not allow PROPFIND");
  if (!HasToken(a.outcome.dav, u"2"))
    return Make(id, State::Warning, found + ": no class 2 (locks), so Office files open read-only",
                "Ask the service's administrators to enable WebDAV locks (class 2).");
  return Make(id, State::Ok, found);
}

Check PathCheck(Probe& probe, int& refused) {
  const std::string id = "online.path";
  const UrlParts parts = SplitUrl(probe.folder);
  const std::u16string root = Root(probe.folder);
  std::string walked;
  // Each parent between the root and the folder, shortest first.
  for (std::size_t slash = parts.path.find(u'/', 1); slash != std::u16string::npos;
       slash = parts.path.find(u'/', slash + 1)) {
    const std::u16string parent = root + parts.path.substr(1, slash);
    const std::string where = probe.Where("PROPFIND", parent);
    const Answer a = probe.Send(u"PROPFIND", parent, u"0");
    if (auto c = Unanswered(id, a, where)) return *c;
    if (a.Redirect()) return RedirectElsewhere(id, a, where);
    refused = a.Success() ? 0 : a.outcome.status;
    if (!a.Success())
      return Problem(id,
                     "the redirector stops at " + U8(parts.path.substr(0, slash + 1)) + ": " + where + ": " +
                         Status(a),
                     "Ask the service's administrators to let the account PROPFIND " + U8(parent) +
                         " (Depth: 0): the redirector walks every parent of the folder before it maps.",
                     "a parent folder refuses the redirector's walk");
    walked += (walked.empty() ? "" : ", ") + U8(parts.path.substr(0, slash + 1)) + " " + Status(a);
  }
  if (walked.empty() && probe.Failure()) return Make(id, State::Skipped, *probe.Failure());
  if (walked.empty()) return Make(id, State::Ok, "no parent between the root and the folder");
  return Make(id, State::Ok, "every parent answers PROPFIND: " + walked);
}

Check AuthCheck(Probe& probe, const Answer& a) {
  const std::string id = "online.auth";
  const std::string where = probe.Where("PROPFIND", probe.folder);
  if (auto c = Unanswered(id, a, where)) return *c;
  const std::string forms = "Ask the service's administrators for a WebDAV address with Basic authentication: the "
                            "redirector cannot fill in a login page.";
  if (WebPage(a))
    return Problem(id, where + ": " + Status(a) + ", a web page (text/html): a login page, forms authentication (error 224)",
                   forms, kFormsCause);
  if (a.Status(302) || a.Status(303))
    return Problem(id,
                   where + ": " + Status(a) + " to " + U8(a.Location()) +
                       ": a login page, forms authentication (error 224)",
                   forms, kFormsCause);
  if (a.Success()) return Make(id, State::Ok, where + ": " + Status(a) + ", the password is accepted with Basic");
  if (a.outcome.status != 401) return Make(id, State::Skipped, where + ": " + Status(a) + ", no authentication asked");
  std::string offered;
  bool basic = false;
  for (const std::u16string& s : Schemes(a.outcome.www_authenticate)) {
    offered += (offered.empty() ? "" : ", ") + U8(s);
    basic = basic || AsciiEqualFolded(s, u"Basic");
  }
  if (basic) return Make(id, State::Ok, where + ": 401 offering " + offered + ": the stored password can be sent");
  return Problem(id,
                 where + ": 401 offering " + (offered.empty() ? "no scheme" : offered) +
                     ", no Basic: the stored password cannot be used",
                 "Ask the service's administrators to offer Basic authentication (over https) on " + U8(probe.base) +
                     ".",
                 "the server offers no Basic authentication");
}

Check PropfindCheck(Probe& probe, const Answer& a, const Check& auth) {
  const std::string id = "online.propfind";
  const std::string where = probe.Where("PROPFIND", probe.folder);
  if (auto c = Unanswered(id, a, where)) return *c;
  const std::string status = Status(a);
  const std::string at = where + ": " + status;
  if (a.Status(207)) return Make(id, State::Ok, at + ", the folder answers and the password is accepted");
  // A redirect to a login page is forms authentication, as online.auth
  // found; "redirected elsewhere" would send support the wrong way.
  if (auth.state == State::Problem && auth.cause == kFormsCause && a.Redirect())
    return Problem(id, at + " to " + U8(a.Location()) + ", a login page (forms authentication, error 224)", auth.fix,
                   auth.cause);
  if (a.Redirect()) return RedirectElsewhere(id, a, where);
  if (WebPage(a))
    return Problem(id, at + ", a web page instead of WebDAV (forms authentication, error 224)", auth.fix,
                   kFormsCause);
  switch (a.outcome.status) {
    case 401:
      if (auth.state == State::Problem)
        return Problem(id, at + ", the server offers no Basic authentication", auth.fix, auth.cause);
      return Problem(id, at + ", wrong user or password",
                     "Enter the right user and password in Parametri and press Salva.", "wrong user or password");
    case 403:
      return Problem(id, at + ", the server refuses this account the folder",
                     "Ask the service's administrators to give " + U8(probe.account) + " access to " +
                         U8(probe.folder) + ".",
                     "the server refuses this account the folder");
    case 404:
      return Problem(id, at + ", no such folder", "Check the user name in Parametri: the folder is " +
                                                     U8(probe.folder) + ".", "no such folder on the server");
    case 405:
    case 501:
      return Problem(id, at + ", the server does not speak WebDAV",
                     "Check that " + U8(probe.base) +
                         " is the WebDAV service's address (it is fixed when QLXDrive is built).",
                     "the server does not speak WebDAV");
    default:
      return Problem(id, where + ": unexpected status " + status,
                     "Ask the service's administrators why " + U8(probe.folder) + " answers " +
                         Number(a.outcome.status) + " to PROPFIND.",
                     "the folder answers PROPFIND with an error");
  }
}

}  // namespace qlx::qlxctl::doctor

// The proxies between this machine and the service: the user's settings,
// which the redirector follows, and WinHTTP's own.
#include "base/ascii.h"
#include "tools/qlxctl/doctor_checks.h"

namespace qlx::qlxctl::doctor {

namespace {

// A bypass entry against a host: "*" matches any run of characters, and
// the comparison ignores case.
bool Glob(std::u16string_view pattern, std::u16string_view text) {
  std::size_t p = 0, t = 0, star = std::u16string_view::npos, mark = 0;
  while (t < text.size()) {
    if (p < pattern.size() && pattern[p] == u'*') {
      star = p++;
      mark = t;
    } else if (p < pattern.size() && AsciiLower(pattern[p]) == AsciiLower(text[t])) {
      ++p;
      ++t;
    } else if (star != std::u16string_view::npos) {
      p = star + 1;
      t = ++mark;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == u'*') ++p;
  return p == pattern.size();
}

bool Bypassed(const std::u16string& bypass, const std::u16string& host) {
  std::size_t start = 0;
  while (start <= bypass.size()) {
    std::size_t end = bypass.find_first_of(u"; \t,", start);
    if (end == std::u16string::npos) end = bypass.size();
    const std::u16string entry = bypass.substr(start, end - start);
    // <local>: a name without a dot.
    if (AsciiEqualFolded(entry, u"<local>") ? host.find(u'.') == std::u16string::npos
                                             : !entry.empty() && Glob(entry, host))
      return true;
    start = end + 1;
  }
  return false;
}

// One side's settings in words; `unbypassed` is set when a fixed proxy
// carries the service's requests.
std::string Describe(platform::Messages& messages, const platform::ProxyConfiguration& c, const std::u16string& host,
                     bool& unbypassed) {
  if (!c.readable) return "cannot be read: " + SystemError(messages, c.error);
  std::string text;
  auto add = [&](const std::string& part) { text += (text.empty() ? "" : ", ") + part; };
  if (c.auto_detect) add("automatic detection");
  if (!c.script_url.empty()) add("configuration script " + U8(c.script_url));
  if (!c.proxy.empty()) {
    const bool bypassed = Bypassed(c.bypass, host);
    add("proxy " + U8(c.proxy) + (bypassed ? ", " + U8(host) + " in its bypass list"
                                            : ", " + U8(host) + " not in its bypass list"));
    unbypassed = unbypassed || !bypassed;
  }
  return text.empty() ? "direct" : text;
}

}  // namespace

Checks CheckProxy(const Inputs& in) {
  const std::u16string host = HostOnly(SplitUrl(in.service_base_url).host_port);
  const platform::ProxyConfiguration user = in.proxies.User(), winhttp = in.proxies.WinHttp();
  bool unbypassed = false;
  const std::string value =
      "user: " + Describe(in.messages, user, host, unbypassed) + "; WinHTTP: " +
      Describe(in.messages, winhttp, host, unbypassed);
  if (user.readable && user.auto_detect)
    return {Make("network.proxy", State::Warning, value + ": automatic detection pauses before each mapping",
                 "In Internet Options, Connections, LAN settings, clear \"Automatically detect settings\" unless "
                 "this network needs it.")};
  if (unbypassed)
    return {Make("network.proxy", State::Warning, value + ": the proxy must carry WebDAV's methods to " + U8(host),
                 "Ask the network's administrators to let WebDAV (PROPFIND, OPTIONS) through the proxy, or add " +
                     U8(host) + " to the proxy's exceptions in Internet Options.")};
  if (!user.readable || !winhttp.readable)
    return {Make("network.proxy", State::Warning, value, "Check the proxy with `netsh winhttp show proxy` and in "
                                                         "Internet Options, Connections, LAN settings.")};
  return {Make("network.proxy", State::Ok, value)};
}

}  // namespace qlx::qlxctl::doctor

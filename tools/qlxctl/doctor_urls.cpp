// URLs as the redirector and the connect see them: the folder's, its
// escaped request form, the UNC name of a mapping, and where a redirect
// leads.
#include <algorithm>

#include "base/utf.h"
#include "base/wipe.h"
#include "cipher/base64.h"
#include "tools/qlxctl/doctor_checks.h"

namespace qlx::qlxctl::doctor {

bool AsciiEqualFolded(std::u16string_view a, std::u16string_view b) {
  auto fold = [](char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c; };
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [&](char16_t x, char16_t y) {
           return fold(x) == fold(y);
         });
}

UrlParts SplitUrl(const std::u16string& url) {
  UrlParts parts;
  const auto start = url.find(u"://");
  if (start == std::u16string::npos) {
    parts.path = url;
    return parts;
  }
  for (char16_t c : url.substr(0, start))
    parts.scheme.push_back(c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c);
  const auto end = url.find(u'/', start + 3);
  parts.host_port = url.substr(start + 3, end == std::u16string::npos ? std::u16string::npos : end - start - 3);
  parts.path = end == std::u16string::npos ? u"/" : url.substr(end);
  return parts;
}

std::u16string HostOnly(const std::u16string& host_port) {
  if (!host_port.empty() && host_port.front() == u'[') return host_port.substr(0, host_port.find(u']') + 1);
  return host_port.substr(0, host_port.find(u':'));
}

bool SchemeIs(const std::u16string& url, std::u16string_view scheme) {
  const auto end = url.find(u"://");
  return end != std::u16string::npos && AsciiEqualFolded(std::u16string_view(url).substr(0, end), scheme);
}

namespace {

// host:port with the scheme's default port written out.
std::u16string Authority(const UrlParts& parts) {
  const std::u16string host = HostOnly(parts.host_port);
  std::u16string port = parts.host_port.size() > host.size() + 1 ? parts.host_port.substr(host.size() + 1) : u"";
  if (port.empty()) port = parts.scheme == u"https" ? u"443" : u"80";
  return host + u":" + port;
}

}  // namespace

bool SameOrigin(const std::u16string& a, const std::u16string& b) {
  const UrlParts pa = SplitUrl(a), pb = SplitUrl(b);
  return !pa.scheme.empty() && pa.scheme == pb.scheme && AsciiEqualFolded(Authority(pa), Authority(pb));
}

std::u16string ResolveLocation(const std::u16string& from, const std::u16string& location) {
  if (location.find(u"://") != std::u16string::npos || location.empty()) return location;
  const UrlParts parts = SplitUrl(from);
  if (location.rfind(u"//", 0) == 0) return parts.scheme + u":" + location;
  if (location.front() == u'/') return parts.scheme + u"://" + parts.host_port + location;
  // Relative to the last segment's folder.
  const std::u16string folder = parts.path.substr(0, parts.path.rfind(u'/') + 1);
  return parts.scheme + u"://" + parts.host_port + folder + location;
}

std::u16string FolderUrl(const std::u16string& base, const std::u16string& user) { return base + user; }

std::u16string EscapedFolderUrl(const std::u16string& base, const std::u16string& user) {
  std::u16string url = base;
  std::u16string text = user;
  ReplaceLoneSurrogates(text);
  static const char hex[] = "0123456789ABCDEF";
  static const std::string kKept = "-._~@!$&'()*+,;=:";
  for (unsigned char b : Utf16ToUtf8(text)) {
    const bool unreserved = (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') ||
                            kKept.find(static_cast<char>(b)) != std::string::npos;
    if (unreserved) {
      url.push_back(b);
    } else {
      url.push_back(u'%');
      url.push_back(static_cast<char16_t>(hex[b >> 4]));
      url.push_back(static_cast<char16_t>(hex[b & 15]));
    }
  }
  return url;
}

std::string BasicAuthorization(const std::u16string& account, const std::u16string& password) {
  std::u16string pair;
  pair.reserve(account.size() + password.size() + 1);
  pair = account;
  pair += u':';
  pair += password;
  ReplaceLoneSurrogates(pair);
  Wiped<std::u16string> wiped_pair(std::move(pair));
  Wiped<std::string> bytes(Utf16ToUtf8(*wiped_pair));
  std::u16string encoded;
  encoded.reserve((bytes->size() + 2) / 3 * 4);
  const auto* data = reinterpret_cast<const std::uint8_t*>(bytes->data());
  for (std::size_t i = 0; i < bytes->size(); i += 3)
    cipher::AppendBase64Group(encoded, data + i, std::min<std::size_t>(3, bytes->size() - i));
  Wiped<std::u16string> wiped_encoded(std::move(encoded));
  std::string header = "Basic ";
  header.reserve(6 + wiped_encoded->size());
  for (char16_t c : *wiped_encoded) header.push_back(static_cast<char>(c));
  return header;
}

bool SameFolder(const std::u16string& remote, const std::u16string& url) {
  auto trim = [](std::u16string_view text) {
    while (!text.empty() && (text.back() == u'/' || text.back() == u'\\')) text.remove_suffix(1);
    return text;
  };
  if (AsciiEqualFolded(trim(remote), trim(url))) return true;
  // The redirector names a WebDAV folder \\host[@SSL][@port]\path.
  const UrlParts parts = SplitUrl(url);
  if (parts.scheme.empty()) return false;
  const bool https = parts.scheme == u"https";
  const std::u16string host = HostOnly(parts.host_port);
  std::u16string port = parts.host_port.size() > host.size() + 1 ? parts.host_port.substr(host.size() + 1) : u"";
  if (port == (https ? u"443" : u"80")) port.clear();
  std::u16string unc = u"\\\\" + host + (https ? u"@SSL" : u"") + (port.empty() ? u"" : u"@" + port);
  if (url.find(u'/', url.find(u"://") + 3) != std::u16string::npos)
    for (char16_t c : parts.path) unc.push_back(c == u'/' ? u'\\' : c);
  return AsciiEqualFolded(trim(remote), trim(unc));
}

}  // namespace qlx::qlxctl::doctor

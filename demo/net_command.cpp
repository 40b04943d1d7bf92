#include "demo/net_command.h"

#include <algorithm>

#include "base/errors.h"
#include "base/utf.h"
#include "base/wipe.h"

namespace qlx::demo {

namespace {

char16_t AsciiUpper(char16_t c) noexcept { return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c; }

std::u16string AsciiUpper(std::u16string text) {
  for (auto& c : text) c = AsciiUpper(c);
  return text;
}

bool StartsWith(const std::u16string& text, std::u16string_view prefix) {
  return text.size() >= prefix.size() && std::u16string_view(text).substr(0, prefix.size()) == prefix;
}

// For messages only: the words are the user's, any text goes.
std::string Narrow(const std::u16string& text) {
  try {
    return Utf16ToUtf8(text);
  } catch (const Error&) {
    return "?";
  }
}

char16_t DriveLetter(const std::u16string& word) {
  if (word.size() == 2 && word[1] == u':') {
    const char16_t letter = AsciiUpper(word[0]);
    if (letter >= u'A' && letter <= u'Z') return letter;
  }
  throw SyntaxError("'" + Narrow(word) + "' is not a drive letter such as Q:");
}

[[noreturn]] void BadName(const std::string& why) {
  throw NetError(kErrorBadNetName, SystemErrorText(kErrorBadNetName) + " (" + why + ")");
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string DecodeSegment(const std::string& raw) {
  std::string out;
  for (std::size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] != '%') {
      out.push_back(raw[i]);
      continue;
    }
    const int high = i + 2 < raw.size() ? HexValue(raw[i + 1]) : -1;
    const int low = i + 2 < raw.size() ? HexValue(raw[i + 2]) : -1;
    if (high < 0 || low < 0) BadName("a broken %-escape in the path");
    out.push_back(static_cast<char>(high * 16 + low));
    i += 2;
  }
  try {
    Utf8ToUtf16(out);  // the segment becomes a file name: it must be text
  } catch (const Error&) {
    BadName("the path is not UTF-8");
  }
  if (out == "." || out == "..") BadName("'.' and '..' are not folder names");
  for (unsigned char c : out) {
    if (c < 0x20 || c == 0x7F || std::string_view("\\:<>\"|*?").find(static_cast<char>(c)) != std::string_view::npos)
      BadName("a path segment holds a character no folder name can hold");
  }
  return out;
}

bool ValidHost(const std::u16string& host) {
  if (host.empty()) return false;
  if (host.front() == u'[') {  // an IPv6 literal
    if (host.size() < 3 || host.back() != u']') return false;
    return std::all_of(host.begin() + 1, host.end() - 1, [](char16_t c) {
      return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F') || c == u':' || c == u'.';
    });
  }
  return std::all_of(host.begin(), host.end(), [](char16_t c) {
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'.' || c == u'-';
  });
}

}  // namespace

NetUse ParseNetUse(const std::vector<std::u16string>& arguments) {
  if (arguments.empty() || AsciiUpper(arguments[0]) != u"USE")
    throw SyntaxError("the demonstration's NET knows only NET USE");
  NetUse command;
  bool remove = false, has_account = false;
  std::vector<const std::u16string*> positional;
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    const std::u16string& word = arguments[i];
    if (word.empty() || word[0] != u'/') {
      positional.push_back(&word);
      continue;
    }
    const std::u16string upper = AsciiUpper(word);
    if (upper.size() >= 2 && std::u16string_view(u"/DELETE").substr(0, upper.size()) == upper) {
      remove = true;
    } else if (StartsWith(upper, u"/USER:")) {
      if (has_account) throw SyntaxError("/USER: given twice");
      has_account = true;
      command.account = word.substr(6);
    } else if (StartsWith(upper, u"/PERSISTENT:") || StartsWith(upper, u"/P:")) {
      const std::u16string value = upper.substr(upper.find(u':') + 1);
      if (value != u"YES" && value != u"NO") throw SyntaxError("/PERSISTENT: takes YES or NO");
    } else {
      throw SyntaxError("unknown option '" + Narrow(word) + "'");
    }
  }
  if (positional.empty()) throw SyntaxError("no drive letter given");
  command.letter = DriveLetter(*positional[0]);
  if (remove) {
    if (positional.size() != 1 || has_account) throw SyntaxError("NET USE <drive> /DELETE takes nothing else");
    command.kind = NetUse::Kind::Delete;
    return command;
  }
  if (positional.size() < 2) throw SyntaxError("no remote folder given");
  if (positional.size() > 3) throw SyntaxError("too many words: a password with blanks must be quoted");
  command.kind = NetUse::Kind::Connect;
  command.remote = *positional[1];
  if (positional.size() == 3) {
    // NET would prompt for "*"; the stand-in runs hidden and has nobody to ask.
    if (*positional[2] == u"*") throw SyntaxError("password prompting is not supported");
    command.password = *positional[2];
    command.has_password = true;
  }
  return command;
}

std::u16string Describe(const NetUse& command) {
  std::u16string text = u"NET USE ";
  text += command.letter;
  text += u':';
  if (command.kind == NetUse::Kind::Delete) return text + u" /DELETE";
  text += u" " + command.remote;
  if (command.has_password) text += u" ***";
  if (!command.account.empty()) text += u" /USER:" + command.account;
  return text;
}

std::u16string WebDavUser(const std::u16string& account) {
  if (const auto at = account.rfind(u'@'); at != std::u16string::npos) return account.substr(0, at);
  if (const auto slash = account.rfind(u'\\'); slash != std::u16string::npos) return account.substr(slash + 1);
  return account;
}

std::string BasicAuthorization(const std::u16string& user, const std::u16string& password) {
  static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  Wiped<std::u16string> joined;
  joined->reserve(user.size() + 1 + password.size());
  *joined += user;
  *joined += u':';
  *joined += password;
  Wiped<std::string> plain(Utf16ToUtf8(*joined));
  const std::string& in = *plain;
  std::string out;
  out.reserve(6 + 4 * ((in.size() + 2) / 3));  // no reallocation leaves a copy behind
  out = "Basic ";
  std::size_t i = 0;
  for (; i + 3 <= in.size(); i += 3) {
    const std::uint32_t v = (std::uint8_t(in[i]) << 16) | (std::uint8_t(in[i + 1]) << 8) | std::uint8_t(in[i + 2]);
    out += {kAlphabet[v >> 18], kAlphabet[(v >> 12) & 63], kAlphabet[(v >> 6) & 63], kAlphabet[v & 63]};
  }
  if (const std::size_t rest = in.size() - i; rest > 0) {
    std::uint32_t v = std::uint8_t(in[i]) << 16;
    if (rest == 2) v |= std::uint8_t(in[i + 1]) << 8;
    out += {kAlphabet[v >> 18], kAlphabet[(v >> 12) & 63], rest == 2 ? kAlphabet[(v >> 6) & 63] : '=', '='};
  }
  return out;
}

std::string WebDavUrl::RequestPath() const {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string path;
  for (const auto& segment : segments) {
    path += '/';
    for (unsigned char c : segment) {
      if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
          c == '_' || c == '~') {
        path += static_cast<char>(c);
      } else {
        path += {'%', kHex[c >> 4], kHex[c & 15]};
      }
    }
  }
  return path.empty() ? "/" : path;
}

WebDavUrl ParseWebDavUrl(const std::u16string& url) {
  WebDavUrl parsed;
  const std::u16string upper = AsciiUpper(url);
  std::size_t at;
  if (StartsWith(upper, u"HTTP://")) {
    at = 7;
  } else if (StartsWith(upper, u"HTTPS://")) {
    parsed.https = true;
    at = 8;
  } else {
    BadName("the remote folder must be an http:// or https:// URL");
  }
  if (url.find_first_of(u"?#") != std::u16string::npos) BadName("a query or fragment in the URL");
  const std::size_t path_at = std::min(url.find(u'/', at), url.size());
  const std::u16string authority = url.substr(at, path_at - at);
  if (authority.find(u'@') != std::u16string::npos) BadName("user information in the URL");
  const std::size_t bracket = authority.rfind(u']');
  const std::size_t colon = authority.find(u':', bracket == std::u16string::npos ? 0 : bracket);
  parsed.host = authority.substr(0, colon);
  if (!ValidHost(parsed.host)) BadName("no valid host in the URL");
  parsed.port = parsed.https ? 443 : 80;
  if (colon != std::u16string::npos) {
    const std::u16string digits = authority.substr(colon + 1);
    if (digits.empty() || digits.size() > 5 ||
        !std::all_of(digits.begin(), digits.end(), [](char16_t c) { return c >= u'0' && c <= u'9'; }))
      BadName("no valid port in the URL");
    std::uint32_t port = 0;
    for (char16_t c : digits) port = port * 10 + (c - u'0');
    if (port == 0 || port > 65535) BadName("no valid port in the URL");
    parsed.port = static_cast<std::uint16_t>(port);
  }
  std::string path;
  try {
    path = Utf16ToUtf8(url.substr(path_at));
  } catch (const Error&) {
    BadName("the URL is not valid text");
  }
  std::size_t start = 1;  // past the leading "/"
  while (start < path.size()) {
    const std::size_t end = std::min(path.find('/', start), path.size());
    if (end == start) BadName("an empty segment in the path");
    parsed.segments.push_back(DecodeSegment(path.substr(start, end - start)));
    start = end + 1;  // a trailing "/" ends the loop here
  }
  return parsed;
}

std::u16string LocalFolder(const std::u16string& root, const WebDavUrl& url) {
  std::u16string folder = root;
  while (!folder.empty() && (folder.back() == u'\\' || folder.back() == u'/')) folder.pop_back();
  for (const auto& segment : url.segments) {
    folder += u'\\';
    folder += Utf8ToUtf16(segment);
  }
  return folder;
}

void CheckPropfindStatus(std::uint32_t status) {
  std::uint32_t code;
  switch (status) {
    case 200:
    case 207:
      return;
    case 401:
      code = kErrorInvalidPassword;
      break;
    case 403:
      code = kErrorAccessDenied;
      break;
    case 404:
      code = kErrorBadNetName;
      break;
    default:
      code = kErrorUnexpectedNetwork;
  }
  throw NetError(code, SystemErrorText(code) + " (HTTP " + std::to_string(status) + ")");
}

std::string SystemErrorText(std::uint32_t code) {
  switch (code) {
    case kErrorAccessDenied:
      return "Access is denied.";
    case kErrorBadNetPath:
      return "The network path was not found.";
    case kErrorUnexpectedNetwork:
      return "An unexpected network error occurred.";
    case kErrorBadNetName:
      return "The network name cannot be found.";
    case kErrorAlreadyAssigned:
      return "The local device name is already in use.";
    case kErrorInvalidPassword:
      return "The specified network password is not correct.";
    case kErrorNotConnected:
      return "The network connection could not be found.";
    default:
      return "Unknown error.";
  }
}

}  // namespace qlx::demo

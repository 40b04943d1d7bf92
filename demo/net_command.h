#pragma once
// The portable half of the demonstration's NET USE stand-in: what its
// command line asks for, the WebDAV request that checks the credentials,
// and where the served folder lies on this machine. The stand-in exists only
// for the demonstration (Wine has no WebDAV redirector); it is never part of
// the shipped program.
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace qlx::demo {

// NET's own exit codes: 0 done, 1 the command line is not NET USE syntax,
// 2 the command was understood and failed.
inline constexpr int kExitOk = 0;
inline constexpr int kExitSyntax = 1;
inline constexpr int kExitFailed = 2;

// The system error numbers NET prints ("System error N has occurred.").
inline constexpr std::uint32_t kErrorAccessDenied = 5;
inline constexpr std::uint32_t kErrorBadNetPath = 53;
inline constexpr std::uint32_t kErrorUnexpectedNetwork = 59;
inline constexpr std::uint32_t kErrorBadNetName = 67;
inline constexpr std::uint32_t kErrorAlreadyAssigned = 85;
inline constexpr std::uint32_t kErrorInvalidPassword = 86;
inline constexpr std::uint32_t kErrorNotConnected = 2250;

// A command line that is not NET USE syntax.
class SyntaxError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A command that cannot be carried out, with NET's system error number.
class NetError : public std::runtime_error {
 public:
  NetError(std::uint32_t code, const std::string& text) : std::runtime_error(text), code_(code) {}
  std::uint32_t code() const noexcept { return code_; }

 private:
  std::uint32_t code_;
};

struct NetUse {
  enum class Kind { Connect, Delete };
  Kind kind = Kind::Connect;
  char16_t letter = 0;      // 'A'..'Z'
  std::u16string remote;    // Connect: the folder's URL as given
  std::u16string password;  // Connect: empty when none was given
  std::u16string account;   // Connect: the /USER: value, empty when none
  bool has_password = false;
};

// `arguments` are the words after the program name (NET USE ...), split by
// the usual Windows rules. Raises SyntaxError.
NetUse ParseNetUse(const std::vector<std::u16string>& arguments);

// The command line with the password replaced by "***", for logs.
std::u16string Describe(const NetUse& command);

// The account NET USE receives is user@domain (or domain\user); the WebDAV
// server knows the bare user name.
std::u16string WebDavUser(const std::u16string& account);

// "Basic " + Base64 of the UTF-8 bytes of user ":" password.
std::string BasicAuthorization(const std::u16string& user, const std::u16string& password);

struct WebDavUrl {
  bool https = false;
  std::u16string host;
  std::uint16_t port = 0;
  std::vector<std::string> segments;  // the path's segments, decoded (UTF-8)
  std::string RequestPath() const;    // "/" + the segments, percent-encoded
};

// http(s)://host[:port]/path, no user information, query or fragment. Every
// segment must be an ordinary name: "." and "..", empty segments inside the
// path, and segments holding "\", ":" or control characters are refused, since
// the segments also name the local folder. Raises NetError(kErrorBadNetName).
WebDavUrl ParseWebDavUrl(const std::u16string& url);

// The served folder for `url` under the local root the server serves:
// root + "\" + the segments. Raises NetError(kErrorBadNetName) when the
// URL names the root itself.
std::u16string LocalFolder(const std::u16string& root, const WebDavUrl& url);

// What the stand-in does with an HTTP status of its PROPFIND: 207 (or 200)
// is success, anything else the NET error it stands for.
void CheckPropfindStatus(std::uint32_t status);

// NET's text for a system error number.
std::string SystemErrorText(std::uint32_t code);

}  // namespace qlx::demo

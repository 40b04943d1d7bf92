#pragma once
// The online probe's requests, shared by its checks: one bound for all of
// them, the server's slash redirect followed once, and nothing sent once the
// connection itself has failed.
#include <optional>
#include <string>

#include "tools/qlxctl/doctor_checks.h"

namespace qlx::qlxctl::doctor {

struct Answer {
  enum class Kind { Answered, TimeLimit, NotTried, Failed } kind = Kind::NotTried;
  platform::HttpOutcome outcome;
  std::u16string url;         // the URL that gave the answer (after a slash redirect)
  bool followed = false;      // the slash redirect was followed
  std::string failure;        // for Failed and NotTried: what went wrong, in words
  std::string fix, cause;     // for Failed
  bool Status(std::uint32_t status) const { return kind == Kind::Answered && outcome.status == status; }
  bool Success() const { return kind == Kind::Answered && outcome.status >= 200 && outcome.status < 300; }
  bool Redirect() const;
  std::u16string Location() const;  // resolved against url
};

class Probe {
 public:
  explicit Probe(const Inputs& in);
  ~Probe();
  Probe(const Probe&) = delete;
  Probe& operator=(const Probe&) = delete;

  // One request with the stored credentials to a URL of the service.
  Answer Send(const std::u16string& method, const std::u16string& url, const char16_t* depth,
              std::size_t max_body = 0);
  const Inputs& in;
  std::u16string base, folder, account;  // folder: escaped, without a trailing slash
  std::string Where(const char* method, const std::u16string& url) const;
  // Why nothing more is sent, once a connection failed.
  const std::optional<std::string>& Failure() const { return failure_; }
  std::uint32_t BoundSeconds() const { return (in.options.timeout_ms + 999) / 1000; }

 private:
  Answer SendOnce(const std::u16string& method, const std::u16string& url, const char16_t* depth,
                  std::size_t max_body);
  void Fail(Answer& answer, const std::string& where);
  std::u16string authorization_;
  std::uint64_t deadline_ = 0;
  std::optional<std::string> failure_;  // the first failed connection, after which nothing is sent
};

// The checks of the online part, each from its own requests.
Check RootCheck(Probe& probe);
Check OptionsCheck(Probe& probe);
// `refused` takes the status of the parent that stopped the walk, if one did.
Check PathCheck(Probe& probe, int& refused);
Check AuthCheck(Probe& probe, const Answer& folder);
Check PropfindCheck(Probe& probe, const Answer& folder, const Check& auth);
Check FolderCheck(Probe& probe, const Answer& folder);
// A check that has no answer of its own to judge: cut by the bound, or
// not tried after a failed connection.
std::optional<Check> Unanswered(const std::string& id, const Answer& answer, const std::string& where);
// The certificate's faults in words.
std::string TlsText(std::uint32_t faults);

}  // namespace qlx::qlxctl::doctor

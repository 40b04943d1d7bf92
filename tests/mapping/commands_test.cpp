// The mapping's Connect and Disconnect: the lines they hand to the runner and
// what they leave in the connected flag.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mapping/mapping.h"
#include "settings/record.h"
#include "tests/mapping/fixture.h"

namespace qlx::mapping {
namespace {

using platform::ProcessOutcome;
using Kind = platform::ProcessOutcome::Kind;

class Commands : public test::MappingTest {
 protected:
  std::u16string Url(const std::u16string& user) { return ServiceBaseUrl() + user; }
  std::u16string Account(const std::u16string& user) { return user + u"@" + AccountDomain(); }
};

struct LineCase {
  const char* what;
  std::u16string drive, user, password;
  std::u16string expected_connect;     // with {URL} and {DOMAIN} in place of the build settings
  std::u16string expected_disconnect;  // for the same drive
};

std::u16string Expand(std::u16string text) {
  for (const auto& [name, value] :
       {std::pair<std::u16string, std::u16string>{u"{URL}", ServiceBaseUrl()}, {u"{DOMAIN}", AccountDomain()}})
    for (auto at = text.find(name); at != std::u16string::npos; at = text.find(name))
      text.replace(at, name.size(), value);
  return text;
}

TEST_F(Commands, LinesAreExactAndQuoteOnlyFieldsThatNeedIt) {
  const std::vector<LineCase> cases = {
      {"plain", u"Z:", u"mario", u"segreta",  //
       u"NET USE Z: {URL}mario segreta /user:mario@{DOMAIN} ", u"NET USE Z: /DELETE"},
      {"lower-case drive, dotted user", u"q:", u"m.rossi", u"x",  //
       u"NET USE q: {URL}m.rossi x /user:m.rossi@{DOMAIN} ", u"NET USE q: /DELETE"},
      {"password with a blank", u"Z:", u"mario", u"due parole",  //
       u"NET USE Z: {URL}mario \"due parole\" /user:mario@{DOMAIN} ", u"NET USE Z: /DELETE"},
      {"password with a quote", u"Z:", u"mario", u"pa\"ss",  //
       u"NET USE Z: {URL}mario \"pa\\\"ss\" /user:mario@{DOMAIN} ", u"NET USE Z: /DELETE"},
      {"password with a backslash before a quote", u"Z:", u"mario", u"pa\\\"ss",
       u"NET USE Z: {URL}mario \"pa\\\\\\\"ss\" /user:mario@{DOMAIN} ", u"NET USE Z: /DELETE"},
      {"password with a tab", u"Z:", u"mario", u"pa\tss",  //
       u"NET USE Z: {URL}mario \"pa\tss\" /user:mario@{DOMAIN} ", u"NET USE Z: /DELETE"},
      {"backslashes without a quote or blank stay", u"Z:", u"mario", u"a\\b\\\\",  //
       u"NET USE Z: {URL}mario a\\b\\\\ /user:mario@{DOMAIN} ", u"NET USE Z: /DELETE"},
      {"trailing backslash inside quotes is doubled", u"Z:", u"mario", u"a b\\",  //
       u"NET USE Z: {URL}mario \"a b\\\\\" /user:mario@{DOMAIN} ", u"NET USE Z: /DELETE"},
      {"other special characters pass unchanged", u"Z:", u"mario", u"&|<>^%!*/'",  //
       u"NET USE Z: {URL}mario &|<>^%!*/' /user:mario@{DOMAIN} ", u"NET USE Z: /DELETE"},
      {"user with a blank: one URL, one account", u"Z:", u"mario rossi", u"pw",
       u"NET USE Z: \"{URL}mario rossi\" pw /user:\"mario rossi@{DOMAIN}\" ", u"NET USE Z: /DELETE"},
      {"non-ASCII fields", u"Z:", u"zo\u00eb", u"p\u00e4ss\u20ac\U0001D11E",
       u"NET USE Z: {URL}zo\u00eb p\u00e4ss\u20ac\U0001D11E /user:zo\u00eb@{DOMAIN} ", u"NET USE Z: /DELETE"},
      {"untrimmed drive with a blank", u"Z: ", u" mario", u"pw",
       u"NET USE \"Z: \" \"{URL} mario\" pw /user:\" mario@{DOMAIN}\" ", u"NET USE \"Z: \" /DELETE"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    processes.requests.clear();
    Store(c.drive, c.user, c.password);
    mapping.Connect(false);
    mapping.Disconnect();
    ASSERT_EQ(processes.requests.size(), 2u);
    EXPECT_EQ(processes.requests[0].command_line, Expand(c.expected_connect));
    EXPECT_EQ(processes.requests[1].command_line, Expand(c.expected_disconnect));
    for (const auto& r : processes.requests) {
      EXPECT_EQ(r.application, u"C:\\Windows\\system32\\net.exe");
      EXPECT_EQ(r.show_window, 0);  // SW_HIDE
      EXPECT_EQ(r.creation_flags, 48u);
      EXPECT_EQ(r.timeout_ms, 120000u);
    }
  }
}

TEST_F(Commands, BlankOnlyAndEmptyDrives) {
  // Blanks only: not complete, so no connect; the delete runs, quoted.
  Store(u"   ", u"mario", u"pw");
  SetConnected(true);
  EXPECT_EQ(mapping.Connect(), kNoCommand);
  EXPECT_TRUE(processes.requests.empty());
  EXPECT_TRUE(mapping.connected());
  EXPECT_EQ(record.drive, u"   ");
  mapping.Disconnect();
  ASSERT_EQ(processes.requests.size(), 1u);
  EXPECT_EQ(processes.requests[0].command_line, u"NET USE \"   \" /DELETE");
  EXPECT_FALSE(mapping.connected());

  // Empty: neither command runs.
  processes.requests.clear();
  Store(u"", u"mario", u"pw");
  SetConnected(true);
  EXPECT_EQ(mapping.Connect(), kNoCommand);
  EXPECT_EQ(mapping.Disconnect(), kNoCommand);
  EXPECT_TRUE(processes.requests.empty());
  EXPECT_TRUE(mapping.connected());
}

TEST_F(Commands, ConnectReloadsAndReplacesWhatIsHeldOnlyInMemory) {
  Store(u"Q:", u"stored", u"stored-pw");
  auto& p = record;
  p = {u"Z:", u"memory", u"memory-pw", true, true};
  mapping.Connect(false);
  ASSERT_EQ(processes.requests.size(), 1u);
  EXPECT_EQ(processes.requests[0].command_line,
            u"NET USE Q: " + Url(u"stored") + u" stored-pw /user:" + Account(u"stored") + u" ");
  EXPECT_EQ(p.drive, u"Q:");
  EXPECT_EQ(p.user, u"stored");
  EXPECT_EQ(p.password, u"stored-pw");
  EXPECT_FALSE(p.auto_connect);
  EXPECT_FALSE(p.auto_run);

  // Nothing stored at all: the reload empties the record and nothing runs.
  registry.Remove(u"Software\\PELMORA\\QLXDrive", u"PATHDRIVE");
  p.drive = u"Z:";
  EXPECT_EQ(mapping.Connect(false), kNoCommand);
  EXPECT_EQ(p.drive, u"");
  EXPECT_EQ(processes.requests.size(), 1u);
}

TEST_F(Commands, DisconnectUsesTheDriveHeldInMemoryWithoutReloading) {
  Store(u"Q:", u"stored", u"pw");
  registry.log.clear();
  Hold(u"R:");
  mapping.Disconnect();
  ASSERT_EQ(processes.requests.size(), 1u);
  EXPECT_EQ(processes.requests[0].command_line, u"NET USE R: /DELETE");
  EXPECT_TRUE(registry.LogOf("query").empty());
}

// Every row of the flag's table, from both starting values.
TEST_F(Commands, TheConnectedFlagFollowsItsTable) {
  struct Row {
    const char* event;
    enum { Connect, Disconnect } routine;
    std::u16string drive, user, password;
    std::optional<ProcessOutcome> outcome;  // none: no command may run
    std::int32_t result;
    std::optional<bool> after;  // none: unchanged
  };
  const std::vector<Row> rows = {
      {"connect exits 0", Row::Connect, u"Z:", u"u", u"p", ProcessOutcome{Kind::Exited, 0}, 0, true},
      {"connect exits 2", Row::Connect, u"Z:", u"u", u"p", ProcessOutcome{Kind::Exited, 2}, 2, false},
      {"connect exits 0xFFFFFFFF", Row::Connect, u"Z:", u"u", u"p", ProcessOutcome{Kind::Exited, 0xFFFFFFFFu}, -1,
       false},
      {"connect fails to start", Row::Connect, u"Z:", u"u", u"p", ProcessOutcome{Kind::NotStarted, 0}, -1, false},
      {"connect does not end in time", Row::Connect, u"Z:", u"u", u"p", ProcessOutcome{Kind::TimedOut, 0}, -1,
       false},
      {"delete exits 0", Row::Disconnect, u"Z:", u"u", u"p", ProcessOutcome{Kind::Exited, 0}, 0, false},
      {"delete exits 2", Row::Disconnect, u"Z:", u"u", u"p", ProcessOutcome{Kind::Exited, 2}, 2, false},
      {"delete fails to start", Row::Disconnect, u"Z:", u"u", u"p", ProcessOutcome{Kind::NotStarted, 0}, -1, false},
      {"delete with blanks only", Row::Disconnect, u" ", u"", u"", ProcessOutcome{Kind::Exited, 2}, 2, false},
      {"connect skipped: blank drive", Row::Connect, u" \t", u"u", u"p", std::nullopt, kNoCommand, std::nullopt},
      {"connect skipped: blank user", Row::Connect, u"Z:", u"\r\n", u"p", std::nullopt, kNoCommand, std::nullopt},
      {"connect skipped: blank password", Row::Connect, u"Z:", u"u", u"  ", std::nullopt, kNoCommand,
       std::nullopt},
      {"disconnect skipped: empty drive", Row::Disconnect, u"", u"u", u"p", std::nullopt, kNoCommand,
       std::nullopt},
  };
  for (const auto& row : rows) {
    for (const bool before : {false, true}) {
      SCOPED_TRACE(std::string(row.event) + (before ? ", connected before" : ", not connected before"));
      processes.requests.clear();
      Store(row.drive, row.user, row.password);
      if (row.routine == Row::Disconnect) Hold(row.drive);
      if (row.outcome) processes.outcomes = {*row.outcome};
      SetConnected(before);
      const std::int32_t result = row.routine == Row::Connect ? mapping.Connect(false) : mapping.Disconnect();
      EXPECT_EQ(result, row.result);
      EXPECT_EQ(processes.requests.size(), row.outcome ? 1u : 0u);
      EXPECT_EQ(mapping.connected(), row.after.value_or(before));
      processes.outcomes.clear();
    }
  }
}

TEST_F(Commands, SuccessOpensExplorerOnTheDriveOnlyWhenAsked) {
  Store(u"Q:", u"mario", u"pw");
  drives.mask = [](int) { return (1u << 2) | (1u << 16); };
  EXPECT_EQ(mapping.Connect(), 0);
  ASSERT_EQ(shell.calls.size(), 1u);
  EXPECT_EQ(shell.calls[0].parameters, u"Q:");

  // Without Explorer: no drive wait at all.
  shell.calls.clear();
  drives.reads = 0;
  EXPECT_EQ(mapping.Connect(false), 0);
  EXPECT_TRUE(mapping.connected());
  EXPECT_TRUE(shell.calls.empty());
  EXPECT_EQ(drives.reads, 0);

  // A failed connect never looks for the drive.
  processes.ThenExit(2);
  EXPECT_EQ(mapping.Connect(), 2);
  EXPECT_TRUE(shell.calls.empty());
  EXPECT_EQ(drives.reads, 0);
  EXPECT_EQ(PausesOf(100), 0u);
}

// A system directory that cannot be read must not turn into a search for
// "net" or a bare "\net.exe" on the current drive.
TEST_F(Commands, NoSystemDirectoryRunsNothing) {
  processes.system_directory = u"";
  Store(u"Z:", u"mario", u"pw");
  SetConnected(true);
  EXPECT_EQ(mapping.Connect(), -1);
  EXPECT_FALSE(mapping.connected());
  SetConnected(true);
  EXPECT_EQ(mapping.Disconnect(), -1);
  EXPECT_FALSE(mapping.connected());
  EXPECT_TRUE(processes.requests.empty());
  EXPECT_EQ(NetProgram(), u"");
  processes.system_directory = u"D:\\WINNT\\System32";
  EXPECT_EQ(NetProgram(), u"D:\\WINNT\\System32\\net.exe");
}

}  // namespace
}  // namespace qlx::mapping

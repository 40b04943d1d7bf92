// RunAndWait over a recording runner: what it asks for, and how the
// outcome becomes its result.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mapping/mapping.h"
#include "tests/mapping/fixture.h"

namespace qlx::mapping {
namespace {

using Kind = platform::ProcessOutcome::Kind;

class Runner : public test::MappingTest {};

TEST_F(Runner, OutcomeBecomesASigned32BitResultWithOnePauseAfterAnExit) {
  struct Case {
    Kind kind;
    std::uint32_t exit_code;
    std::int32_t result;
    bool paused;
  };
  const std::vector<Case> cases = {
      {Kind::Exited, 0, 0, true},
      {Kind::Exited, 2, 2, true},
      {Kind::Exited, 259, 259, true},
      {Kind::Exited, 0x7FFFFFFFu, 0x7FFFFFFF, true},
      {Kind::Exited, 0x80000000u, INT32_MIN, true},
      {Kind::Exited, 0xC0000005u, -1073741819, true},
      {Kind::Exited, 0xFFFFFFFFu, -1, true},
      {Kind::NotStarted, 0, -1, false},
      {Kind::TimedOut, 0, -1, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "kind " << static_cast<int>(c.kind) << ", code " << c.exit_code);
    clock.pauses.clear();
    processes.Then(c.kind, c.exit_code);
    EXPECT_EQ(RunAndWait(u"NET USE Z: /DELETE", 0), c.result);
    EXPECT_EQ(clock.pauses, c.paused ? std::vector<std::uint32_t>{10} : std::vector<std::uint32_t>{});
  }
}

TEST_F(Runner, RequestCarriesTheCallersValuesAndTheFixedFlags) {
  RunAndWait(u"prog a b", 5, u"C:\\x\\prog.exe", 1500);
  RunAndWait(u"prog", 0);
  ASSERT_EQ(processes.requests.size(), 2u);
  const auto& given = processes.requests[0];
  EXPECT_EQ(given.application, u"C:\\x\\prog.exe");
  EXPECT_EQ(given.command_line, u"prog a b");
  EXPECT_EQ(given.show_window, 5);
  EXPECT_EQ(given.creation_flags, 0x10u | 0x20u);
  EXPECT_EQ(given.timeout_ms, 1500u);
  const auto& defaults = processes.requests[1];
  EXPECT_EQ(defaults.application, u"");
  EXPECT_EQ(defaults.timeout_ms, 120000u);
}

// A long line is never cut: it runs whole up to what CreateProcessW takes
// (32767 units with the terminator) and is refused beyond.
TEST_F(Runner, LongLinesRunWholeOrNotAtAll) {
  for (const std::size_t length : {std::size_t{512}, std::size_t{513}, std::size_t{4000}, std::size_t{32766}}) {
    SCOPED_TRACE(length);
    processes.requests.clear();
    const std::u16string line = u"NET USE Z: " + std::u16string(length - 11, u'p');
    ASSERT_EQ(line.size(), length);
    EXPECT_EQ(RunAndWait(line, 0), 0);
    ASSERT_EQ(processes.requests.size(), 1u);
    EXPECT_EQ(processes.requests[0].command_line, line);
  }
  for (const std::size_t length : {std::size_t{32767}, std::size_t{40000}}) {
    SCOPED_TRACE(length);
    processes.requests.clear();
    clock.pauses.clear();
    EXPECT_EQ(RunAndWait(std::u16string(length, u'x'), 0), -1);
    EXPECT_TRUE(processes.requests.empty());
    EXPECT_TRUE(clock.pauses.empty());
  }
}

TEST_F(Runner, AConnectWithALongPasswordReachesTheRunnerWhole) {
  const std::u16string password(700, u'k');
  Store(u"Z:", u"mario", password);
  mapping.Connect(false);
  ASSERT_EQ(processes.requests.size(), 1u);
  const std::u16string& line = processes.requests[0].command_line;
  EXPECT_GT(line.size(), 700u);
  EXPECT_NE(line.find(u" " + password + u" /user:mario@"), std::u16string::npos);
}

}  // namespace
}  // namespace qlx::mapping

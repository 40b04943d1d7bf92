// ApriExplorer: the drive test, the wait's counts, the launch and the
// notices its failures come back as (mapping itself shows no box);
// SystemErrorText's trimming.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "mapping/mapping.h"
#include "settings/record.h"
#include "tests/mapping/fixture.h"

namespace qlx::mapping {
namespace {

class Explorer : public test::MappingTest {
 protected:
  void SetUp() override {
    MappingTest::SetUp();
    SetConnected(true);
  }
  void Mask(std::uint32_t value) {
    drives.mask = [value](int) { return value; };
  }
};

constexpr std::uint32_t Bit(char letter) { return 1u << (letter - 'A'); }

TEST_F(Explorer, DriveTest) {
  struct Case {
    std::u16string drive;
    std::uint32_t mask;
    bool present;
  };
  const std::vector<Case> cases = {
      {u"Z:", Bit('Z'), true},
      {u"z:", Bit('Z'), true},
      {u"a:", Bit('A'), true},
      {u"A:", Bit('A') | Bit('C'), true},
      {u"Q:\\docs", Bit('Q'), true},  // two characters at least; the rest is not looked at
      {u"Z:", Bit('C') | Bit('Y'), false},
      {u"Y:", 0xFFFFFFFFu & ~Bit('Y'), false},
      {u"Z", 0xFFFFFFFFu, false},
      {u"", 0xFFFFFFFFu, false},
      {u"1:", 0xFFFFFFFFu, false},
      {u"ZZ", 0xFFFFFFFFu, false},
      {u":Z", 0xFFFFFFFFu, false},
      {u" Z:", 0xFFFFFFFFu, false},
      {u"@:", 0xFFFFFFFFu, false},  // the neighbours of A-Z and a-z
      {u"[:", 0xFFFFFFFFu, false},
      {u"`:", 0xFFFFFFFFu, false},
      {u"{:", 0xFFFFFFFFu, false},
      {u"\u00c0:", 0xFFFFFFFFu, false},
      {u"\uFF3A:", 0xFFFFFFFFu, false},  // fullwidth Z
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << (&c - cases.data()));
    Mask(c.mask);
    EXPECT_EQ(DrivePresent(c.drive), c.present);
  }
}

TEST_F(Explorer, WaitCountsTestsAndPauses) {
  struct Case {
    const char* what;
    std::u16string drive;
    int appears_at;  // read at which the drive shows; 0: never
    int reads, pauses;
    bool launched;
  };
  const std::vector<Case> cases = {
      {"present at the first test", u"Q:", 1, 1, 0, true},
      {"appears at the 5th test", u"Q:", 5, 5, 4, true},
      {"appears at the last test", u"Q:", 201, 201, 200, true},
      {"never appears", u"Q:", 0, 201, 200, false},
      {"appears one test too late", u"Q:", 202, 201, 200, false},
      {"lower case, at once", u"q:", 1, 1, 0, true},
      {"no colon: never present", u"Q\\", 1, 0, 200, false},
      {"a digit: never present", u"1:", 1, 0, 200, false},
      {"one character: never present", u"Q", 1, 0, 200, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Hold(c.drive);
    drives.reads = 0;
    clock.pauses.clear();
    shell.calls.clear();
    const int at = c.appears_at;
    drives.mask = [at](int read) { return Bit('C') | (at != 0 && read >= at ? Bit('Q') : 0); };
    EXPECT_EQ(OpenExplorer(record.drive, mapping.connected(), u""), std::nullopt);
    EXPECT_EQ(drives.reads, c.reads);
    EXPECT_EQ(clock.pauses, std::vector<std::uint32_t>(c.pauses, 100));
    EXPECT_EQ(shell.calls.size(), c.launched ? 1u : 0u);
  }
}

TEST_F(Explorer, LaunchUsesSystemRootAndTheDriveWithTheSubPath) {
  struct Case {
    std::optional<std::u16string> systemroot;
    std::u16string sub_path;
    std::u16string file, parameters;
  };
  const std::vector<Case> cases = {
      {u"C:\\Windows", u"", u"C:\\Windows\\explorer.exe", u"Z:"},
      {u"D:\\WINNT", u"\\Documenti", u"D:\\WINNT\\explorer.exe", u"Z:\\Documenti"},
      {std::nullopt, u"", u"\\explorer.exe", u"Z:"},
      {u"", u"", u"\\explorer.exe", u"Z:"},
  };
  Hold(u"Z:");
  Mask(Bit('Z'));
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "sub-path size " << c.sub_path.size() << ", file " << c.file.size());
    shell.calls.clear();
    environment.variables.clear();
    if (c.systemroot) environment.variables[u"SYSTEMROOT"] = *c.systemroot;
    EXPECT_EQ(OpenExplorer(record.drive, mapping.connected(), c.sub_path), std::nullopt);
    ASSERT_EQ(shell.calls.size(), 1u);
    EXPECT_EQ(shell.calls[0].verb, u"open");
    EXPECT_EQ(shell.calls[0].file, c.file);
    EXPECT_EQ(shell.calls[0].parameters, c.parameters);
    EXPECT_EQ(shell.calls[0].show, 1);  // SW_SHOWNORMAL
  }
}

TEST_F(Explorer, NotConnectedWaitsButLaunchesNothing) {
  SetConnected(false);
  Hold(u"Z:");
  Mask(Bit('Z'));
  EXPECT_EQ(OpenExplorer(record.drive, mapping.connected(), u""), std::nullopt);
  EXPECT_EQ(drives.reads, 1);
  EXPECT_TRUE(shell.calls.empty());
}

TEST_F(Explorer, ShellFailuresComeBackAsTheSystemTextUnderTheProgramsTitle) {
  struct Case {
    std::uintptr_t returned;
    std::uint32_t last_error;
    std::optional<std::u16string> text;  // the notice's text
  };
  const std::vector<Case> cases = {
      {2, 2, u"The system cannot find the file specified"},
      {5, 5, u"Access is denied"},
      {32, 5, u"Access is denied"},
      {0, 1234, u""},  // a code without a text is still told
      {33, 5, std::nullopt},
      {42, 0, std::nullopt},
  };
  Hold(u"Z:");
  Mask(Bit('Z'));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.returned);
    messages.boxes.clear();
    messages.asked.clear();
    shell.result = c.returned;
    shell.on_execute = [&] { messages.last_error = c.last_error; };
    const std::optional<Notice> notice = OpenExplorer(record.drive, mapping.connected(), u"");
    ASSERT_EQ(notice.has_value(), c.text.has_value());
    if (notice) {
      EXPECT_EQ(notice->text, *c.text);
      EXPECT_EQ(notice->caption, u"Qlxdrive");
      EXPECT_EQ(messages.asked, std::vector<std::uint32_t>{c.last_error});
    }
    EXPECT_TRUE(messages.boxes.empty()) << "mapping tells, the shell shows";
  }
}

TEST_F(Explorer, AnErrorInsideTheLaunchEndsInItsOwnBoxAndGoesNoFurther) {
  Hold(u"Z:");
  Mask(Bit('Z'));
  shell.raise = true;
  messages.last_error = 5;
  std::optional<Notice> notice;
  EXPECT_NO_THROW(notice = OpenExplorer(record.drive, mapping.connected(), u""));
  EXPECT_EQ(notice, (Notice{u"Qlxdrive", u"ERRORE: (2) Access is denied"}));

  // The program's own path failing for the caption: the box still shows.
  test::FailingProgramFile failing;
  program_file = &failing;
  shell.raise = false;
  shell.result = 2;
  messages.last_error = 2;
  EXPECT_NO_THROW(notice = OpenExplorer(record.drive, mapping.connected(), u""));
  EXPECT_EQ(notice, (Notice{u"", u"ERRORE: (2) The system cannot find the file specified"}));
  EXPECT_TRUE(messages.boxes.empty());
}

TEST_F(Explorer, AConnectKeepsTheLaunchFailureOnlyUntilTheNextConnect) {
  Store(u"Z:", u"mario", u"pw");
  Mask(Bit('Z'));
  shell.result = 2;
  messages.last_error = 2;
  EXPECT_EQ(mapping.Connect(), 0);
  EXPECT_EQ(mapping.explorer_failure(), (Notice{u"Qlxdrive", u"The system cannot find the file specified"}));
  shell.result = 42;
  EXPECT_EQ(mapping.Connect(), 0);
  EXPECT_EQ(mapping.explorer_failure(), std::nullopt);
  shell.result = 2;
  EXPECT_EQ(mapping.Connect(false), 0);
  EXPECT_EQ(mapping.explorer_failure(), std::nullopt) << "no launch, nothing to tell";
  EXPECT_TRUE(messages.boxes.empty());
}

TEST_F(Explorer, SystemTextLosesTrailingBlanksControlsAndFullStops) {
  struct Case {
    std::u16string raw, shown;
  };
  const std::vector<Case> cases = {
      {u"Access is denied.\r\n", u"Access is denied"},
      {u"Done. . \t.\n", u"Done"},
      {u"v1.2 is not 1.3", u"v1.2 is not 1.3"},
      {u"Fine\u00a0", u"Fine\u00a0"},  // U+00A0 is above U+0020
      {u"Citt\u00e0.", u"Citt\u00e0"},
      {u"x\u0001\u001f", u"x"},
      {u"... \r\n", u""},
      {u"", u""},
      {u"  inside  kept.", u"  inside  kept"},
  };
  for (const auto& c : cases) {
    messages.texts[77] = c.raw;
    EXPECT_EQ(SystemErrorText(77), c.shown);
  }
  EXPECT_EQ(SystemErrorText(78), u"");
}

}  // namespace
}  // namespace qlx::mapping

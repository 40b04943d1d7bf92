// The controller's sequences, judged by what they leave behind: the
// commands run, the values stored, the pauses, and what the windows were
// asked to show. The windows are a fake; the registry, the runner and the
// clock are the mapping tests' doubles.
#include "ui/controller.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "base/errors.h"
#include "settings/store.h"
#include "tests/mapping/fixture.h"
#include "tests/settings/fixture.h"

namespace qlx::ui {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// Records what the controller asked of the windows. The dialog's fields are
// a value the test sets, as a user would type them.
class FakeWindows final : public ShellWindows {
 public:
  explicit FakeWindows(const std::vector<platform::ProcessRequest>& commands) : commands_(commands) {}

  std::vector<std::u16string> balloons;
  std::vector<settings::ConnectionSettings> fills;
  settings::ConnectionSettings fields;
  int ended_as_second_copy = 0;
  int hidden = 0;
  int closed = 0;
  int modal_loops = 0;
  // How many commands had run when the quit message was posted (-1: never).
  int commands_before_quit = -1;
  // Runs inside the modal loop, as the user's actions would.
  std::function<void()> while_open;

  void EndAsSecondCopy() override { ++ended_as_second_copy; }
  void ShowBalloon(const std::u16string& text) override { balloons.push_back(text); }
  settings::ConnectionSettings ReadDialog() override { return fields; }
  void FillDialog(const settings::ConnectionSettings& values) override {
    fills.push_back(values);
    fields = values;
  }
  void HideDialog() override { ++hidden; }
  void ShowDialogModal() override {
    ++modal_loops;
    if (while_open) while_open();
  }
  void CloseDialog() override { ++closed; }
  void Quit() override { commands_before_quit = static_cast<int>(commands_.size()); }

 private:
  const std::vector<platform::ProcessRequest>& commands_;
};

class Controller : public test::MappingTest {
 protected:
  void SetUp() override {
    MappingTest::SetUp();
    // The stored drive is there as soon as it is asked for.
    drives.mask = [](int) { return (1u << 2) | (1u << 16); };
  }

  std::vector<std::u16string> Commands() const {
    std::vector<std::u16string> lines;
    for (const auto& r : processes.requests) lines.push_back(r.command_line);
    return lines;
  }
  settings::ConnectionSettings Stored() {
    settings::ConnectionSettings stored;
    settings::LoadSettings(registry, stored);
    return stored;
  }
  void StoreAutoConnect(const std::u16string& drive, const std::u16string& user, const std::u16string& password) {
    settings::SaveSettings(registry, program_in_use, settings::ConnectionSettings{drive, user, password, true, false});
  }
  void FailNextWrite() {
    int writes = 0;
    for (const auto& operation : registry.log) writes += operation.what == "set";
    registry.fail_set_at = writes + 1;
  }
  static std::u16string Delete(const std::u16string& drive) { return u"NET USE " + drive + u" /DELETE"; }
  bool IsConnect(const std::u16string& line) const { return line.find(u"/user:") != std::u16string::npos; }

  FakeWindows windows{processes.requests};
  ShellController controller{windows, record, mapping, {registry, program_in_use, clock, messages}};
};

// ----------------------------------------------------------------- start-up

TEST_F(Controller, ASecondCopyReadsNothingRunsNothingAndShowsNothing) {
  StoreAutoConnect(u"Q:", u"mario", u"pw");
  registry.log.clear();
  controller.Start(true);
  EXPECT_EQ(windows.ended_as_second_copy, 1);
  EXPECT_THAT(registry.log, IsEmpty());
  EXPECT_THAT(Commands(), IsEmpty());
  EXPECT_THAT(windows.fills, IsEmpty());
  EXPECT_THAT(windows.balloons, IsEmpty());
  EXPECT_EQ(windows.hidden, 0);
}

TEST_F(Controller, StartFillsTheHiddenDialogAndConnectsOnlyWhenAsked) {
  Store(u"Q:", u"mario", u"pw");
  controller.Start(false);
  EXPECT_EQ(windows.hidden, 1);
  ASSERT_EQ(windows.fills.size(), 1u);
  EXPECT_EQ(windows.fills[0].user, u"mario");
  EXPECT_EQ(windows.fills[0].password, u"pw");
  EXPECT_EQ(record.drive, u"Q:") << "the application's settings hold what was loaded";
  EXPECT_THAT(Commands(), IsEmpty());
  EXPECT_THAT(clock.pauses, IsEmpty());
  EXPECT_THAT(windows.balloons, IsEmpty());
  EXPECT_EQ(windows.ended_as_second_copy, 0);
}

TEST_F(Controller, AutomaticConnectionDisconnectsPausesConnectsAndAnnouncesOnlyASuccess) {
  for (const bool succeeds : {true, false}) {
    SCOPED_TRACE(succeeds);
    processes.requests.clear();
    clock.pauses.clear();
    windows.balloons.clear();
    shell.calls.clear();
    StoreAutoConnect(u"Q:", u"mario", u"pw");
    processes.ThenExit(0);
    processes.ThenExit(succeeds ? 0 : 2);
    controller.Start(false);
    const auto lines = Commands();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], Delete(u"Q:"));
    EXPECT_TRUE(IsConnect(lines[1]));
    // Each command is followed by the runner's own 10 ms.
    EXPECT_THAT(clock.pauses, ElementsAre(10u, 500u, 10u));
    EXPECT_EQ(mapping.connected(), succeeds);
    EXPECT_EQ(shell.calls.size(), succeeds ? 1u : 0u) << "Explorer opens on a success, before the balloon";
    if (succeeds) {
      EXPECT_THAT(windows.balloons, ElementsAre(kConnectedText));
    } else {
      EXPECT_THAT(windows.balloons, IsEmpty()) << "a failure at start-up is silent";
    }
  }
}

TEST_F(Controller, AutomaticConnectionWithIncompleteSettingsOnlyDisconnects) {
  StoreAutoConnect(u"Q:", u"mario", u"   ");
  controller.Start(false);
  EXPECT_THAT(Commands(), ElementsAre(Delete(u"Q:")));
  EXPECT_THAT(windows.balloons, IsEmpty());
  // With no drive either, nothing runs at all.
  processes.requests.clear();
  StoreAutoConnect(u"", u"mario", u"pw");
  controller.Start(false);
  EXPECT_THAT(Commands(), IsEmpty());
  EXPECT_THAT(windows.balloons, IsEmpty());
}

TEST_F(Controller, AStoredValueThatCannotBeReadStopsStartUpBeforeAnyCommand) {
  StoreAutoConnect(u"Q:", u"mario", u"pw");
  registry.SetRaw(u"Software\\PELMORA\\QLXDrive", u"USER", platform::regtype::kDword, {1, 0, 0, 0});
  EXPECT_EQ(test::ErrorOf([&] { controller.Start(false); }), "Invalid data type for 'USER'");
  EXPECT_THAT(windows.fills, IsEmpty());
  EXPECT_THAT(Commands(), IsEmpty());
}

// --------------------------------------------------------------- the tray

TEST_F(Controller, TrayConnectWithNothingStoredRunsNothingAndReportsTheFailure) {
  controller.Connect();
  EXPECT_THAT(Commands(), IsEmpty());
  EXPECT_THAT(clock.pauses, ElementsAre(1000u));
  EXPECT_THAT(windows.balloons, ElementsAre(kConnectFailedText));
}

TEST_F(Controller, TrayConnectUsesTheStoredValuesAndReportsEachTime) {
  Store(u"Q:", u"mario", u"pw");
  // What is held in memory, e.g. the dialog's unsaved values, is not used.
  record = {u"K:", u"luigi", u"other", false, false};
  controller.Connect();
  controller.Connect();
  const auto lines = Commands();
  // The first disconnect acts on the drive held; the reload then brings Q:.
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], Delete(u"K:"));
  EXPECT_NE(lines[1].find(u"/user:mario@"), std::u16string::npos);
  EXPECT_EQ(lines[2], Delete(u"Q:"));
  EXPECT_THAT(clock.pauses, ElementsAre(10u, 1000u, 10u, 10u, 1000u, 10u));
  EXPECT_THAT(windows.balloons, ElementsAre(kConnectedText, kConnectedText));
  EXPECT_EQ(shell.calls.size(), 2u);
}

TEST_F(Controller, AnExplorerThatCannotOpenIsToldInAPlainBoxFromEveryConnect) {
  StoreAutoConnect(u"Q:", u"mario", u"pw");
  shell.result = 2;
  messages.last_error = 2;
  controller.Start(false);
  controller.Connect();
  controller.ConnectFromDialog();
  ASSERT_EQ(messages.boxes.size(), 3u);
  for (const auto& box : messages.boxes) {
    EXPECT_EQ(box.caption, u"Qlxdrive");
    EXPECT_EQ(box.text, u"The system cannot find the file specified");
    EXPECT_EQ(box.kind, platform::Messages::Kind::Plain);
  }
  // The drive is mapped all the same.
  EXPECT_THAT(windows.balloons, ElementsAre(kConnectedText, kConnectedText));

  // A launch that works tells nothing.
  shell.result = 42;
  controller.Connect();
  EXPECT_EQ(messages.boxes.size(), 3u);
}

TEST_F(Controller, TrayDisconnectActsOnlyOnAHeldDrive) {
  controller.Disconnect();
  EXPECT_THAT(Commands(), IsEmpty());
  Store(u"Q:", u"mario", u"pw");
  controller.Connect();
  ASSERT_TRUE(mapping.connected());
  processes.requests.clear();
  controller.Disconnect();
  EXPECT_THAT(Commands(), ElementsAre(Delete(u"Q:")));
  EXPECT_FALSE(mapping.connected());
  EXPECT_THAT(windows.balloons, ElementsAre(kConnectedText)) << "a disconnect shows nothing";
}

TEST_F(Controller, ExitDisconnectsBeforeTheQuitMessage) {
  Store(u"Q:", u"mario", u"pw");
  controller.Start(false);
  controller.Exit();
  EXPECT_THAT(Commands(), ElementsAre(Delete(u"Q:")));
  EXPECT_EQ(windows.commands_before_quit, 1);
}

TEST_F(Controller, SettingsWhileTheDialogIsOpeningOrOpenAreRefused) {
  // The second request comes while the first is still in its modal loop
  // (its opening error box is enough): no second loop starts.
  std::string refused;
  windows.while_open = [&] {
    windows.while_open = nullptr;
    refused = test::ErrorOf([&] { controller.OpenSettings(); });
  };
  controller.OpenSettings();
  EXPECT_EQ(refused, kAlreadyOpenText);
  EXPECT_EQ(windows.modal_loops, 1);
  // Once closed, the dialog opens again.
  controller.OpenSettings();
  EXPECT_EQ(windows.modal_loops, 2);
}

TEST_F(Controller, TheDialogCanBeOpenedAgainAfterItsLoopRaised) {
  windows.while_open = [] { throw Error("Failed to set a field of the dialog"); };
  EXPECT_EQ(test::ErrorOf([&] { controller.OpenSettings(); }), "Failed to set a field of the dialog");
  windows.while_open = nullptr;
  controller.OpenSettings();
  EXPECT_EQ(windows.modal_loops, 2);
}

// ------------------------------------------------------------- the dialog

TEST_F(Controller, OpeningShowsTheStoredValues) {
  Store(u"Q:", u"mario", u"pw");
  controller.DialogOpening();
  ASSERT_EQ(windows.fills.size(), 1u);
  EXPECT_EQ(windows.fills[0].drive, u"Q:");
  EXPECT_EQ(windows.fills[0].user, u"mario");
}

TEST_F(Controller, ApplyStoresTheFieldsAsTypedAndShowsThemReadBack) {
  windows.fields = {u"k", u" luigi ", u"a b\"c", true, false};
  controller.Apply();
  const auto stored = Stored();
  EXPECT_EQ(stored.drive, u"k");
  EXPECT_EQ(stored.user, u" luigi ");
  EXPECT_EQ(stored.password, u"a b\"c");
  EXPECT_TRUE(stored.auto_connect);
  EXPECT_FALSE(stored.auto_run);
  ASSERT_EQ(windows.fills.size(), 1u);
  EXPECT_EQ(windows.fills[0].user, u" luigi ");
  EXPECT_EQ(windows.closed, 0);
  EXPECT_THAT(Commands(), IsEmpty());
}

TEST_F(Controller, SaveStoresAndClosesButAFailedSaveKeepsTheDialogOpen) {
  windows.fields = {u"Q:", u"anna", u"pw", false, true};
  controller.Save();
  EXPECT_EQ(Stored().user, u"anna");
  EXPECT_EQ(windows.closed, 1);
  EXPECT_THAT(windows.fills, IsEmpty());

  // The first write is refused: nothing after it happens, and the
  // application's settings hold the dialog's values all the same.
  FailNextWrite();
  windows.fields = {u"R:", u"bruno", u"pw2", false, false};
  EXPECT_EQ(test::ErrorOf([&] { controller.Save(); }), "Failed to set data for 'PATHDRIVE'");
  EXPECT_EQ(windows.closed, 1);
  EXPECT_EQ(record.user, u"bruno");
  EXPECT_EQ(Stored().user, u"anna");
  windows.fields = {u"S:", u"carla", u"pw3", false, false};
  FailNextWrite();
  EXPECT_EQ(test::ErrorOf([&] { controller.Apply(); }), "Failed to set data for 'PATHDRIVE'");
  EXPECT_THAT(windows.fills, IsEmpty()) << "a failed apply reads nothing back";
}

TEST_F(Controller, DialogConnectDropsTheEditsAndReconnectsWithoutAPause) {
  Store(u"Q:", u"mario", u"pw");
  windows.fields = {u"Q:", u"edited", u"pw", false, false};
  controller.ConnectFromDialog();
  ASSERT_EQ(windows.fills.size(), 1u);
  EXPECT_EQ(windows.fields.user, u"mario");
  const auto lines = Commands();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], Delete(u"Q:"));
  EXPECT_NE(lines[1].find(u"/user:mario@"), std::u16string::npos);
  EXPECT_THAT(clock.pauses, ElementsAre(10u, 10u)) << "no pause beyond the runner's own";
  EXPECT_THAT(windows.balloons, IsEmpty());
}

TEST_F(Controller, CancelClosesAndStoresNothing) {
  Store(u"Q:", u"mario", u"pw");
  const std::size_t operations = registry.log.size();
  windows.fields = {u"Z:", u"edited", u"x", true, true};
  controller.Cancel();
  EXPECT_EQ(windows.closed, 1);
  EXPECT_EQ(registry.log.size(), operations);
  EXPECT_EQ(Stored().user, u"mario");
}

}  // namespace
}  // namespace qlx::ui

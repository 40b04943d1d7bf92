// The dialog's layout and scaling, where it opens, the drive field's
// completion, the error box's text and the tray record's text fields.
#include "ui/logic.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace qlx::ui {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

// ------------------------------------------------------------------ layout

std::vector<DialogPart> OrdineTab() {
  std::vector<DialogPart> order;
  for (const auto& c : DialogLayout())
    if (c.tab_stop) order.push_back(c.part);
  return order;
}

TEST(Layout, TabOrderWalksTheButtonsFirstThenTheFieldsTopToBottom) {
  EXPECT_THAT(OrdineTab(), ElementsAre(DialogPart::SaveButton, DialogPart::ApplyButton, DialogPart::ConnectButton, DialogPart::CancelButton,
                                       DialogPart::UserField, DialogPart::PasswordField, DialogPart::DriveField, DialogPart::AutoRunBox,
                                       DialogPart::AutoConnectBox));
}

TEST(Layout, EachLabelComesJustBeforeItsFieldAndTakesNoFocus) {
  const auto& d = DialogLayout();
  const std::pair<DialogPart, DialogPart> coppie[] = {
      {DialogPart::UserLabel, DialogPart::UserField}, {DialogPart::PasswordLabel, DialogPart::PasswordField}, {DialogPart::DriveLabel, DialogPart::DriveField}};
  for (const auto& [label, field] : coppie) {
    const auto i = static_cast<std::size_t>(label);
    ASSERT_LT(i + 1, d.size());
    EXPECT_EQ(d[i + 1].part, field);
    EXPECT_FALSE(d[i].tab_stop);
    EXPECT_EQ(d[i].kind, ControlKind::Label);
    // Side by side on the same row: the label is to the left of its field.
    EXPECT_LT(d[i].position.left + d[i].position.width, d[i + 1].position.left);
  }
}

TEST(Layout, DescriptionIsIndexedByPart) {
  for (const auto& c : DialogLayout()) EXPECT_EQ(LayoutOf(c.part).part, c.part);
}

TEST(Layout, ButtonsReadLeftToRightAndKeepTheirDistanceFromThePanelsRightEdge) {
  std::vector<std::pair<int, std::u16string>> buttons;
  for (const auto& c : DialogLayout())
    if (c.kind == ControlKind::Button) {
      EXPECT_TRUE(c.in_panel);
      buttons.emplace_back(c.position.left, std::u16string(c.text));
    }
  std::sort(buttons.begin(), buttons.end());
  std::vector<std::u16string> testi;
  for (const auto& p : buttons) testi.push_back(p.second);
  EXPECT_THAT(testi, ElementsAre(u"Connetti", u"Applica", u"Salva", u"Annulla"));
  const Rect panel = LayoutOf(DialogPart::ButtonPanel).position;
  const Rect ultimo = LayoutOf(DialogPart::CancelButton).position;
  EXPECT_EQ(panel.width - (ultimo.left + ultimo.width), 8);
  for (const auto& c : DialogLayout())
    if (c.in_panel) {
      EXPECT_GE(c.position.top, 0);
      EXPECT_LE(c.position.top + c.position.height, panel.height);
    }
}

TEST(Layout, EveryFieldLiesInTheClientAreaAboveTheButtonPanel) {
  const Rect panel = LayoutOf(DialogPart::ButtonPanel).position;
  EXPECT_EQ(panel.top + panel.height, kClientHeight);
  EXPECT_EQ(panel.width, kClientWidth);
  for (const auto& c : DialogLayout()) {
    if (c.in_panel || c.part == DialogPart::ButtonPanel) continue;
    EXPECT_GE(c.position.left, 0);
    EXPECT_LE(c.position.left + c.position.width, kClientWidth);
    EXPECT_LE(c.position.top + c.position.height, panel.top) << static_cast<int>(c.part);
  }
}

TEST(Layout, TextsAreTheDialogsOwn) {
  EXPECT_EQ(LayoutOf(DialogPart::UserLabel).text, u"Utente:");
  EXPECT_EQ(LayoutOf(DialogPart::PasswordLabel).text, u"Password:");
  EXPECT_EQ(LayoutOf(DialogPart::DriveLabel).text, u"Drive:");
  EXPECT_EQ(LayoutOf(DialogPart::AutoRunBox).text, u"Esecuzione automatica");
  EXPECT_EQ(LayoutOf(DialogPart::AutoConnectBox).text, u"Connessione automatica");
  EXPECT_EQ(LayoutOf(DialogPart::PasswordField).kind, ControlKind::Password);
  EXPECT_EQ(LayoutOf(DialogPart::DriveField).kind, ControlKind::Combo);
}

struct ScaleCase {
  int value;
  int dpi;
  int expected;
};

TEST(Layout, ScalingRoundsLikeMulDiv) {
  const ScaleCase cases[] = {
      {379, 96, 379},  {379, 120, 474},   // 473.75
      {379, 144, 569},                     // 568.5, half away from zero
      {192, 144, 288}, {13, 120, 16},      // 16.25
      {13, 144, 20},                       // 19.5
      {41, 144, 62},                       // 61.5
      {1, 144, 2},     {-1, 144, -2},  {-13, 120, -16}, {0, 192, 0},
      {75, 192, 150},  {30000, 480, 150000},
  };
  for (const auto& c : cases) EXPECT_EQ(Scale(c.value, c.dpi), c.expected) << c.value << " at " << c.dpi;
  EXPECT_EQ(Scale(Rect{10, 20, 42, 16}, 144), (Rect{15, 30, 63, 24}));
}

TEST(Layout, ACaptionThatFitsKeepsItsControlWhereTheLayoutPutsIt) {
  for (int dpi : {96, 144}) {
    for (const auto& c : DialogLayout()) {
      if (c.kind == ControlKind::Panel) continue;
      EXPECT_EQ(FitCaption(c.part, 0, dpi), Scale(c.position, dpi)) << static_cast<int>(c.part) << " at " << dpi;
    }
    // Exactly as wide as the room there is: still in place.
    const Rect box = Scale(LayoutOf(DialogPart::AutoConnectBox).position, dpi);
    const int room = box.width - Scale(kCheckBoxSide, dpi) - Scale(kCheckBoxGap, dpi) - 1;
    EXPECT_EQ(FitCaption(DialogPart::AutoConnectBox, room, dpi), box);
    const Rect label = Scale(LayoutOf(DialogPart::UserLabel).position, dpi);
    EXPECT_EQ(FitCaption(DialogPart::UserLabel, label.width - 1, dpi), label);
  }
  // Fields and buttons never move for a caption.
  EXPECT_EQ(FitCaption(DialogPart::UserField, 1000, 96), (Rect{90, 17, 263, 24}));
  EXPECT_EQ(FitCaption(DialogPart::SaveButton, 1000, 96), (Rect{215, 8, 75, 25}));
}

TEST(Layout, AWiderCaptionGrowsItsControlTowardsTheRoomThereIs) {
  // A check box keeps its square at the right edge and grows to the left.
  EXPECT_EQ(FitCaption(DialogPart::AutoConnectBox, 150, 96), (Rect{185, 112, 168, 17}));  // 150 + 4 + 13 + 1
  // ... but no further than just after the drive field (90 + 71 + 8).
  EXPECT_EQ(FitCaption(DialogPart::AutoConnectBox, 400, 96), (Rect{169, 112, 184, 17}));
  // At 144 DPI: the box at 288..530, the drive field ending at 242, the gap 12.
  EXPECT_EQ(FitCaption(DialogPart::AutoRunBox, 220, 144), (Rect{288 + 242 - (220 + 6 + 20 + 1), 134, 220 + 6 + 20 + 1, 26}));
  EXPECT_EQ(FitCaption(DialogPart::AutoRunBox, 400, 144), (Rect{254, 134, 530 - 254, 26}));
  // A label grows to the right, up to just before the fields (90 - 4).
  EXPECT_EQ(FitCaption(DialogPart::UserLabel, 50, 96), (Rect{10, 20, 51, 16}));
  EXPECT_EQ(FitCaption(DialogPart::UserLabel, 200, 96), (Rect{10, 20, 76, 16}));
  EXPECT_EQ(FitCaption(DialogPart::PasswordLabel, 70, 144), (Rect{15, 75, 90, 24}));
  EXPECT_EQ(FitCaption(DialogPart::PasswordLabel, 200, 144), (Rect{15, 75, 135 - 6 - 15, 24}));
}

TEST(Layout, ButtonPanelStaysDockedToTheBottomAtEveryDpi) {
  for (int dpi : {96, 120, 144, 168, 192, 240, 288}) {
    const int w = Scale(kClientWidth, dpi);
    const int h = Scale(kClientHeight, dpi);
    const Rect p = PanelPosition(w, h, dpi);
    EXPECT_EQ(p.left, 0);
    EXPECT_EQ(p.width, w);
    EXPECT_EQ(p.top + p.height, h) << dpi;
    EXPECT_EQ(p.height, Scale(41, dpi));
  }
  EXPECT_EQ(PanelPosition(379, 192, 96), (Rect{0, 151, 379, 41}));
}

TEST(Layout, OpensCentredOnTheWholeDesktopWithItsCornerInside) {
  // One monitor.
  EXPECT_EQ(CentreOnDesktop({0, 0, 1280, 1024}, 385, 217), (Point{447, 403}));
  // Two monitors, the second to the left of the primary: the span is centred.
  EXPECT_EQ(CentreOnDesktop({-1920, 0, 3200, 1080}, 400, 200), (Point{-1920 + 1400, 440}));
  // Larger than the desktop: the top-left corner stays inside it.
  EXPECT_EQ(CentreOnDesktop({-100, -50, 300, 200}, 500, 400), (Point{-100, -50}));
  EXPECT_EQ(CentreOnDesktop({0, 0, 800, 600}, 900, 100), (Point{0, 250}));
}

// ------------------------------------------------------------- drive field

TEST(DriveField, ListsAToZWithColons) {
  const auto& entries = DriveEntries();
  ASSERT_EQ(entries.size(), 26u);
  EXPECT_EQ(entries.front(), u"A:");
  EXPECT_EQ(entries[16], u"Q:");
  EXPECT_EQ(entries.back(), u"Z:");
}

struct CompletionCase {
  std::u16string typed;
  std::optional<Completion> expected;
};

TEST(DriveField, TypingCompletesFromTheFirstMatchingEntry) {
  const CompletionCase cases[] = {
      {u"z", Completion{u"z:", 1, 2}},   // the typed letter stays lower case
      {u"Q", Completion{u"Q:", 1, 2}},
      {u"a", Completion{u"a:", 1, 2}},
      {u"Z:", std::nullopt},                // already an entry: nothing to add
      {u"z:", std::nullopt},
      {u"", std::nullopt},
      {u"zz", std::nullopt},                // no entry begins so
      {u"1", std::nullopt},
      {u":", std::nullopt},
      {u"\u00E0", std::nullopt},            // no case folding beyond ASCII
  };
  for (const auto& c : cases) {
    const auto r = Complete(c.typed, DriveEntries());
    EXPECT_EQ(r, c.expected) << std::string(c.typed.begin(), c.typed.end());
  }
}

TEST(DriveField, TheFirstEntryInListOrderWins) {
  const std::vector<std::u16string> entries{u"Net1", u"NET22", u"n"};
  EXPECT_EQ(Complete(u"ne", entries), (Completion{u"net1", 2, 4}));
  EXPECT_EQ(Complete(u"NET2", entries), (Completion{u"NET22", 4, 5}));
}

// ------------------------------------------------------------------- texts

TEST(ErrorBox, AppendsAFullStopOnlyAfterCharactersAboveIt) {
  const std::pair<std::u16string, std::u16string> cases[] = {
      {u"Cannot make a visible window modal", u"Cannot make a visible window modal."},
      {u"Failed to set data for 'USER'", u"Failed to set data for 'USER'"},  // "'" is below "."
      {u"Done.", u"Done."},
      {u"Why?", u"Why?."},   // "?" (0x3F) is above "."
      {u"x!", u"x!"},        // "!" (0x21) is below
      {u"a-", u"a-"},        // "-" (0x2D) is just below
      {u"a/", u"a/."},       // "/" (0x2F) is just above
      {u"1", u"1."},
      {u"citt\u00E0", u"citt\u00E0."},
      {u"", u""},
  };
  for (const auto& [message, expected] : cases) EXPECT_EQ(ErrorBoxText(message), expected);
}

TEST(TrayText, CutsToTheFieldWithoutSplittingASurrogatePair) {
  const std::u16string long_text(300, u'x');
  EXPECT_EQ(Truncate(long_text, kTipCapacity).size(), 127u);
  EXPECT_EQ(Truncate(long_text, kInfoTitleCapacity).size(), 63u);
  EXPECT_EQ(Truncate(long_text, kInfoCapacity).size(), 255u);
  EXPECT_EQ(Truncate(u"Qlxdrive", kTipCapacity), u"Qlxdrive");
  // 126 characters and then U+1F600 (two units): the pair would straddle the
  // limit, so the whole character goes.
  std::u16string bordo(126, u'a');
  bordo += u"\U0001F600";
  EXPECT_EQ(Truncate(bordo, kTipCapacity), std::u16string(126, u'a'));
  std::u16string dentro(125, u'a');
  dentro += u"\U0001F600";
  EXPECT_EQ(Truncate(dentro, kTipCapacity), dentro);
  EXPECT_EQ(Truncate(u"abc", 1), u"");
  EXPECT_EQ(Truncate(u"abc", 0), u"");
}

TEST(TrayText, CopiesOnlyWhenTheTextDiffers) {
  char16_t field[8] = {};
  EXPECT_TRUE(CopyIfDifferent(field, u"Lumivor"));
  EXPECT_EQ(std::u16string(field), u"Lumivor");
  EXPECT_FALSE(CopyIfDifferent(field, u"Lumivor"));
  // A shorter text leaves nothing of the longer one behind.
  EXPECT_TRUE(CopyIfDifferent(field, u"Ok"));
  EXPECT_EQ(std::u16string(field), u"Ok");
  for (std::size_t i = 2; i < 8; ++i) EXPECT_EQ(field[i], 0) << i;
  // A text cut to the field compares as cut: the same long text again is no change.
  EXPECT_TRUE(CopyIfDifferent(field, u"123456789"));
  EXPECT_EQ(std::u16string(field), u"1234567");
  EXPECT_FALSE(CopyIfDifferent(field, u"123456789"));
  EXPECT_TRUE(CopyIfDifferent(field, u""));
  EXPECT_EQ(field[0], 0);
}

// -------------------------------------------------------------- tray icon

// A shell as the icon meets it: it takes icons once it is up, refuses to add
// one it holds and to modify one it does not, and forgets them all when it
// restarts. Every request is logged, "+" for an add, "~" for a modify, "!"
// marking a balloon and "x" a refusal.
class Shell final : public NotificationArea {
 public:
  bool up = false;
  bool holds = false;
  std::vector<std::string> log;

  bool Add(bool with_balloon) override { return Take("+", with_balloon, up && !holds); }
  bool Modify(bool with_balloon) override { return Take("~", with_balloon, holds); }
  void Restart() { holds = false; }

 private:
  bool Take(std::string request, bool with_balloon, bool taken) {
    if (with_balloon) request += "!";
    if (!taken) request += "x";
    log.push_back(request);
    if (taken) holds = true;
    return taken;
  }
};

TEST(TrayIcon, AShellThatStillHoldsTheIconHasItModifiedOnce) {
  Shell shell;
  shell.up = true;
  TrayIconPlacement icon(shell);
  EXPECT_TRUE(icon.Place());
  EXPECT_THAT(shell.log, ElementsAre("+"));
  shell.log.clear();
  // A new taskbar announced while the old one keeps the icon.
  EXPECT_TRUE(icon.Place());
  EXPECT_TRUE(icon.shown());
  EXPECT_THAT(shell.log, ElementsAre("+x", "~"));
  // A restarted shell takes the add.
  shell.Restart();
  shell.log.clear();
  EXPECT_TRUE(icon.Place());
  EXPECT_THAT(shell.log, ElementsAre("+"));
}

TEST(TrayIcon, ALateShellGetsTheWaitingBalloonWithTheIconAndOnlyThen) {
  Shell shell;
  TrayIconPlacement icon(shell);
  EXPECT_FALSE(icon.Place());
  EXPECT_FALSE(icon.shown());
  // The start-up connection's outcome, before the shell takes icons: nothing
  // is sent to an icon it does not have.
  icon.ShowBalloon();
  EXPECT_TRUE(icon.balloon_waiting());
  EXPECT_FALSE(icon.Place());
  EXPECT_TRUE(icon.balloon_waiting()) << "still waiting after a refused offer";
  shell.up = true;
  EXPECT_TRUE(icon.Place());
  EXPECT_FALSE(icon.balloon_waiting());
  EXPECT_THAT(shell.log, ElementsAre("+x", "~x", "+!x", "~!x", "+!"));
  // Shown once: neither a new taskbar nor a restarted shell brings it back.
  shell.log.clear();
  icon.Place();
  shell.Restart();
  icon.Place();
  EXPECT_THAT(shell.log, ElementsAre("+x", "~", "+"));
}

TEST(TrayIcon, ABalloonGoesAtOnceToAShownIconAndWaitsWhenTheShellLostIt) {
  Shell shell;
  shell.up = true;
  TrayIconPlacement icon(shell);
  icon.Place();
  shell.log.clear();
  icon.ShowBalloon();
  EXPECT_FALSE(icon.balloon_waiting());
  EXPECT_THAT(shell.log, ElementsAre("~!"));
  // The shell went away before announcing a new taskbar: the balloon comes
  // with the icon on that taskbar.
  shell.Restart();
  shell.log.clear();
  icon.ShowBalloon();
  EXPECT_TRUE(icon.balloon_waiting());
  icon.Place();
  EXPECT_THAT(shell.log, ElementsAre("~!x", "+!"));
  EXPECT_FALSE(icon.balloon_waiting());
}

}  // namespace
}  // namespace qlx::ui

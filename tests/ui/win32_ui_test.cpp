// The program's windows on the real Win32 API (under Wine in the tests):
// the application object's loops and main-window rule, the dialog's
// controls, keyboard and actions, the tray icon's record and menu, and the
// theme's answers. The outside world (registry, processes, pauses) is the
// tests' own, handed to the application.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/application.h"
#include "base/errors.h"
#include "mapping/mapping.h"
#include "platform/context.h"
#include "platform/win32/text.h"
#include "settings/record.h"
#include "settings/store.h"
#include "tests/settings/memory_registry.h"
#include "ui/dialog.h"
#include "ui/logic.h"
#include "ui/theme.h"
#include "ui/theme_file.h"
#include "tests/mapping/doubles.h"
#include "ui/tray.h"
#include "ui/window.h"

namespace qlx {
namespace {

using ::testing::ElementsAre;
using ui::DialogPart;

// ------------------------------------------------------------------ doubles

struct Pauses final : platform::Clock {
  std::vector<std::uint32_t> log;
  void Pause(std::uint32_t ms) override { log.push_back(ms); }
};
struct NoDrives final : platform::Drives {
  std::uint32_t LogicalDriveMask() override { return 0; }
};
// Every command "runs" and exits with `exit_code`.
struct Commands final : platform::Processes {
  std::vector<std::u16string> lines;
  std::uint32_t exit_code = 2;
  platform::ProcessOutcome RunAndWait(const platform::ProcessRequest& r) override {
    lines.push_back(r.command_line);
    return {platform::ProcessOutcome::Kind::Exited, exit_code};
  }
  std::u16string SystemDirectory() override { return u"C:\\windows\\system32"; }
};
struct NoShell final : platform::Shell {
  std::uintptr_t Execute(const std::u16string&, const std::u16string&, const std::u16string&, int) override {
    ADD_FAILURE() << "no Explorer expected";
    return 0;
  }
};
struct Env final : platform::Environment {
  std::optional<std::u16string> Variable(const std::u16string&) override { return u"C:\\windows"; }
};
struct NoMessages final : platform::Messages {
  void Show(const std::u16string&, const std::u16string&, Kind) override { ADD_FAILURE() << "no message box expected"; }
  std::uint32_t LastError() override { return 0; }
  std::u16string SystemText(std::uint32_t) override { return u""; }
};

std::u16string Text(HWND window) {
  wchar_t buffer[512]{};
  const int n = GetWindowTextW(window, buffer, 512);
  return platform::U16(buffer, static_cast<std::size_t>(n));
}

std::u16string ClassOf(HWND window) {
  wchar_t buffer[64]{};
  const int n = GetClassNameW(window, buffer, 64);
  return platform::U16(buffer, static_cast<std::size_t>(n));
}

// Removes a pending quit message; true when there was one.
bool TakeQuit() {
  MSG msg;
  bool quit = false;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      quit = true;
    } else {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  return quit;
}

// Steps run from a thread timer, so that they run inside whichever loop is
// active (the modal loop, a message box's); each returns true when done.
// The whole script has a time limit: when it is hit the test fails and the
// dialog is closed so that the loop ends.
class Script {
 public:
  using Step = std::function<bool()>;
  explicit Script(std::vector<Step> steps, HWND rescue) : steps_(std::move(steps)), rescue_(rescue) {
    current_ = this;
    start_ = std::chrono::steady_clock::now();
    timer_ = SetTimer(nullptr, 0, 30, &Script::Tick);
  }
  ~Script() {
    KillTimer(nullptr, timer_);
    current_ = nullptr;
  }
  bool Finished() const { return next_ == steps_.size() && !rescuing_; }

 private:
  static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
    Script* s = current_;
    if (s == nullptr || s->busy_) return;
    s->busy_ = true;  // a step may open a loop of its own, where timers fire too
    if (s->rescuing_) {
      // Every box and every loop left running on the dialog is asked to
      // end, one a tick.
      for (HWND box = nullptr; (box = FindWindowExW(nullptr, box, L"#32770", nullptr)) != nullptr;) {
        DWORD process = 0;
        GetWindowThreadProcessId(box, &process);
        if (process == GetCurrentProcessId()) PostMessageW(box, WM_COMMAND, IDOK, 0);
      }
      PostMessageW(s->rescue_, WM_CLOSE, 0, 0);
    } else if (!s->Finished()) {
      if (s->steps_[s->next_]()) ++s->next_;
    }
    if (!s->rescuing_ && !s->Finished() && std::chrono::steady_clock::now() - s->start_ > std::chrono::seconds(15)) {
      ADD_FAILURE() << "script stuck at step " << s->next_;
      s->rescuing_ = true;
      // A loop that no close request ends still ends with the program.
      PostQuitMessage(0);
    }
    s->busy_ = false;
  }

  static inline Script* current_ = nullptr;
  std::vector<Step> steps_;
  HWND rescue_;
  std::size_t next_ = 0;
  UINT_PTR timer_ = 0;
  bool busy_ = false;
  bool rescuing_ = false;
  std::chrono::steady_clock::time_point start_;
};

// The error box the application shows: its caption and text, and a step
// that closes it.
struct SeenBox {
  std::u16string caption;
  std::u16string text;
};
Script::Step CloseErrorBox(const std::u16string& caption, std::vector<SeenBox>& seen) {
  return [caption, &seen] {
    HWND box = FindWindowW(L"#32770", platform::W(caption));
    if (box == nullptr) return false;
    seen.push_back({Text(box), Text(GetDlgItem(box, 0xFFFF))});
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    return true;
  };
}

// An error box of the application's, found by its text.
HWND FindBox(const std::u16string& text) {
  for (HWND box = nullptr; (box = FindWindowExW(nullptr, box, L"#32770", nullptr)) != nullptr;) {
    if (IsWindowVisible(box) && Text(GetDlgItem(box, 0xFFFF)) == text) return box;
  }
  return nullptr;
}

int IconWidth(HICON icon) {
  ICONINFO info{};
  if (!GetIconInfo(icon, &info)) return 0;
  BITMAP bitmap{};
  GetObjectW(info.hbmColor != nullptr ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
  if (info.hbmColor != nullptr) DeleteObject(info.hbmColor);
  if (info.hbmMask != nullptr) DeleteObject(info.hbmMask);
  return bitmap.bmWidth;
}

// ------------------------------------------------------------------ fixture

constexpr char16_t kProgram[] = u"C:\\Test\\QLXUiTest.exe";
constexpr char16_t kTitle[] = u"Qlxuitest";

class Win32Ui : public ::testing::Test {
 protected:
  void SetUp() override {
    registry.AddKey(u"Software\\Microsoft\\Windows\\CurrentVersion\\Run");
    app.emplace(Os(), GetModuleHandleW(nullptr), nullptr, Libraries());
    // The program builds the contents on the first opening; most tests look
    // at the controls before that.
    if (BuildAtStart()) app->Dialog().BuildContents();
    dialog = app->Dialog().Handle();
    TakeQuit();
  }
  virtual platform::DialogLibrariesLoader Libraries() { return &platform::DialogLibraries; }
  // The test's doubles as the application's parts; `file` names the program.
  platform::Context Os(platform::ProgramFile& file) {
    return {registry, file, pauses, drives, commands, shell, env, messages};
  }
  platform::Context Os() { return Os(program); }
  virtual bool BuildAtStart() { return true; }
  void TearDown() override {
    app.reset();
    TakeQuit();
  }

  HWND Control(DialogPart p) { return app->Dialog().Control(p); }
  HWND Tray() { return app->Tray().Handle(); }
  HWND ComboEdit() {
    COMBOBOXINFO info{};
    info.cbSize = sizeof info;
    GetComboBoxInfo(Control(DialogPart::DriveField), &info);
    return info.hwndItem;
  }
  // Stores settings as the program would.
  void Store(const std::u16string& drive, const std::u16string& user, const std::u16string& password, bool autorun,
             bool autoconnect) {
    settings::SaveSettings(registry, program, settings::ConnectionSettings{drive, user, password, autoconnect, autorun});
  }
  int ShowModalWith(std::vector<Script::Step> steps) {
    Script script(std::move(steps), dialog);
    const int result = app->Dialog().ShowModal();
    EXPECT_TRUE(script.Finished());
    return result;
  }

  test::MemoryRegistry registry;
  test::FixedProgramFile program{kProgram};
  Pauses pauses;
  NoDrives drives;
  Commands commands;
  NoShell shell;
  Env env;
  NoMessages messages;
  std::optional<app::Application> app;
  HWND dialog = nullptr;
};

// ------------------------------------------------------------ the windows

// Where a control is against where the layout puts it: exactly, except that
// a caption wider in this system's font than the design allowed for moves
// the free edge (a label's right, a check box's left) outwards.
void ExpectLaidOut(const ui::ControlLayout& c, const ui::Rect& placed, const ui::Rect& laid_out) {
  SCOPED_TRACE(testing::Message() << "part " << static_cast<int>(c.part));
  EXPECT_EQ(placed.top, laid_out.top);
  EXPECT_EQ(placed.height, laid_out.height);
  if (c.kind == ui::ControlKind::Label) {
    EXPECT_EQ(placed.left, laid_out.left);
    EXPECT_GE(placed.width, laid_out.width);
  } else if (c.kind == ui::ControlKind::CheckBox) {
    EXPECT_EQ(placed.left + placed.width, laid_out.left + laid_out.width) << "the square stays where it was";
    EXPECT_LE(placed.left, laid_out.left);
  } else {
    EXPECT_EQ(placed, laid_out);
  }
}

TEST_F(Win32Ui, WindowsAreFoundByTheirClassesAndNoneIsShownAtStart) {
  EXPECT_EQ(FindWindowW(app::kApplicationClass, nullptr) != nullptr, true);
  EXPECT_EQ(ClassOf(app->HiddenWindow()), u"QLXDriveApp");
  EXPECT_EQ(Text(app->HiddenWindow()), kTitle);
  EXPECT_EQ(ClassOf(Tray()), u"QLXDriveTray");
  EXPECT_EQ(ClassOf(dialog), u"TfmDrive");
  // The one window the mouse can be over shows the arrow there.
  EXPECT_EQ(reinterpret_cast<HCURSOR>(GetClassLongPtrW(dialog, GCLP_HCURSOR)), LoadCursorW(nullptr, IDC_ARROW));
  EXPECT_EQ(Text(dialog), u"Parametri di connessione");
  for (HWND w : {app->HiddenWindow(), Tray(), dialog}) {
    EXPECT_FALSE(IsWindowVisible(w));
    EXPECT_EQ(GetParent(w), nullptr);
    EXPECT_EQ(GetWindow(w, GW_OWNER), nullptr);
  }
  // Only the dialog ever gets a taskbar button; the hidden windows are tool windows.
  EXPECT_TRUE(GetWindowLongW(app->HiddenWindow(), GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
  EXPECT_TRUE(GetWindowLongW(Tray(), GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
  const LONG ex = GetWindowLongW(dialog, GWL_EXSTYLE);
  EXPECT_TRUE(ex & WS_EX_APPWINDOW);
  EXPECT_TRUE(ex & WS_EX_CONTROLPARENT);
  const LONG style = GetWindowLongW(dialog, GWL_STYLE);
  EXPECT_TRUE(style & WS_SYSMENU);
  EXPECT_FALSE(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME));
}

TEST_F(Win32Ui, ControlsComeInZOrderEachLabelJustBeforeItsField) {
  std::vector<std::u16string> top;
  for (HWND c = GetWindow(dialog, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) {
    top.push_back(ClassOf(c) + u":" + Text(c));
  }
  EXPECT_THAT(top, ElementsAre(u"QLXPanel:", u"Static:Utente:", u"Edit:", u"Static:Password:", u"Edit:",
                               u"Static:Drive:", u"ComboBox:", u"Button:Esecuzione automatica",
                               u"Button:Connessione automatica"));
  std::vector<std::u16string> panel;
  for (HWND c = GetWindow(Control(DialogPart::ButtonPanel), GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) {
    panel.push_back(Text(c));
  }
  EXPECT_THAT(panel, ElementsAre(u"Salva", u"Applica", u"Connetti", u"Annulla"));
  for (const auto& c : ui::DialogLayout()) {
    const int id = GetDlgCtrlID(Control(c.part));
    EXPECT_NE(id, IDOK);
    EXPECT_NE(id, IDCANCEL);
  }
}

TEST_F(Win32Ui, LayoutFontAndFieldsAtTheWindowsDpi) {
  const int dpi = static_cast<int>(ui::WindowDpi(dialog));
  RECT client{};
  GetClientRect(dialog, &client);
  EXPECT_EQ(client.right, ui::Scale(379, dpi));
  EXPECT_EQ(client.bottom, ui::Scale(192, dpi));
  for (const auto& c : ui::DialogLayout()) {
    if (c.kind == ui::ControlKind::Combo) continue;  // its window height covers the open list
    HWND h = Control(c.part);
    RECT r{};
    GetWindowRect(h, &r);
    MapWindowPoints(nullptr, GetParent(h), reinterpret_cast<POINT*>(&r), 2);
    const ui::Rect expected = c.part == DialogPart::ButtonPanel ? ui::PanelPosition(client.right, client.bottom, dpi)
                                                     : ui::Scale(c.position, dpi);
    const ui::Rect placed{r.left, r.top, r.right - r.left, r.bottom - r.top};
    ExpectLaidOut(c, placed, expected);
  }
  RECT combo{};
  GetWindowRect(Control(DialogPart::DriveField), &combo);  // the closed field
  EXPECT_EQ(combo.bottom - combo.top, ui::Scale(24, dpi))
      << "selection field " << SendMessageW(Control(DialogPart::DriveField), CB_GETITEMHEIGHT, WPARAM(-1), 0);

  LOGFONTW font{};
  ASSERT_TRUE(GetObjectW(reinterpret_cast<HFONT>(SendMessageW(Control(DialogPart::UserField), WM_GETFONT, 0, 0)),
                         sizeof font, &font));
  EXPECT_EQ(font.lfHeight, -ui::Scale(13, dpi));
  EXPECT_STREQ(font.lfFaceName, L"Tahoma");
  EXPECT_EQ(font.lfWeight, FW_NORMAL);

  EXPECT_EQ(SendMessageW(Control(DialogPart::PasswordField), EM_GETPASSWORDCHAR, 0, 0), '*');
  EXPECT_EQ(SendMessageW(Control(DialogPart::DriveField), CB_GETCOUNT, 0, 0), 26);
  for (DialogPart check_box : {DialogPart::AutoRunBox, DialogPart::AutoConnectBox}) {
    const LONG s = GetWindowLongW(Control(check_box), GWL_STYLE);
    EXPECT_EQ(s & BS_TYPEMASK, BS_AUTOCHECKBOX);
    EXPECT_TRUE(s & BS_LEFTTEXT);
  }
  for (DialogPart field : {DialogPart::UserField, DialogPart::PasswordField}) {
    EXPECT_GE(SendMessageW(Control(field), EM_GETLIMITTEXT, 0, 0), 0x7FFFFFFE) << "no length limit";
  }
  EXPECT_GE(SendMessageW(ComboEdit(), EM_GETLIMITTEXT, 0, 0), 0x7FFFFFFE) << "no length limit";
}

TEST_F(Win32Ui, ADpiChangeLaysTheDialogOutAgain) {
  const int before = static_cast<int>(ui::WindowDpi(dialog));
  for (int dpi : {144, 120, before}) {
    RECT suggested{100, 50, 100 + 600, 50 + 400};
    SendMessageW(dialog, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
    RECT client{};
    GetClientRect(dialog, &client);
    EXPECT_EQ(client.right, ui::Scale(379, dpi)) << dpi;
    EXPECT_EQ(client.bottom, ui::Scale(192, dpi)) << dpi;
    RECT window{};
    GetWindowRect(dialog, &window);
    EXPECT_EQ(window.left, 100);
    EXPECT_EQ(window.top, 50);
    for (DialogPart p : {DialogPart::UserField, DialogPart::AutoConnectBox, DialogPart::CancelButton}) {
      HWND h = Control(p);
      RECT r{};
      GetWindowRect(h, &r);
      MapWindowPoints(nullptr, GetParent(h), reinterpret_cast<POINT*>(&r), 2);
      ExpectLaidOut(ui::LayoutOf(p), ui::Rect{r.left, r.top, r.right - r.left, r.bottom - r.top},
                    ui::Scale(ui::LayoutOf(p).position, dpi));
    }
    RECT panel{};
    GetWindowRect(Control(DialogPart::ButtonPanel), &panel);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&panel), 2);
    EXPECT_EQ(panel.bottom, client.bottom) << "the button panel stays docked at " << dpi;
    EXPECT_EQ(panel.right, client.right);
    LOGFONTW font{};
    ASSERT_TRUE(GetObjectW(reinterpret_cast<HFONT>(SendMessageW(Control(DialogPart::SaveButton), WM_GETFONT, 0, 0)),
                           sizeof font, &font));
    EXPECT_EQ(font.lfHeight, -ui::Scale(13, dpi));
    RECT combo{};
    GetWindowRect(Control(DialogPart::DriveField), &combo);
    EXPECT_EQ(combo.bottom - combo.top, ui::Scale(24, dpi)) << dpi;
  }
}

// A window's changes of position or size, as its procedure receives them.
struct SeenPositions {
  HWND window;
  std::vector<WINDOWPOS> changes;
  static inline SeenPositions* current = nullptr;
  static LRESULT CALLBACK Hook(int code, WPARAM wparam, LPARAM lparam) {
    const auto* call = reinterpret_cast<const CWPSTRUCT*>(lparam);
    if (code == HC_ACTION && current != nullptr && call->hwnd == current->window &&
        call->message == WM_WINDOWPOSCHANGING) {
      const auto* pos = reinterpret_cast<const WINDOWPOS*>(call->lParam);
      if ((pos->flags & (SWP_NOMOVE | SWP_NOSIZE)) != (SWP_NOMOVE | SWP_NOSIZE)) current->changes.push_back(*pos);
    }
    return CallNextHookEx(nullptr, code, wparam, lparam);
  }
};

// The system's suggested rectangle lies on the monitor the dialog is moving
// to: a resize at the old position, or a move at the old size, first, can
// put the window back on the old monitor and flip its scale back.
TEST_F(Win32Ui, ADpiChangeTakesTheSuggestedRectangleInOneStep) {
  SeenPositions record{dialog, {}};
  SeenPositions::current = &record;
  HHOOK hook = SetWindowsHookExW(WH_CALLWNDPROC, &SeenPositions::Hook, nullptr, GetCurrentThreadId());
  ASSERT_NE(hook, nullptr);
  RECT window{};
  GetWindowRect(dialog, &window);
  // As the system suggests it: elsewhere, and the whole window scaled.
  RECT suggested{window.left + 300, window.top + 40, window.left + 300 + (window.right - window.left) * 3 / 2,
                 window.top + 40 + (window.bottom - window.top) * 3 / 2};
  SendMessageW(dialog, WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
  UnhookWindowsHookEx(hook);
  SeenPositions::current = nullptr;
  ASSERT_FALSE(record.changes.empty());
  const WINDOWPOS& first = record.changes.front();
  EXPECT_EQ(first.flags & (SWP_NOMOVE | SWP_NOSIZE), 0u) << "position and size in one call";
  EXPECT_EQ(first.x, suggested.left);
  EXPECT_EQ(first.y, suggested.top);
  EXPECT_EQ(first.cx, suggested.right - suggested.left);
  EXPECT_EQ(first.cy, suggested.bottom - suggested.top);
  for (const WINDOWPOS& later : record.changes) {
    if (later.flags & SWP_NOMOVE) continue;
    EXPECT_EQ(later.x, suggested.left) << "never back at another position";
    EXPECT_EQ(later.y, suggested.top);
  }
  // The frame the system keeps may differ from its suggestion: the client
  // area is still the laid-out one.
  RECT client{};
  GetClientRect(dialog, &client);
  EXPECT_EQ(client.right, ui::Scale(379, 144));
  EXPECT_EQ(client.bottom, ui::Scale(192, 144));
  GetWindowRect(dialog, &window);
  EXPECT_EQ(window.left, suggested.left);
  EXPECT_EQ(window.top, suggested.top);
}

// The captions are measured in the font each control was given: whatever
// this system's Tahoma looks like, none is cut, and a grown control still
// keeps clear of its neighbour.
TEST_F(Win32Ui, EveryCaptionIsWholeAtEveryDpi) {
  const int before = static_cast<int>(ui::WindowDpi(dialog));
  for (int dpi : {96, 120, 144, 192, before}) {
    RECT suggested{100, 50, 100 + 800, 50 + 500};
    SendMessageW(dialog, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
    RECT drive{};
    GetWindowRect(Control(DialogPart::DriveField), &drive);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&drive), 2);
    RECT user_field{};
    GetWindowRect(Control(DialogPart::UserField), &user_field);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&user_field), 2);
    for (const auto& c : ui::DialogLayout()) {
      if (c.kind != ui::ControlKind::Label && c.kind != ui::ControlKind::CheckBox) continue;
      SCOPED_TRACE(testing::Message() << "part " << static_cast<int>(c.part) << " at " << dpi);
      HWND h = Control(c.part);
      const platform::unique_hdc_window dc = platform::unique_hdc_window::Client(h);
      const platform::unique_select_object font(dc.get(), reinterpret_cast<HGDIOBJ>(SendMessageW(h, WM_GETFONT, 0, 0)));
      const std::wstring text(c.text.begin(), c.text.end());
      SIZE extent{};
      ASSERT_TRUE(GetTextExtentPoint32W(dc.get(), text.c_str(), static_cast<int>(text.size()), &extent));
      RECT r{};
      GetWindowRect(h, &r);
      MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
      if (c.kind == ui::ControlKind::Label) {
        EXPECT_GE(r.right - r.left, extent.cx);
        EXPECT_LT(r.right, user_field.left) << "the label stays clear of the fields";
      } else {
        const int box = ui::Scale(ui::kCheckBoxSide, dpi) + ui::Scale(ui::kCheckBoxGap, dpi);
        EXPECT_GE(r.right - r.left - box, extent.cx);
        EXPECT_GT(r.left, drive.right) << "the check box stays clear of the drive field";
      }
    }
    RECT run{};
    RECT connect{};
    GetWindowRect(Control(DialogPart::AutoRunBox), &run);
    GetWindowRect(Control(DialogPart::AutoConnectBox), &connect);
    EXPECT_EQ(run.left, connect.left) << "the check boxes' captions line up at " << dpi;
    EXPECT_EQ(run.right, connect.right) << "and so do their squares";
  }
}

TEST_F(Win32Ui, TabWalksTheButtonsThenTheFieldsAndBack) {
  ShowWindow(dialog, SW_SHOWNA);
  std::vector<HWND> walk;
  HWND at = Control(DialogPart::SaveButton);
  for (int i = 0; i < 10; ++i) {
    walk.push_back(at);
    at = GetNextDlgTabItem(dialog, at, FALSE);
  }
  ShowWindow(dialog, SW_HIDE);
  EXPECT_THAT(walk, ElementsAre(Control(DialogPart::SaveButton), Control(DialogPart::ApplyButton), Control(DialogPart::ConnectButton),
                                Control(DialogPart::CancelButton), Control(DialogPart::UserField), Control(DialogPart::PasswordField),
                                Control(DialogPart::DriveField), Control(DialogPart::AutoRunBox), Control(DialogPart::AutoConnectBox),
                                Control(DialogPart::SaveButton)));
}

TEST_F(Win32Ui, TypingInTheDriveFieldCompletesButDeletingDoesNot) {
  HWND edit = ComboEdit();
  ASSERT_NE(edit, nullptr);
  SendMessageW(edit, WM_CHAR, 'z', 0);
  EXPECT_EQ(Text(Control(DialogPart::DriveField)), u"z:");
  DWORD from = 0, to = 0;
  SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&from), reinterpret_cast<LPARAM>(&to));
  EXPECT_EQ(from, 1u);
  EXPECT_EQ(to, 2u);
  // Backspace removes the selected colon, and nothing puts it back.
  SendMessageW(edit, WM_CHAR, VK_BACK, 0);
  EXPECT_EQ(Text(Control(DialogPart::DriveField)), u"z");
  // A typed colon after it: an entry, nothing to add.
  SendMessageW(edit, WM_CHAR, ':', 0);
  EXPECT_EQ(Text(Control(DialogPart::DriveField)), u"z:");
  // Text that no entry begins with stays as typed.
  SendMessageW(edit, WM_CHAR, 'x', 0);
  EXPECT_EQ(Text(Control(DialogPart::DriveField)), u"z:x");
}

// -------------------------------------------------------- the modal loop

TEST_F(Win32Ui, ClosingTheDialogEndsOnlyItsLoop) {
  for (UINT how : {0u, 1u, 2u}) {
    const int result = ShowModalWith({[&] {
      EXPECT_TRUE(IsWindowVisible(dialog));
      if (how == 0) PostMessageW(dialog, WM_CLOSE, 0, 0);
      if (how == 1) PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
      if (how == 2) SendMessageW(Control(DialogPart::CancelButton), BM_CLICK, 0, 0);
      return true;
    }});
    EXPECT_EQ(result, IDCANCEL) << how;
    EXPECT_FALSE(IsWindowVisible(dialog));
    EXPECT_FALSE(TakeQuit()) << "closing the dialog must not end the program (" << how << ")";
  }
}

TEST_F(Win32Ui, TheTrayAndApplicationWindowsStayEnabledWhileTheDialogIsOpen) {
  ShowModalWith({[&] {
    EXPECT_TRUE(IsWindowEnabled(Tray()));
    EXPECT_TRUE(IsWindowEnabled(app->HiddenWindow()));
    EXPECT_TRUE(IsWindowEnabled(dialog));
    PostMessageW(dialog, WM_CLOSE, 0, 0);
    return true;
  }});
}

TEST_F(Win32Ui, EnterAndEscInFieldsDoNothingEnterOnAButtonClicksIt) {
  int step = 0;
  const int result = ShowModalWith({
      [&] {
        SetFocus(Control(DialogPart::UserField));
        PostMessageW(Control(DialogPart::UserField), WM_KEYDOWN, VK_RETURN, 0);
        PostMessageW(Control(DialogPart::UserField), WM_KEYDOWN, VK_ESCAPE, 0);
        return true;
      },
      [&] {
        // Both keys went through the loop; the dialog is still open.
        if (++step < 3) return false;
        EXPECT_TRUE(IsWindowVisible(dialog));
        SetFocus(Control(DialogPart::CancelButton));
        PostMessageW(Control(DialogPart::CancelButton), WM_KEYDOWN, VK_RETURN, 0);
        return true;
      },
  });
  EXPECT_EQ(result, IDCANCEL);
  EXPECT_FALSE(IsWindowVisible(dialog));
}

TEST_F(Win32Ui, FocusStartsOnSalvaAndIsKeptBetweenOpenings) {
  ShowModalWith({[&] {
    EXPECT_EQ(GetFocus(), Control(DialogPart::SaveButton));
    SetFocus(Control(DialogPart::PasswordField));
    PostMessageW(dialog, WM_CLOSE, 0, 0);
    return true;
  }});
  ShowModalWith({[&] {
    EXPECT_EQ(GetFocus(), Control(DialogPart::PasswordField));
    PostMessageW(dialog, WM_CLOSE, 0, 0);
    return true;
  }});
}

TEST_F(Win32Ui, OpensCentredOnTheDesktopOnceThenWhereItWasLeft) {
  RECT first{};
  ShowModalWith({[&] {
    GetWindowRect(dialog, &first);
    SetWindowPos(dialog, nullptr, 10, 20, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    PostMessageW(dialog, WM_CLOSE, 0, 0);
    return true;
  }});
  const ui::Rect desktop{GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN),
                         GetSystemMetrics(SM_CXVIRTUALSCREEN), GetSystemMetrics(SM_CYVIRTUALSCREEN)};
  const ui::Point centre = ui::CentreOnDesktop(desktop, first.right - first.left, first.bottom - first.top);
  EXPECT_EQ(first.left, centre.x);
  EXPECT_EQ(first.top, centre.y);
  ShowModalWith({[&] {
    RECT again{};
    GetWindowRect(dialog, &again);
    EXPECT_EQ(again.left, 10);
    EXPECT_EQ(again.top, 20);
    PostMessageW(dialog, WM_CLOSE, 0, 0);
    return true;
  }});
}

TEST_F(Win32Ui, ParametriWhileOpenShowsTheErrorBoxAndLeavesTheDialogAsItIs) {
  std::vector<SeenBox> seen;
  // Asked directly: the refusal is an error with the fixed text.
  ShowWindow(dialog, SW_SHOWNA);
  std::string why;
  try {
    app->Dialog().ShowModal();
  } catch (const Error& e) {
    why = e.what();
  }
  ShowWindow(dialog, SW_HIDE);
  EXPECT_EQ(why, "Cannot make a visible window modal");
  // From the tray menu while the dialog is open: the error box.
  const int result = ShowModalWith({
      [&] {
        SetWindowTextW(Control(DialogPart::UserField), L"in corso");
        PostMessageW(Tray(), WM_COMMAND, ui::kOpenSettingsCommand, 0);
        return true;
      },
      CloseErrorBox(kTitle, seen),
      [&] {
        if (FindWindowW(L"#32770", platform::W(std::u16string(kTitle))) != nullptr) return false;
        EXPECT_TRUE(IsWindowVisible(dialog));
        EXPECT_EQ(Text(Control(DialogPart::UserField)), u"in corso");
        PostMessageW(dialog, WM_CLOSE, 0, 0);
        return true;
      },
  });
  EXPECT_EQ(result, IDCANCEL);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].caption, kTitle);
  EXPECT_EQ(seen[0].text, u"Cannot make a visible window modal.");
  EXPECT_FALSE(TakeQuit());
}

TEST_F(Win32Ui, EsciWhileOpenDisconnectsEndsTheDialogAndThenTheProgram) {
  Store(u"Q:", u"mario", u"pw", false, false);
  const int result = ShowModalWith({[&] {
    PostMessageW(Tray(), WM_COMMAND, ui::kExitCommand, 0);
    return true;
  }});
  EXPECT_EQ(result, IDCANCEL);
  EXPECT_FALSE(IsWindowVisible(dialog));
  ASSERT_FALSE(commands.lines.empty());
  EXPECT_EQ(commands.lines.back().substr(0, 8), u"NET USE ");
  EXPECT_NE(commands.lines.back().find(u"/DELETE"), std::u16string::npos);
  EXPECT_TRUE(TakeQuit()) << "the quit message must reach the outer loop";
}

TEST_F(Win32Ui, CloseRequestsOutsideTheModalLoop) {
  // The tray's and the application's windows ignore them.
  SendMessageW(Tray(), WM_CLOSE, 0, 0);
  SendMessageW(app->HiddenWindow(), WM_CLOSE, 0, 0);
  EXPECT_TRUE(IsWindow(Tray()));
  EXPECT_TRUE(IsWindow(app->HiddenWindow()));
  EXPECT_FALSE(TakeQuit());
  // The hidden dialog is the main window: its close request ends the
  // program, and nothing is disconnected.
  app->Settings().drive = u"Q:";
  SendMessageW(dialog, WM_CLOSE, 0, 0);
  EXPECT_TRUE(IsWindow(dialog));
  EXPECT_TRUE(TakeQuit());
  EXPECT_TRUE(commands.lines.empty());
}

TEST_F(Win32Ui, TheSessionsEndIsConsentedTo) {
  EXPECT_EQ(SendMessageW(Tray(), WM_QUERYENDSESSION, 0, 0), TRUE);
  EXPECT_EQ(SendMessageW(app->HiddenWindow(), WM_QUERYENDSESSION, 0, 0), TRUE);
  EXPECT_EQ(SendMessageW(dialog, WM_QUERYENDSESSION, 0, 0), TRUE);
}

// ----------------------------------------------------------- the actions

TEST_F(Win32Ui, OpeningShowsTheStoredValues) {
  Store(u"Q:", u"mario.rossi", u"segreto", true, false);
  ShowModalWith({[&] {
    EXPECT_EQ(Text(Control(DialogPart::UserField)), u"mario.rossi");
    EXPECT_EQ(Text(Control(DialogPart::PasswordField)), u"segreto");
    EXPECT_EQ(Text(Control(DialogPart::DriveField)), u"Q:");
    EXPECT_EQ(SendMessageW(Control(DialogPart::AutoRunBox), BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(SendMessageW(Control(DialogPart::AutoConnectBox), BM_GETCHECK, 0, 0), BST_UNCHECKED);
    PostMessageW(dialog, WM_CLOSE, 0, 0);
    return true;
  }});
}

TEST_F(Win32Ui, ALoadErrorOnOpeningIsShownAndTheDialogOpensAllTheSame) {
  // USER of a non-text type cannot be read.
  registry.SetRaw(u"Software\\PELMORA\\QLXDrive", u"USER", platform::regtype::kDword, {1, 0, 0, 0});
  SetWindowTextW(Control(DialogPart::UserField), L"prima");
  std::vector<SeenBox> seen;
  const int result = ShowModalWith({
      CloseErrorBox(kTitle, seen),
      [&] {
        if (!IsWindowVisible(dialog)) return false;
        EXPECT_EQ(Text(Control(DialogPart::UserField)), u"prima");
        PostMessageW(dialog, WM_CLOSE, 0, 0);
        return true;
      },
  });
  EXPECT_EQ(result, IDCANCEL);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].text, u"Invalid data type for 'USER'");  // "'" is below ".": nothing appended
}

// ------------------------------------------------- contents on first opening

// The dialog's libraries: the first `failures` loads fail as a missing
// library does, the later ones load them.
int failures = 0;
int loads = 0;
const platform::DialogFunctions& FailingLibraries() {
  ++loads;
  if (failures > 0) {
    --failures;
    throw Error("Cannot load the system library comctl32.dll (error 126)");
  }
  return platform::DialogLibraries();
}

class Win32UiFirstOpening : public Win32Ui {
 protected:
  void SetUp() override {
    failures = 0;
    loads = 0;
    Win32Ui::SetUp();
  }
  platform::DialogLibrariesLoader Libraries() override { return &FailingLibraries; }
  bool BuildAtStart() override { return false; }

  // Runs the loop as the program does, with the script's steps, until they
  // are done (or their time is up).
  void RunLoopWith(std::vector<Script::Step> steps) {
    bool done = false;
    steps.push_back([&] { return done = true; });
    Script script(std::move(steps), dialog);
    MSG msg{};
    while (!done && GetMessageW(&msg, nullptr, 0, 0) > 0) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    EXPECT_TRUE(script.Finished());
  }
};

TEST_F(Win32UiFirstOpening, TheDialogIsAnEmptyWindowUntilOpenedThenShowsTheValuesLoadedAtStart) {
  Store(u"Q:", u"mario.rossi", u"segreto", true, false);
  app->Start();
  // The main window exists for close requests; nothing else of the dialog does.
  EXPECT_TRUE(IsWindow(dialog));
  EXPECT_EQ(GetWindow(dialog, GW_CHILD), nullptr);
  EXPECT_FALSE(app->Dialog().ContentsBuilt());
  EXPECT_EQ(loads, 0);
  EXPECT_EQ(app->Dialog().Read().user, u"mario.rossi");
  // Unreadable by the opening's load: the dialog must show what start loaded.
  registry.SetRaw(u"Software\\PELMORA\\QLXDrive", u"USER", platform::regtype::kDword, {1, 0, 0, 0});

  std::vector<SeenBox> seen;
  RunLoopWith({
      [&] { return PostMessageW(Tray(), WM_COMMAND, ui::kOpenSettingsCommand, 0) != FALSE; },
      CloseErrorBox(kTitle, seen),
      [&] {
        if (!IsWindowVisible(dialog)) return false;
        EXPECT_EQ(loads, 1);
        EXPECT_EQ(Text(Control(DialogPart::UserField)), u"mario.rossi");
        EXPECT_EQ(Text(Control(DialogPart::PasswordField)), u"segreto");
        EXPECT_EQ(Text(Control(DialogPart::DriveField)), u"Q:");
        EXPECT_EQ(SendMessageW(Control(DialogPart::AutoRunBox), BM_GETCHECK, 0, 0), BST_CHECKED);
        EXPECT_EQ(SendMessageW(Control(DialogPart::AutoConnectBox), BM_GETCHECK, 0, 0), BST_UNCHECKED);
        EXPECT_EQ(GetFocus(), Control(DialogPart::SaveButton));
        PostMessageW(dialog, WM_CLOSE, 0, 0);
        return true;
      },
      [&] { return !IsWindowVisible(dialog); },
  });
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].text, u"Invalid data type for 'USER'");
  EXPECT_FALSE(TakeQuit());
}

TEST_F(Win32UiFirstOpening, LibrariesThatFailToLoadAreAnErrorBoxAndTheNextOpeningTriesAgain) {
  Store(u"Q:", u"mario", u"pw", false, false);
  app->Start();
  failures = 1;
  std::vector<SeenBox> seen;
  RunLoopWith({
      [&] { return PostMessageW(Tray(), WM_COMMAND, ui::kOpenSettingsCommand, 0) != FALSE; },
      CloseErrorBox(kTitle, seen),
      [&] {
        // Back in the program's loop, no dialog, no half-built contents.
        if (FindWindowW(L"#32770", platform::W(std::u16string(kTitle))) != nullptr) return false;
        EXPECT_FALSE(IsWindowVisible(dialog));
        EXPECT_FALSE(app->Dialog().ContentsBuilt());
        EXPECT_EQ(GetWindow(dialog, GW_CHILD), nullptr);
        EXPECT_TRUE(IsWindowEnabled(Tray()));
        return true;
      },
      // The program goes on: the tray opens the dialog again, now whole.
      [&] { return PostMessageW(Tray(), WM_COMMAND, ui::kOpenSettingsCommand, 0) != FALSE; },
      [&] {
        if (!IsWindowVisible(dialog)) return false;
        EXPECT_EQ(loads, 2);
        EXPECT_EQ(Text(Control(DialogPart::UserField)), u"mario");
        EXPECT_EQ(SendMessageW(Control(DialogPart::DriveField), CB_GETCOUNT, 0, 0), 26);
        SendMessageW(Control(DialogPart::CancelButton), BM_CLICK, 0, 0);
        return true;
      },
      [&] { return !IsWindowVisible(dialog); },
  });
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].text, u"Cannot load the system library comctl32.dll (error 126)");
  EXPECT_FALSE(TakeQuit()) << "a failed opening must not end the program";
  // Later openings do not load again.
  ShowModalWith({[&] {
    PostMessageW(dialog, WM_CLOSE, 0, 0);
    return true;
  }});
  EXPECT_EQ(loads, 2);
}

TEST_F(Win32Ui, SalvaStoresTheFieldsAsTypedAndCloses) {
  const int result = ShowModalWith({[&] {
    SetWindowTextW(Control(DialogPart::UserField), L" luigi ");
    SetWindowTextW(Control(DialogPart::PasswordField), L"a b\"c");
    SetWindowTextW(Control(DialogPart::DriveField), L"k");
    SendMessageW(Control(DialogPart::AutoConnectBox), BM_SETCHECK, BST_CHECKED, 0);
    SendMessageW(Control(DialogPart::SaveButton), BM_CLICK, 0, 0);
    return true;
  }});
  EXPECT_EQ(result, IDCANCEL);
  EXPECT_FALSE(IsWindowVisible(dialog));
  const auto memory = app->Settings();
  EXPECT_EQ(memory.user, u" luigi ");
  EXPECT_EQ(memory.password, u"a b\"c");
  EXPECT_EQ(memory.drive, u"k");
  EXPECT_TRUE(memory.auto_connect);
  EXPECT_FALSE(memory.auto_run);
  settings::ConnectionSettings stored;
  settings::LoadSettings(registry, stored);
  EXPECT_EQ(stored.user, u" luigi ");
  EXPECT_EQ(stored.drive, u"k");
  EXPECT_TRUE(stored.auto_connect);
}

TEST_F(Win32Ui, AFailedSaveIsShownAndTheDialogStaysOpen) {
  registry.fail_set_at = 1;
  std::vector<SeenBox> seen;
  const int result = ShowModalWith({
      [&] {
        SetWindowTextW(Control(DialogPart::UserField), L"anna");
        PostMessageW(Control(DialogPart::SaveButton), BM_CLICK, 0, 0);
        return true;
      },
      CloseErrorBox(kTitle, seen),
      [&] {
        if (FindWindowW(L"#32770", platform::W(std::u16string(kTitle))) != nullptr) return false;
        EXPECT_TRUE(IsWindowVisible(dialog));
        PostMessageW(dialog, WM_CLOSE, 0, 0);
        return true;
      },
  });
  EXPECT_EQ(result, IDCANCEL);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].text, u"Failed to set data for 'PATHDRIVE'");
  EXPECT_EQ(app->Settings().user, u"anna") << "the settings hold the dialog's values";
}

TEST_F(Win32Ui, ConnettiUsesTheStoredValuesNotTheEdits) {
  Store(u"Q:", u"mario", u"pw", false, false);
  ShowModalWith({[&] {
    SetWindowTextW(Control(DialogPart::UserField), L"modificato");
    SendMessageW(Control(DialogPart::ConnectButton), BM_CLICK, 0, 0);
    EXPECT_EQ(Text(Control(DialogPart::UserField)), u"mario");
    EXPECT_TRUE(IsWindowVisible(dialog));
    PostMessageW(dialog, WM_CLOSE, 0, 0);
    return true;
  }});
  ASSERT_EQ(commands.lines.size(), 2u);
  EXPECT_NE(commands.lines[0].find(u"/DELETE"), std::u16string::npos);
  EXPECT_NE(commands.lines[1].find(u"/user:mario@"), std::u16string::npos);
  EXPECT_THAT(pauses.log, ElementsAre(10u, 10u)) << "no pause between the two commands beyond the runner's own";
}

TEST_F(Win32Ui, ApplicaThenAnnullaKeepsTheAppliedValues) {
  ShowModalWith({[&] {
    SetWindowTextW(Control(DialogPart::UserField), L"applicato");
    SendMessageW(Control(DialogPart::ApplyButton), BM_CLICK, 0, 0);
    EXPECT_TRUE(IsWindowVisible(dialog));
    SetWindowTextW(Control(DialogPart::UserField), L"annullato");
    SendMessageW(Control(DialogPart::CancelButton), BM_CLICK, 0, 0);
    return true;
  }});
  ShowModalWith({[&] {
    EXPECT_EQ(Text(Control(DialogPart::UserField)), u"applicato");
    PostMessageW(dialog, WM_CLOSE, 0, 0);
    return true;
  }});
}

// ----------------------------------------------------------------- the tray

TEST_F(Win32Ui, TheIconsRecordIsFilledForTheShell) {
  const NOTIFYICONDATAW& r = app->Tray().Record();
  EXPECT_EQ(r.cbSize, sizeof(NOTIFYICONDATAW));
  EXPECT_EQ(r.hWnd, Tray());
  EXPECT_EQ(r.uID, static_cast<UINT>(reinterpret_cast<UINT_PTR>(Tray())));
  EXPECT_EQ(r.uCallbackMessage, static_cast<UINT>(WM_USER + 1));
  EXPECT_EQ(r.uFlags, static_cast<UINT>(NIF_MESSAGE | NIF_ICON | NIF_TIP));
  EXPECT_STREQ(r.szTip, L"Qlxuitest");
  EXPECT_EQ(r.uTimeout, 10000u);
  EXPECT_NE(r.hIcon, nullptr);
}

TEST_F(Win32Ui, ABalloonIsFlaggedUntilTheShellHidesIt) {
  app->Tray().ShowBalloon(u"Connessione effettuata con successo");
  const NOTIFYICONDATAW& r = app->Tray().Record();
  EXPECT_TRUE(r.uFlags & NIF_INFO);
  EXPECT_EQ(r.dwInfoFlags, static_cast<DWORD>(NIIF_INFO));
  EXPECT_STREQ(r.szInfoTitle, L"Lumivor");
  EXPECT_STREQ(r.szInfo, L"Connessione effettuata con successo");
  for (LPARAM hidden : {LPARAM(NIN_BALLOONTIMEOUT), LPARAM(NIN_BALLOONHIDE)}) {
    app->Tray().ShowBalloon(u"Errore nella connessione");
    EXPECT_TRUE(r.uFlags & NIF_INFO);
    EXPECT_STREQ(r.szInfo, L"Errore nella connessione");
    SendMessageW(Tray(), WM_USER + 1, r.uID, hidden);
    EXPECT_FALSE(r.uFlags & NIF_INFO);
  }
  // A text longer than the field is cut to 255 characters.
  app->Tray().ShowBalloon(std::u16string(300, u'x'));
  EXPECT_EQ(std::wstring(r.szInfo).size(), 255u);
}

TEST_F(Win32Ui, TheMenuHasItsSixEntries) {
  HMENU menu = app->Tray().Menu();
  ASSERT_EQ(GetMenuItemCount(menu), 6);
  std::vector<std::u16string> items;
  for (int i = 0; i < 6; ++i) {
    MENUITEMINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STATE;
    ASSERT_TRUE(GetMenuItemInfoW(menu, i, TRUE, &info));
    if (info.fType & MFT_SEPARATOR) {
      items.push_back(u"-");
      continue;
    }
    EXPECT_FALSE(info.fState & (MFS_CHECKED | MFS_DISABLED | MFS_DEFAULT)) << i;
    wchar_t text[64]{};
    GetMenuStringW(menu, i, text, 64, MF_BYPOSITION);
    items.push_back(platform::U16(text, wcslen(text)) + u"=" +
                    std::u16string(1, static_cast<char16_t>(u'0' + info.wID - ui::kOpenSettingsCommand)));
  }
  EXPECT_THAT(items, ElementsAre(u"Parametri=0", u"-", u"Connetti=1", u"Disconnetti=2", u"-", u"Esci=3"));
}

TEST_F(Win32Ui, TrayConnettiWithNothingStoredReportsTheFailure) {
  SendMessageW(Tray(), WM_COMMAND, ui::kConnectCommand, 0);
  EXPECT_TRUE(commands.lines.empty());
  EXPECT_THAT(pauses.log, ElementsAre(1000u));
  EXPECT_STREQ(app->Tray().Record().szInfo, L"Errore nella connessione");
  EXPECT_FALSE(TakeQuit());
}

TEST_F(Win32Ui, DisconnettiWithNoDriveRunsNothing) {
  SendMessageW(Tray(), WM_COMMAND, ui::kDisconnectCommand, 0);
  EXPECT_TRUE(commands.lines.empty());
  EXPECT_FALSE(app->Tray().Record().uFlags & NIF_INFO);
}

// The opening error box runs a loop of its own, in which the tray's
// commands are dispatched; "Parametri" there must not start a second modal
// loop on the dialog, which its buttons could never end.
TEST_F(Win32Ui, ParametriWhileTheOpeningErrorBoxIsUpIsRefused) {
  registry.SetRaw(u"Software\\PELMORA\\QLXDrive", u"USER", platform::regtype::kDword, {1, 0, 0, 0});
  std::vector<std::u16string> texts;
  Script script(
      {
          [&] {
            if (FindBox(u"Invalid data type for 'USER'") == nullptr) return false;
            PostMessageW(Tray(), WM_COMMAND, ui::kOpenSettingsCommand, 0);
            return true;
          },
          [&] {
            // The second box, whichever it is, is the newest one.
            HWND second = nullptr;
            for (HWND box = nullptr; (box = FindWindowExW(nullptr, box, L"#32770", nullptr)) != nullptr;) {
              if (Text(box) == kTitle && IsWindowVisible(box)) {
                if (second == nullptr) second = box;
              }
            }
            HWND first = FindBox(u"Invalid data type for 'USER'");
            if (second == nullptr || second == first) return false;
            texts.push_back(Text(GetDlgItem(second, 0xFFFF)));
            PostMessageW(second, WM_COMMAND, IDOK, 0);
            return true;
          },
          [&] {
            HWND first = FindBox(u"Invalid data type for 'USER'");
            if (first != nullptr) {
              PostMessageW(first, WM_COMMAND, IDOK, 0);
              return false;
            }
            if (!IsWindowVisible(dialog)) return false;
            PostMessageW(dialog, WM_CLOSE, 0, 0);
            return true;
          },
      },
      dialog);
  app->Controller().OpenSettings();
  EXPECT_TRUE(script.Finished());
  EXPECT_THAT(texts, ElementsAre(u"Cannot make a visible window modal."));
  EXPECT_FALSE(IsWindowVisible(dialog)) << "one close ended the one loop";
  EXPECT_FALSE(TakeQuit());
}

// The dialog itself refuses a second loop while its opening box is up,
// before it is visible, whoever asks: the controller's flag is not its
// only guard.
TEST_F(Win32Ui, TheDialogRefusesASecondLoopBeforeItIsVisible) {
  registry.SetRaw(u"Software\\PELMORA\\QLXDrive", u"USER", platform::regtype::kDword, {1, 0, 0, 0});
  std::string why;
  ShowModalWith({
      [&] {
        HWND box = FindBox(u"Invalid data type for 'USER'");
        if (box == nullptr) return false;
        EXPECT_FALSE(IsWindowVisible(dialog));
        try {
          app->Dialog().ShowModal();
        } catch (const Error& e) {
          why = e.what();
        }
        PostMessageW(box, WM_COMMAND, IDOK, 0);
        return true;
      },
      [&] {
        if (!IsWindowVisible(dialog)) return false;
        PostMessageW(dialog, WM_CLOSE, 0, 0);
        return true;
      },
  });
  EXPECT_EQ(why, "Cannot make a visible window modal");
  EXPECT_FALSE(IsWindowVisible(dialog));
  EXPECT_FALSE(TakeQuit());
}

TEST_F(Win32Ui, TheTrayIconIsLoadedAtTheSmallIconSizeOfTheDpi) {
  EXPECT_EQ(ui::SmallIconSize(96), 16);
  EXPECT_EQ(ui::SmallIconSize(144), 24);
  for (UINT dpi : {96u, 120u, 144u, 192u}) {
    const platform::unique_hicon icon = ui::LoadTrayIcon(GetModuleHandleW(nullptr), dpi);
    ASSERT_TRUE(icon) << dpi;
    EXPECT_EQ(IconWidth(icon.get()), ui::SmallIconSize(dpi)) << dpi;
  }
  EXPECT_EQ(IconWidth(app->Tray().Record().hIcon), ui::SmallIconSize(ui::WindowDpi(Tray())));
}

TEST_F(Win32Ui, AProgramPathThatCannotBeReadStillGivesATrayAndADialog) {
  app.reset();
  test::FailingProgramFile failing;
  ASSERT_NO_THROW(app.emplace(Os(failing), GetModuleHandleW(nullptr), nullptr));
  EXPECT_EQ(app->Tray().Record().uFlags, static_cast<UINT>(NIF_MESSAGE | NIF_ICON)) << "no title, no tooltip";
  EXPECT_EQ(Text(app->HiddenWindow()), u"");
  app.reset();
}

// A stand-in for the shell's taskbar in this process: the system hands it
// every icon request, and it takes or refuses them as the test says. Like
// the shell's, it refuses to add an icon it holds and to modify one it
// does not.
class FakeTaskbar {
 public:
  FakeTaskbar() {
    WNDCLASSW window_class{};
    window_class.lpfnWndProc = &FakeTaskbar::Procedure;
    window_class.hInstance = GetModuleHandleW(nullptr);
    window_class.lpszClassName = L"Shell_TrayWnd";
    RegisterClassW(&window_class);
    current_ = this;
    window_ = CreateWindowExW(0, L"Shell_TrayWnd", L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
  }
  ~FakeTaskbar() {
    DestroyWindow(window_);
    current_ = nullptr;
  }
  bool Found() const { return window_ != nullptr && FindWindowExW(nullptr, nullptr, L"Shell_TrayWnd", nullptr) == window_; }
  // A restarted shell's new taskbar knows no icons.
  void Restart() { held_.clear(); }
  bool Holds() const { return !held_.empty(); }

  bool take = false;
  int adds = 0;          // add requests, taken or not
  int taken = 0;         // adds taken
  int modifies = 0;      // modifies of a held icon
  int icons = 0;         // taken requests that carry an image
  int balloons = 0;      // taken requests that carry a balloon

 private:
  bool Handle(DWORD request, const COPYDATASTRUCT& data) {
    // Wine's request starts with the record's window, identifier and
    // flags, 32 bits each.
    if (data.cbData < 3 * sizeof(std::uint32_t)) return false;
    const auto* fields = static_cast<const std::uint32_t*>(data.lpData);
    const std::pair<std::uint32_t, std::uint32_t> id{fields[0], fields[1]};
    const bool held = std::find(held_.begin(), held_.end(), id) != held_.end();
    switch (request) {
      case NIM_ADD:
        ++adds;
        if (!take || held) return false;
        held_.push_back(id);
        ++taken;
        break;
      case NIM_MODIFY:
        if (!held) return false;
        ++modifies;
        break;
      case NIM_DELETE:
        held_.erase(std::remove(held_.begin(), held_.end(), id), held_.end());
        return held;
      default:
        return held;
    }
    if (fields[2] & NIF_ICON) ++icons;
    if (fields[2] & NIF_INFO) ++balloons;
    return true;
  }
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_COPYDATA && current_ != nullptr) {
      const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lparam);
      return current_->Handle(static_cast<DWORD>(data->dwData), *data) ? TRUE : FALSE;
    }
    return DefWindowProcW(window, message, wparam, lparam);
  }
  static inline FakeTaskbar* current_ = nullptr;
  HWND window_ = nullptr;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> held_;
};

// Dispatches messages until `done` holds or `seconds` have passed.
bool PumpUntil(const std::function<bool()>& done, int seconds) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) continue;
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  return true;
}

TEST_F(Win32Ui, AnIconTheShellRefusedIsOfferedAgainUntilItIsTaken) {
  app.reset();
  FakeTaskbar taskbar;
  if (!taskbar.Found()) GTEST_SKIP() << "another taskbar window answers first here";
  app.emplace(Os(), GetModuleHandleW(nullptr), nullptr, Libraries());
  EXPECT_FALSE(app->Tray().Shown());
  ASSERT_TRUE(PumpUntil([&] { return taskbar.adds >= 2; }, 10)) << "no second offer";
  EXPECT_FALSE(app->Tray().Shown());
  taskbar.take = true;
  ASSERT_TRUE(PumpUntil([&] { return app->Tray().Shown(); }, 10)) << "the icon never reached the shell";
  const int offers = taskbar.adds;
  // Taken: the offers stop.
  PumpUntil([] { return false; }, 2);
  EXPECT_EQ(taskbar.adds, offers);
  // A new taskbar announces itself: the icon is added to it at once.
  taskbar.Restart();
  SendMessageW(Tray(), RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
  EXPECT_EQ(taskbar.taken, 2);
  EXPECT_TRUE(app->Tray().Shown());
  app.reset();
}

// Windows also announces a taskbar while the old one still holds the icon
// (a change of the display's scale): the refused add is no reason to retry.
TEST_F(Win32Ui, ATaskbarThatStillHoldsTheIconGetsItAtTheCurrentSizeAndNoMoreOffers) {
  app.reset();
  FakeTaskbar taskbar;
  if (!taskbar.Found()) GTEST_SKIP() << "another taskbar window answers first here";
  taskbar.take = true;
  app.emplace(Os(), GetModuleHandleW(nullptr), nullptr, Libraries());
  ASSERT_TRUE(app->Tray().Shown());
  ASSERT_EQ(taskbar.taken, 1);
  const HICON before = app->Tray().Record().hIcon;
  const int icons = taskbar.icons;
  SendMessageW(Tray(), RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
  EXPECT_TRUE(app->Tray().Shown());
  EXPECT_TRUE(taskbar.Holds());
  EXPECT_EQ(taskbar.taken, 1) << "the icon once in the taskbar";
  EXPECT_EQ(taskbar.icons, icons + 1) << "the reloaded image reached the taskbar";
  const HICON after = app->Tray().Record().hIcon;
  EXPECT_NE(after, before) << "the image is loaded again for the current scale";
  EXPECT_EQ(IconWidth(after), ui::SmallIconSize(ui::WindowDpi(Tray())));
  const int adds = taskbar.adds;
  const int modifies = taskbar.modifies;
  PumpUntil([] { return false; }, 5);
  EXPECT_EQ(taskbar.adds, adds) << "offered again while shown";
  EXPECT_EQ(taskbar.modifies, modifies);
  app.reset();
}

// At logon with both automatic options on, the start-up connection ends
// before the shell takes icons: its balloon waits for the icon, and comes
// once.
TEST_F(Win32Ui, AStartUpBalloonWaitsForALateTaskbarAndComesOnce) {
  app.reset();
  Store(u"Q:", u"anna", u"pw", true, true);
  commands.exit_code = 0;
  FakeTaskbar taskbar;
  if (!taskbar.Found()) GTEST_SKIP() << "another taskbar window answers first here";
  app.emplace(Os(), GetModuleHandleW(nullptr), nullptr, Libraries());
  app->Start();
  ASSERT_TRUE(app->Mapping().connected());
  EXPECT_STREQ(app->Tray().Record().szInfo, L"Connessione effettuata con successo");
  EXPECT_EQ(taskbar.balloons, 0);
  taskbar.take = true;
  ASSERT_TRUE(PumpUntil([&] { return app->Tray().Shown(); }, 10)) << "the icon never reached the taskbar";
  EXPECT_EQ(taskbar.balloons, 1) << "the start-up balloon with the icon";
  // Neither a later offer nor a new taskbar brings it back.
  PumpUntil([] { return false; }, 2);
  taskbar.Restart();
  SendMessageW(Tray(), RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
  EXPECT_EQ(taskbar.taken, 2);
  EXPECT_EQ(taskbar.balloons, 1);
  app.reset();
}

// ------------------------------------------------ the windows' shared parts

LRESULT CALLBACK FirstProcedure(HWND w, UINT m, WPARAM wp, LPARAM lp) { return DefWindowProcW(w, m, wp, lp); }
LRESULT CALLBACK SecondProcedure(HWND w, UINT m, WPARAM wp, LPARAM lp) { return DefWindowProcW(w, m, wp, lp); }

TEST(Win32Window, AClassIsRegisteredOnceAndARefusalRaisesTheCallersText) {
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  constexpr wchar_t kName[] = L"QLXDriveTestRegistration";
  ASSERT_NO_THROW(ui::RegisterWindowClass(instance, kName, &FirstProcedure, nullptr, nullptr, "first"));
  // The second registration (a window reopened) keeps the first class.
  ASSERT_NO_THROW(ui::RegisterWindowClass(instance, kName, &SecondProcedure, nullptr, nullptr, "second"));
  WNDCLASSEXW found{};
  found.cbSize = sizeof found;
  ASSERT_TRUE(GetClassInfoExW(instance, kName, &found));
  EXPECT_EQ(found.lpfnWndProc, &FirstProcedure);
  UnregisterClassW(kName, instance);

  // An empty name is refused. Not a name over the 255 characters an atom
  // holds: Wine 8 copies such a name into a fixed buffer before refusing it
  // and corrupts its own heap, which aborts the whole test program.
  try {
    ui::RegisterWindowClass(instance, L"", &FirstProcedure, nullptr, nullptr, "refused");
    ADD_FAILURE() << "no error raised";
  } catch (const Error& error) {
    EXPECT_STREQ(error.what(), "refused");
  }
}

TEST(Win32Window, User32EntryPointsAreFoundAndMissingOnesAreNull) {
  EXPECT_EQ(ui::User32Function<int(WINAPI*)(int)>("GetSystemMetrics"), &GetSystemMetrics);
  EXPECT_EQ(ui::User32Function<int(WINAPI*)(int)>("NoSuchUser32Function"), nullptr);
}

// ---------------------------------------------------------------- the theme

TEST(Win32Theme, TheStoredThemeAnswersTheDialogsColourQuestions) {
  HINSTANCE self = GetModuleHandleW(nullptr);
  EXPECT_EQ(ui::LoadTheme(self, u"NoSuchStyle"), nullptr);
  HRSRC res = FindResourceW(self, L"OBSIDIAN", RT_RCDATA);
  ASSERT_NE(res, nullptr) << "the test links the program's resources";
  const auto colours = ui::ParseTheme(std::string_view(static_cast<const char*>(LockResource(LoadResource(self, res))),
                                                       SizeofResource(self, res)));
  ASSERT_TRUE(colours);
  auto theme = ui::LoadTheme(self, u"Obsidian");
  ASSERT_NE(theme, nullptr);

  WNDCLASSW cls{};
  cls.lpfnWndProc = DefWindowProcW;
  cls.hInstance = self;
  cls.lpszClassName = L"QLXThemeProbe";
  RegisterClassW(&cls);
  HWND top = CreateWindowExW(0, L"QLXThemeProbe", L"probe", WS_POPUP, 0, 0, 200, 100, nullptr, nullptr, self, nullptr);
  HWND label = CreateWindowExW(0, WC_STATICW, L"x", WS_CHILD | WS_VISIBLE, 0, 0, 50, 20, top, nullptr, self, nullptr);
  HWND edit = CreateWindowExW(0, WC_EDITW, L"x", WS_CHILD | WS_VISIBLE, 0, 30, 50, 20, top, nullptr, self, nullptr);
  theme->Apply(top);
  HDC dc = GetDC(top);
  const bool high_contrast = ui::HighContrast();
  auto brush_colour = [](LRESULT brush) {
    LOGBRUSH lb{};
    GetObjectW(reinterpret_cast<HBRUSH>(brush), sizeof lb, &lb);
    return static_cast<std::uint32_t>(lb.lbColor);
  };
  const LRESULT for_label = SendMessageW(top, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(label));
  if (!high_contrast) {
    EXPECT_EQ(brush_colour(for_label), colours->DialogBackground);
    EXPECT_EQ(static_cast<std::uint32_t>(GetTextColor(dc)), colours->Text);
    const LRESULT for_edit = SendMessageW(top, WM_CTLCOLOREDIT, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(edit));
    EXPECT_EQ(brush_colour(for_edit), colours->EditBackground);
    EXPECT_EQ(static_cast<std::uint32_t>(GetTextColor(dc)), colours->EditText);
  }
  ReleaseDC(top, dc);
  // The subclasses leave with their windows; the theme may go afterwards.
  DestroyWindow(top);
  theme.reset();
}

// The client area as the control paints it, as 0x00RRGGBB pixels.
std::vector<std::uint32_t> Render(HWND window, int& width, int& height) {
  RECT r{};
  GetClientRect(window, &r);
  width = r.right;
  height = r.bottom;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HDC screen = GetDC(nullptr);
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HDC memory = CreateCompatibleDC(screen);
  HGDIOBJ old = SelectObject(memory, bitmap);
  SendMessageW(window, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(memory), PRF_CLIENT);
  GdiFlush();
  std::vector<std::uint32_t> pixels(static_cast<const std::uint32_t*>(bits),
                                    static_cast<const std::uint32_t*>(bits) + width * height);
  SelectObject(memory, old);
  DeleteDC(memory);
  DeleteObject(bitmap);
  ReleaseDC(nullptr, screen);
  for (auto& p : pixels) p &= 0x00FFFFFF;
  return pixels;
}

std::uint32_t AsPixel(std::uint32_t colorref) {
  return ((colorref & 0xFF) << 16) | (colorref & 0xFF00) | ((colorref >> 16) & 0xFF);
}

TEST(Win32Theme, ButtonsAndCheckBoxesAreDrawnInTheThemesColours) {
  if (ui::HighContrast()) GTEST_SKIP() << "high contrast keeps the system's look";
  HINSTANCE self = GetModuleHandleW(nullptr);
  HRSRC res = FindResourceW(self, L"OBSIDIAN", RT_RCDATA);
  ASSERT_NE(res, nullptr);
  const auto c = ui::ParseTheme(std::string_view(static_cast<const char*>(LockResource(LoadResource(self, res))),
                                                 SizeofResource(self, res)));
  ASSERT_TRUE(c);
  auto theme = ui::LoadTheme(self, u"Obsidian");
  ASSERT_NE(theme, nullptr);
  WNDCLASSW cls{};
  cls.lpfnWndProc = DefWindowProcW;
  cls.hInstance = self;
  cls.lpszClassName = L"QLXThemeProbe2";
  RegisterClassW(&cls);
  HWND top = CreateWindowExW(0, L"QLXThemeProbe2", L"probe", WS_POPUP, 0, 0, 300, 100, nullptr, nullptr, self, nullptr);
  HWND check = CreateWindowExW(0, WC_BUTTONW, L"Connessione automatica", WS_CHILD | WS_VISIBLE | BS_AUTOCHECKBOX | BS_LEFTTEXT,
                               0, 0, 161, 17, top, nullptr, self, nullptr);
  HWND button = CreateWindowExW(0, WC_BUTTONW, L"Salva", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 0, 40, 75, 25, top,
                                nullptr, self, nullptr);
  theme->Apply(top);
  auto count = [](const std::vector<std::uint32_t>& px, std::uint32_t colour) {
    return std::count(px.begin(), px.end(), AsPixel(colour));
  };
  int w = 0, h = 0;
  auto unchecked = Render(check, w, h);
  EXPECT_EQ(count(unchecked, c->CheckMark), 0);
  EXPECT_GT(count(unchecked, c->CheckBox), 0) << "the box is filled";
  EXPECT_EQ(unchecked[0], AsPixel(c->DialogBackground)) << "the caption side has the dialog's background";
  EXPECT_EQ(unchecked[static_cast<std::size_t>(h / 2) * w + (w - 1)], AsPixel(c->CheckBorder)) << "the box at the right edge";
  EXPECT_GT(count(unchecked, c->CheckText), 0) << "the caption is drawn";
  SendMessageW(check, BM_SETCHECK, BST_CHECKED, 0);
  auto checked = Render(check, w, h);
  EXPECT_GT(count(checked, c->CheckMark), 0) << "the mark is drawn";

  auto face = Render(button, w, h);
  EXPECT_EQ(face[0], AsPixel(c->ButtonBorder));
  EXPECT_EQ(face[static_cast<std::size_t>(3) * w + 3], AsPixel(c->ButtonFace));
  EXPECT_GT(count(face, c->ButtonText), 0);
  SendMessageW(button, BM_SETSTATE, TRUE, 0);
  auto pushed = Render(button, w, h);
  EXPECT_EQ(pushed[static_cast<std::size_t>(3) * w + 3], AsPixel(c->ButtonPressed));
  DestroyWindow(top);
}

}  // namespace
}  // namespace qlx

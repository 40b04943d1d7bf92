// The theme on real controls (under Wine in the tests): the colours each
// kind of control is drawn in, read back as pixels, and the theme stepping
// aside when the system announces high contrast (which Wine cannot switch
// on: the tests answer the theme's question themselves).
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32/unique_handle.h"
#include "ui/theme.h"
#include "ui/theme_file.h"

namespace qlx::ui {
namespace {

using platform::unique_hbitmap;
using platform::unique_hdc;
using platform::unique_hdc_window;
using platform::unique_hwnd;
using platform::unique_select_object;

// 0x00RRGGBB, as a 32-bit DIB holds a colour.
std::uint32_t AsPixel(std::uint32_t colorref) {
  return ((colorref & 0xFF) << 16) | (colorref & 0xFF00) | ((colorref >> 16) & 0xFF);
}

// An area as 0x00RRGGBB pixels, row by row.
struct Pixels {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> data;

  std::uint32_t At(int x, int y) const { return data[static_cast<std::size_t>(y) * width + x]; }
  // How many pixels of the rectangle have the colour.
  long Count(std::uint32_t colorref, RECT r) const {
    long found = 0;
    for (int y = std::max(0, static_cast<int>(r.top)); y < std::min(height, static_cast<int>(r.bottom)); ++y)
      for (int x = std::max(0, static_cast<int>(r.left)); x < std::min(width, static_cast<int>(r.right)); ++x)
        found += At(x, y) == AsPixel(colorref);
    return found;
  }
  long Count(std::uint32_t colorref) const { return Count(colorref, RECT{0, 0, width, height}); }
};

// Draws into a top-down 32-bit bitmap of the given size; `draw` paints on
// the bitmap's DC.
template <class Draw>
Pixels Capture(int width, int height, Draw draw) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  const auto screen = unique_hdc_window::Client(nullptr);
  const unique_hbitmap bitmap(CreateDIBSection(screen.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  const unique_hdc memory(CreateCompatibleDC(screen.get()));
  Pixels pixels{width, height, {}};
  if (!bitmap || !memory) return pixels;
  {
    const unique_select_object selected(memory.get(), bitmap.get());
    draw(memory.get());
    GdiFlush();
    const auto* first = static_cast<const std::uint32_t*>(bits);
    pixels.data.assign(first, first + static_cast<std::size_t>(width) * height);
  }
  for (auto& p : pixels.data) p &= 0x00FFFFFF;
  return pixels;
}

// The client area as the control paints it on request.
Pixels Printed(HWND window) {
  RECT r{};
  GetClientRect(window, &r);
  return Capture(r.right, r.bottom, [&](HDC dc) {
    SendMessageW(window, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT | PRF_ERASEBKGND);
  });
}

// The whole window, frame included, as it stands on screen now.
Pixels AsItStands(HWND window) {
  RECT r{};
  GetWindowRect(window, &r);
  const auto source = unique_hdc_window::Whole(window);
  return Capture(r.right - r.left, r.bottom - r.top, [&](HDC dc) {
    BitBlt(dc, 0, 0, r.right - r.left, r.bottom - r.top, source.get(), 0, 0, SRCCOPY);
  });
}

// The same, once the window has painted itself anew.
Pixels OnScreen(HWND window) {
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  return AsItStands(window);
}

std::optional<ThemeColors> StoredColours() {
  HINSTANCE self = GetModuleHandleW(nullptr);
  HRSRC res = FindResourceW(self, L"OBSIDIAN", RT_RCDATA);
  if (res == nullptr) return std::nullopt;
  return ParseTheme(std::string_view(static_cast<const char*>(LockResource(LoadResource(self, res))),
                                     SizeofResource(self, res)));
}

// The system's high contrast as the tests set it, and how often the theme
// asked.
struct FakeContrast {
  static inline bool on = false;
  static inline int asked = 0;
  static bool Query() {
    ++asked;
    return on;
  }
};

// A visible top-level window with the controls a test adds, themed once they
// are all there.
class ThemedWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto colours = StoredColours();
    ASSERT_TRUE(colours) << "the test links the program's resources";
    c = *colours;
    FakeContrast::on = false;
    FakeContrast::asked = 0;
    theme = LoadTheme(GetModuleHandleW(nullptr), u"Obsidian", &FakeContrast::Query);
    ASSERT_NE(theme, nullptr);
    WNDCLASSW cls{};
    cls.lpfnWndProc = DefWindowProcW;
    cls.hInstance = GetModuleHandleW(nullptr);
    cls.lpszClassName = L"QLXThemeTestWindow";
    RegisterClassW(&cls);
    top.reset(CreateWindowExW(0, cls.lpszClassName, L"theme", WS_POPUP | WS_VISIBLE, 20, 20, 320, 160, nullptr,
                              nullptr, cls.hInstance, nullptr));
    ASSERT_TRUE(top);
  }
  void TearDown() override {
    // The subclasses leave with their windows; the theme may go afterwards.
    top.reset();
    theme.reset();
  }

  HWND Add(const wchar_t* cls, const wchar_t* text, DWORD style, int x, int y, int w, int h) {
    return CreateWindowExW(0, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, top.get(), nullptr,
                           GetModuleHandleW(nullptr), nullptr);
  }
  HWND AddDriveCombo() {
    HWND combo = Add(WC_COMBOBOXW, L"", CBS_DROPDOWN | WS_VSCROLL | WS_TABSTOP, 10, 10, 71, 200);
    for (wchar_t letter = L'A'; letter <= L'Z'; ++letter) {
      const wchar_t entry[3] = {letter, L':', 0};
      SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry));
    }
    return combo;
  }
  static HWND ListOf(HWND combo) {
    COMBOBOXINFO info{};
    info.cbSize = sizeof info;
    return GetComboBoxInfo(combo, &info) ? info.hwndList : nullptr;
  }
  static RECT ItemRect(HWND list, int index) {
    RECT r{};
    SendMessageW(list, LB_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&r));
    return r;
  }

  ThemeColors c;
  std::unique_ptr<Theme> theme;
  unique_hwnd top;
};

// The drive list's highlighted entry is drawn in the selection colours, the
// others on the edit colours, and never in the system's highlight.
TEST_F(ThemedWindow, TheDriveListHighlightsInTheSelectionColours) {
  HWND combo = AddDriveCombo();
  theme->Apply(top.get());
  HWND list = ListOf(combo);
  ASSERT_NE(list, nullptr);
  SendMessageW(combo, CB_SHOWDROPDOWN, TRUE, 0);
  ASSERT_TRUE(IsWindowVisible(list));

  for (const int selected : {2, 5}) {
    SCOPED_TRACE(selected);
    SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(selected), 0);
    SendMessageW(list, LB_SETTOPINDEX, 0, 0);
    const Pixels shown = Printed(list);
    const RECT chosen = ItemRect(list, selected);
    const RECT other = ItemRect(list, selected == 2 ? 5 : 2);
    ASSERT_GT(chosen.bottom, chosen.top);
    const long area = (chosen.right - chosen.left) * (chosen.bottom - chosen.top);
    EXPECT_GT(shown.Count(c.SelectionBackground, chosen), area / 2) << "the highlight's background";
    EXPECT_GT(shown.Count(c.SelectionText, chosen), 0) << "the highlighted entry's text";
    EXPECT_EQ(shown.Count(c.SelectionBackground, other), 0);
    EXPECT_GT(shown.Count(c.EditBackground, other), area / 2);
    EXPECT_GT(shown.Count(c.EditText, other), 0) << "another entry's text";
    EXPECT_EQ(shown.Count(GetSysColor(COLOR_HIGHLIGHT)), 0) << "the system's highlight shows through";
  }

  // As the pointer moves over the list, the list draws the new highlight
  // itself, at once; the theme's colours must be what stays on screen.
  const RECT target = ItemRect(list, 7);
  SendMessageW(list, WM_MOUSEMOVE, 0, MAKELPARAM(target.left + 5, (target.top + target.bottom) / 2));
  const Pixels after_move = AsItStands(list);
  RECT in_window = target;
  POINT client_origin{0, 0};
  ClientToScreen(list, &client_origin);
  RECT outer{};
  GetWindowRect(list, &outer);
  OffsetRect(&in_window, client_origin.x - outer.left, client_origin.y - outer.top);
  EXPECT_EQ(SendMessageW(list, LB_GETCURSEL, 0, 0), 7);
  EXPECT_GT(after_move.Count(c.SelectionBackground, in_window), 0);
  EXPECT_EQ(after_move.Count(GetSysColor(COLOR_HIGHLIGHT)), 0);
  SendMessageW(combo, CB_SHOWDROPDOWN, FALSE, 0);
}

// The combo's face: the field on the edit colour, the button's face and
// arrow, the outline; and an edit's flat frame, in the accent with focus.
TEST_F(ThemedWindow, ComboAndEditFramesAreDrawnInTheThemesColours) {
  HWND combo = AddDriveCombo();
  HWND edit = Add(WC_EDITW, L"", ES_AUTOHSCROLL, 10, 60, 135, 24);
  SetWindowLongW(edit, GWL_EXSTYLE, GetWindowLongW(edit, GWL_EXSTYLE) | WS_EX_CLIENTEDGE);
  SetWindowPos(edit, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED);
  HWND other = Add(WC_EDITW, L"", ES_AUTOHSCROLL, 10, 100, 135, 24);
  theme->Apply(top.get());
  SetFocus(other);

  const Pixels face = OnScreen(combo);
  EXPECT_EQ(face.At(0, 0), AsPixel(c.EditBorder)) << "the outline";
  EXPECT_GT(face.Count(c.ButtonFace), 0) << "the arrow button's face";
  EXPECT_GT(face.Count(c.ButtonText), 0) << "the arrow";
  EXPECT_GT(face.Count(c.EditBackground), 0) << "the field";

  const Pixels unfocused = OnScreen(edit);
  EXPECT_EQ(unfocused.At(0, 0), AsPixel(c.EditBorder));
  EXPECT_EQ(unfocused.At(unfocused.width - 1, unfocused.height / 2), AsPixel(c.EditBorder));
  SetFocus(edit);
  ASSERT_EQ(GetFocus(), edit);
  const Pixels focused = OnScreen(edit);
  EXPECT_EQ(focused.At(0, 0), AsPixel(c.Accent));
  EXPECT_EQ(focused.At(focused.width - 1, focused.height / 2), AsPixel(c.Accent));
}

// Entering high contrast, announced to the top-level window, puts every
// control back in the system's look; leaving it brings the theme back. One
// announcement serves all the controls; drawing and the pointer's moves do
// not ask the system again.
TEST_F(ThemedWindow, HighContrastAnnouncedToTheWindowTurnsTheThemeOffAndOn) {
  HWND button = Add(WC_BUTTONW, L"Salva", BS_PUSHBUTTON, 10, 10, 75, 25);
  HWND label = Add(WC_STATICW, L"Utente:", 0, 10, 50, 60, 16);
  theme->Apply(top.get());
  auto label_brush = [&] {
    const auto dc = unique_hdc_window::Client(top.get());
    const LRESULT brush = SendMessageW(top.get(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc.get()),
                                       reinterpret_cast<LPARAM>(label));
    LOGBRUSH seen{};
    GetObjectW(reinterpret_cast<HBRUSH>(brush), sizeof seen, &seen);
    return static_cast<std::uint32_t>(seen.lbColor);
  };
  auto face_of_button = [&] { return Printed(button).At(3, 3); };
  EXPECT_EQ(label_brush(), c.DialogBackground);
  EXPECT_EQ(face_of_button(), AsPixel(c.ButtonFace));

  const int asked = FakeContrast::asked;
  for (int x = 1; x < 40; ++x) SendMessageW(button, WM_MOUSEMOVE, 0, MAKELPARAM(x, 5));
  EXPECT_EQ(face_of_button(), AsPixel(c.ButtonHot));
  SendMessageW(button, WM_MOUSELEAVE, 0, 0);
  OnScreen(top.get());
  EXPECT_EQ(FakeContrast::asked, asked) << "drawing asked the system";

  FakeContrast::on = true;
  SendMessageW(top.get(), WM_SETTINGCHANGE, SPI_SETHIGHCONTRAST, 0);
  EXPECT_NE(label_brush(), c.DialogBackground);
  EXPECT_NE(face_of_button(), AsPixel(c.ButtonFace));

  FakeContrast::on = false;
  SendMessageW(top.get(), WM_THEMECHANGED, 0, 0);
  EXPECT_EQ(label_brush(), c.DialogBackground);
  EXPECT_EQ(face_of_button(), AsPixel(c.ButtonFace));
}

// A window themed while high contrast is on keeps the system's look until
// the system announces that it is off.
TEST_F(ThemedWindow, AWindowThemedInHighContrastKeepsTheSystemsLook) {
  HWND button = Add(WC_BUTTONW, L"Salva", BS_PUSHBUTTON, 10, 10, 75, 25);
  FakeContrast::on = true;
  theme->Apply(top.get());
  EXPECT_NE(Printed(button).At(3, 3), AsPixel(c.ButtonFace));
  FakeContrast::on = false;
  SendMessageW(top.get(), WM_SYSCOLORCHANGE, 0, 0);
  EXPECT_EQ(Printed(button).At(3, 3), AsPixel(c.ButtonFace));
}

}  // namespace
}  // namespace qlx::ui

// The window and drawing owners, and the scoped paint, DC and selection
// pairs, against Wine's real USER and GDI.
#include "platform/win32/unique_handle.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <utility>

namespace qlx::platform {
namespace {

constexpr wchar_t kClass[] = L"QLXHandleTestWindow";

HWND MakeWindow() {
  WNDCLASSEXW cls{};
  cls.cbSize = sizeof cls;
  cls.lpfnWndProc = DefWindowProcW;
  cls.hInstance = GetModuleHandleW(nullptr);
  cls.lpszClassName = kClass;
  RegisterClassExW(&cls);  // a second registration fails harmlessly
  return CreateWindowExW(0, kClass, L"handles", WS_OVERLAPPEDWINDOW, 10, 10, 300, 200, nullptr, nullptr,
                         GetModuleHandleW(nullptr), nullptr);
}

TEST(WindowOwners, WindowIsDestroyedOnceByItsLastOwner) {
  unique_hwnd window(MakeWindow());
  ASSERT_TRUE(window);
  const HWND raw = window.get();
  unique_hwnd moved(std::move(window));
  EXPECT_FALSE(window);
  EXPECT_TRUE(IsWindow(raw));
  moved.reset();
  EXPECT_FALSE(IsWindow(raw));
}

TEST(GdiOwners, ObjectsAndMemoryDcAreDeleted) {
  unique_hpen pen(CreatePen(PS_SOLID, 1, RGB(1, 2, 3)));
  unique_hbrush brush(CreateSolidBrush(RGB(4, 5, 6)));
  unique_hdc memory(CreateCompatibleDC(nullptr));
  ASSERT_TRUE(pen && brush && memory);
  unique_hbitmap bitmap(CreateCompatibleBitmap(memory.get(), 4, 4));
  ASSERT_TRUE(bitmap);
  const HGDIOBJ raw_pen = pen.get(), raw_brush = brush.get(), raw_bitmap = bitmap.get();
  const HDC raw_dc = memory.get();
  EXPECT_EQ(GetObjectType(raw_pen), static_cast<DWORD>(OBJ_PEN));
  EXPECT_EQ(GetObjectType(raw_dc), static_cast<DWORD>(OBJ_MEMDC));
  pen.reset();
  brush.reset();
  bitmap.reset();
  memory.reset();
  EXPECT_EQ(GetObjectType(raw_pen), 0u);
  EXPECT_EQ(GetObjectType(raw_brush), 0u);
  EXPECT_EQ(GetObjectType(raw_bitmap), 0u);
  EXPECT_EQ(GetObjectType(raw_dc), 0u);
}

// Nested selections put back, in reverse order, what each found; the pen
// owner declared first outlives its selection, so it is deleted unselected.
TEST(SelectObjectScope, RestoresWhatWasSelectedAndLetsTheObjectBeDeleted) {
  unique_hdc dc(CreateCompatibleDC(nullptr));
  ASSERT_TRUE(dc);
  const HGDIOBJ stock_pen = GetCurrentObject(dc.get(), OBJ_PEN);
  const HGDIOBJ stock_bitmap = GetCurrentObject(dc.get(), OBJ_BITMAP);
  HGDIOBJ raw_pen = nullptr;
  {
    unique_hpen pen(CreatePen(PS_SOLID, 2, RGB(200, 0, 0)));
    unique_hbitmap bitmap(CreateCompatibleBitmap(dc.get(), 8, 8));
    ASSERT_TRUE(pen && bitmap);
    raw_pen = pen.get();
    unique_select_object with_pen(dc.get(), pen.get());
    EXPECT_TRUE(with_pen);
    EXPECT_EQ(with_pen.previous(), stock_pen);
    EXPECT_EQ(GetCurrentObject(dc.get(), OBJ_PEN), raw_pen);
    {
      unique_hpen second(CreatePen(PS_SOLID, 1, RGB(0, 200, 0)));
      unique_select_object with_second(dc.get(), second.get());
      unique_select_object with_bitmap(dc.get(), bitmap.get());
      EXPECT_EQ(with_second.previous(), raw_pen);
      EXPECT_EQ(GetCurrentObject(dc.get(), OBJ_BITMAP), bitmap.get());
    }
    EXPECT_EQ(GetCurrentObject(dc.get(), OBJ_PEN), raw_pen);
    EXPECT_EQ(GetCurrentObject(dc.get(), OBJ_BITMAP), stock_bitmap);
  }
  EXPECT_EQ(GetCurrentObject(dc.get(), OBJ_PEN), stock_pen);
  EXPECT_EQ(GetObjectType(raw_pen), 0u);

  // A failed selection has nothing to put back, and no stray object lands in the DC.
  unique_select_object failed(dc.get(), nullptr);
  EXPECT_FALSE(failed);
  EXPECT_EQ(GetCurrentObject(dc.get(), OBJ_PEN), stock_pen);

  unique_hpen pen(CreatePen(PS_SOLID, 1, RGB(0, 0, 9)));
  {
    unique_select_object first(dc.get(), pen.get());
    unique_select_object moved(std::move(first));
    EXPECT_FALSE(first);
    EXPECT_EQ(moved.previous(), stock_pen);
  }
  EXPECT_EQ(GetCurrentObject(dc.get(), OBJ_PEN), stock_pen);
}

// A borrowed DC is handed back as it came: colours, mode and selections.
TEST(DcStateScope, PutsBackWhatTheDrawingChanged) {
  unique_hdc dc(CreateCompatibleDC(nullptr));
  ASSERT_TRUE(dc);
  SetTextColor(dc.get(), RGB(1, 2, 3));
  SetBkMode(dc.get(), OPAQUE);
  const HGDIOBJ stock_pen = GetCurrentObject(dc.get(), OBJ_PEN);
  unique_hpen pen(CreatePen(PS_SOLID, 1, RGB(7, 7, 7)));
  {
    const unique_dc_state saved(dc.get());
    EXPECT_TRUE(saved);
    SetTextColor(dc.get(), RGB(9, 9, 9));
    SetBkMode(dc.get(), TRANSPARENT);
    SelectObject(dc.get(), pen.get());
  }
  EXPECT_EQ(GetTextColor(dc.get()), RGB(1, 2, 3));
  EXPECT_EQ(GetBkMode(dc.get()), OPAQUE);
  EXPECT_EQ(GetCurrentObject(dc.get(), OBJ_PEN), stock_pen);
}

// The client DC starts at the client area, the window DC at the frame's
// corner (WM_NCPAINT draws there).
TEST(WindowDcScope, ClientAndWholeWindowDcsStartAtTheirAreas) {
  unique_hwnd window(MakeWindow());
  ASSERT_TRUE(window);
  ShowWindow(window.get(), SW_SHOWNA);
  RECT outer{};
  GetWindowRect(window.get(), &outer);
  POINT client_corner{0, 0};
  ClientToScreen(window.get(), &client_corner);
  ASSERT_NE(client_corner.y, outer.top);  // a caption to tell them apart

  auto origin_of = [](const unique_hdc_window& dc) {
    POINT origin{-1, -1};
    EXPECT_TRUE(GetDCOrgEx(dc.get(), &origin));
    return origin;
  };
  auto client = unique_hdc_window::Client(window.get());
  ASSERT_TRUE(client);
  EXPECT_EQ(origin_of(client).x, client_corner.x);
  EXPECT_EQ(origin_of(client).y, client_corner.y);
  auto whole = unique_hdc_window::Whole(window.get());
  ASSERT_TRUE(whole);
  EXPECT_EQ(origin_of(whole).x, outer.left);
  EXPECT_EQ(origin_of(whole).y, outer.top);

  unique_hdc_window moved(std::move(whole));
  EXPECT_FALSE(whole);
  EXPECT_TRUE(moved);
  moved.reset();
  EXPECT_FALSE(moved);

  // The screen's DC, as a null window asks for it.
  auto screen = unique_hdc_window::Client(nullptr);
  ASSERT_TRUE(screen);
  EXPECT_GT(GetDeviceCaps(screen.get(), LOGPIXELSX), 0);
}

// The paint pair covers the invalid area and leaves the window validated.
TEST(PaintScope, PaintsTheInvalidAreaAndValidatesIt) {
  unique_hwnd window(MakeWindow());
  ASSERT_TRUE(window);
  ShowWindow(window.get(), SW_SHOWNA);
  UpdateWindow(window.get());
  RECT part{5, 6, 40, 30};
  InvalidateRect(window.get(), &part, FALSE);
  ASSERT_TRUE(GetUpdateRect(window.get(), nullptr, FALSE));
  {
    unique_hdc_paint paint(window.get());
    ASSERT_TRUE(paint);
    EXPECT_EQ(paint.info().rcPaint.left, part.left);
    EXPECT_EQ(paint.info().rcPaint.top, part.top);
    EXPECT_EQ(paint.info().rcPaint.right, part.right);
    EXPECT_EQ(paint.info().rcPaint.bottom, part.bottom);
    EXPECT_EQ(paint.info().hdc, paint.get());
  }
  EXPECT_FALSE(GetUpdateRect(window.get(), nullptr, FALSE));
}

}  // namespace
}  // namespace qlx::platform

#include "ui/theme.h"

#include <algorithm>
#include <memory>
#include <span>
#include <string_view>

#include "platform/win32/dialog_libraries.h"
#include "platform/win32/text.h"
#include "platform/win32/unique_handle.h"
#include "ui/logic.h"
#include "ui/theme_file.h"
#include "ui/window.h"

namespace qlx::ui {

namespace {

using platform::unique_dc_state;
using platform::unique_hbrush;
using platform::unique_hdc_paint;
using platform::unique_hdc_window;
using platform::unique_hpen;
using platform::unique_select_object;

// DwmSetWindowAttribute's dark title bar: 20 from Windows 10 20H1, 19 on the
// builds before it; caption and caption text colours from Windows 11.
constexpr DWORD kDarkMode = 20;
constexpr DWORD kDarkModeOld = 19;
constexpr DWORD kCaptionColor = 35;
constexpr DWORD kTextColor = 36;
constexpr COLORREF kSystemColor = 0xFFFFFFFF;  // DWMWA_COLOR_DEFAULT

constexpr UINT_PTR kSubclassId = 0x51D1;

// Common Controls and the window manager, loaded when the theme is first
// applied; any later call finds them loaded.
const platform::DialogFunctions& Functions() { return platform::DialogLibraries(); }

// A line at least one pixel wide, however small the scale.
int LineWidth(int value, int dpi) { return std::max(1, Scale(value, dpi)); }

bool HasClass(HWND window, const wchar_t* name) {
  wchar_t found[32]{};
  GetClassNameW(window, found, 32);
  return lstrcmpiW(found, name) == 0;
}

// A frame `thickness` pixels wide inside `r`.
void Frame(HDC dc, RECT r, HBRUSH brush, int thickness) {
  for (int i = 0; i < thickness; ++i) {
    FrameRect(dc, &r, brush);
    InflateRect(&r, -1, -1);
  }
}

void RedrawNow(HWND window) { RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_NOERASE); }

void RedrawAll(HWND top_level) {
  RedrawWindow(top_level, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
}

void DrawCaption(HDC dc, const std::u16string& text, RECT& r, UINT format) {
  DrawTextW(dc, platform::W(text), static_cast<int>(text.size()), &r, format);
}

// ------------------------------------------------------------- the palette

// The colours, the brushes made from them, and whether the theme acts at
// all: in high contrast the system's colours are the user's, and the theme
// steps aside. Kept in one place for every control the theme paints; the
// state is read from the system once, and again only when the system
// announces a change to the top-level window.
class Palette {
 public:
  Palette(const ThemeColors& c, HighContrastQuery high_contrast)
      : colors(c),
        dialog(CreateSolidBrush(c.DialogBackground)),
        panel(CreateSolidBrush(c.PanelBackground)),
        edit(CreateSolidBrush(c.EditBackground)),
        face(CreateSolidBrush(c.ButtonFace)),
        face_hot(CreateSolidBrush(c.ButtonHot)),
        face_pressed(CreateSolidBrush(c.ButtonPressed)),
        button_border(CreateSolidBrush(c.ButtonBorder)),
        edit_border(CreateSolidBrush(c.EditBorder)),
        accent(CreateSolidBrush(c.Accent)),
        check_box(CreateSolidBrush(c.CheckBox)),
        check_border(CreateSolidBrush(c.CheckBorder)),
        selection(CreateSolidBrush(c.SelectionBackground)),
        high_contrast_(high_contrast),
        active_(!high_contrast_()) {}

  bool Complete() const {
    return dialog && panel && edit && face && face_hot && face_pressed && button_border && edit_border && accent &&
           check_box && check_border && selection;
  }

  bool Active() const { return active_; }
  void Refresh() { active_ = !high_contrast_(); }

  const ThemeColors colors;
  const unique_hbrush dialog;
  const unique_hbrush panel;
  const unique_hbrush edit;
  const unique_hbrush face;
  const unique_hbrush face_hot;
  const unique_hbrush face_pressed;
  const unique_hbrush button_border;
  const unique_hbrush edit_border;
  const unique_hbrush accent;
  const unique_hbrush check_box;
  const unique_hbrush check_border;
  const unique_hbrush selection;

 private:
  const HighContrastQuery high_contrast_;
  bool active_;
};

// ------------------------------------------------------------ the painters

// How one kind of control is drawn: one object per subclassed window,
// freed with the window. Called only while the palette is active.
class Painter {
 public:
  explicit Painter(Palette& palette) : palette_(palette) {}
  virtual ~Painter() = default;
  Painter(const Painter&) = delete;
  Painter& operator=(const Painter&) = delete;

  // True when the message was handled, with its result.
  virtual bool Handle(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) = 0;
  // The system announced a change of settings, colours or theme; called
  // whether the palette is active or not.
  virtual void SystemChanged(HWND) {}

  bool Active() const { return palette_.Active(); }

 protected:
  Palette& palette_;
  const ThemeColors& colors() const { return palette_.colors; }
};

// The dialog's client area and the panel that holds the buttons: their
// background, and the colours they give their labels, edits and lists.
class SurfacePainter final : public Painter {
 public:
  enum class Kind { TopLevel, Panel };
  SurfacePainter(Palette& palette, Kind kind) : Painter(palette), kind_(kind) {}

  bool Handle(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) override {
    switch (message) {
      case WM_ERASEBKGND: {
        RECT r{};
        GetClientRect(window, &r);
        FillRect(reinterpret_cast<HDC>(wparam), &r, kind_ == Kind::Panel ? palette_.panel.get() : palette_.dialog.get());
        result = 1;
        return true;
      }
      case WM_CTLCOLORSTATIC:
      case WM_CTLCOLORBTN:
      case WM_CTLCOLORDLG: {
        HDC dc = reinterpret_cast<HDC>(wparam);
        SetTextColor(dc, IsWindowEnabled(reinterpret_cast<HWND>(lparam)) ? colors().Text : colors().DisabledText);
        SetBkColor(dc, colors().DialogBackground);
        result = reinterpret_cast<LRESULT>(palette_.dialog.get());
        return true;
      }
      case WM_CTLCOLOREDIT:
      case WM_CTLCOLORLISTBOX: {
        HDC dc = reinterpret_cast<HDC>(wparam);
        SetTextColor(dc, colors().EditText);
        SetBkColor(dc, colors().EditBackground);
        result = reinterpret_cast<LRESULT>(palette_.edit.get());
        return true;
      }
      default:
        return false;
    }
  }

  // Broadcasts reach top-level windows only: the top level refreshes the
  // palette for every control, and the title bar follows it either way.
  void SystemChanged(HWND window) override {
    if (kind_ != Kind::TopLevel) return;
    palette_.Refresh();
    DarkTitle(window);
    RedrawAll(window);
  }

  void DarkTitle(HWND window) const {
    const BOOL dark = palette_.Active() ? TRUE : FALSE;
    if (FAILED(Functions().DwmSetWindowAttribute(window, kDarkMode, &dark, sizeof dark))) {
      Functions().DwmSetWindowAttribute(window, kDarkModeOld, &dark, sizeof dark);
    }
    // In high contrast the caption goes back to the system's colours.
    const COLORREF background = dark ? colors().CaptionBackground : kSystemColor;
    const COLORREF text = dark ? colors().CaptionText : kSystemColor;
    Functions().DwmSetWindowAttribute(window, kCaptionColor, &background, sizeof background);
    Functions().DwmSetWindowAttribute(window, kTextColor, &text, sizeof text);
  }

 private:
  const Kind kind_;
};

// Controls whose client area the theme draws whole. The control also draws
// its new state itself, in the system's look, whenever something changes;
// ours goes over it at once.
class ClientPainter : public Painter {
 public:
  // `changes_look`: the messages on which the control draws itself anew.
  ClientPainter(Palette& palette, std::span<const UINT> changes_look)
      : Painter(palette), changes_look_(changes_look) {}

  bool Handle(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) override {
    switch (message) {
      case WM_PAINT: {
        const unique_hdc_paint paint(window);
        if (paint) Paint(window, paint.get());
        result = 0;
        return true;
      }
      case WM_PRINTCLIENT:
        Paint(window, reinterpret_cast<HDC>(wparam));
        result = 0;
        return true;
      case WM_ERASEBKGND:
        result = 1;
        return true;
      default:
        if (!ChangesLook(window, message)) return false;
        result = Functions().DefSubclassProc(window, message, wparam, lparam);
        RedrawNow(window);
        return true;
    }
  }

 protected:
  // Draws the whole client area; the DC is handed back as it came.
  virtual void Draw(HWND window, HDC dc, const RECT& client) const = 0;
  virtual bool ChangesLook(HWND, UINT message) {
    return std::find(changes_look_.begin(), changes_look_.end(), message) != changes_look_.end();
  }

 private:
  void Paint(HWND window, HDC dc) const {
    const unique_dc_state saved(dc);
    RECT client{};
    GetClientRect(window, &client);
    Draw(window, dc, client);
  }

  const std::span<const UINT> changes_look_;
};

constexpr UINT kButtonChanges[] = {
    WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_KEYDOWN,       WM_KEYUP,         WM_SETFOCUS, WM_KILLFOCUS,
    WM_ENABLE,      WM_SETTEXT,   WM_CAPTURECHANGED, WM_UPDATEUISTATE, BM_SETSTATE,     BM_SETCHECK, BM_SETSTYLE};
// The edit field's focus changes come as WM_COMMAND.
constexpr UINT kComboChanges[] = {WM_LBUTTONDOWN, WM_LBUTTONUP,      WM_SETFOCUS, WM_KILLFOCUS,
                                  WM_ENABLE,      WM_CAPTURECHANGED, WM_COMMAND};
// WM_TIMER: scrolling while the button is held outside the list.
constexpr UINT kDropListChanges[] = {WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP,  WM_KEYDOWN,       WM_MOUSEWHEEL,
                                     WM_VSCROLL,   WM_TIMER,       LB_SETCURSEL, LB_SETCARETINDEX, LB_SETTOPINDEX};

// What a button looks like at the moment of drawing.
struct ButtonState {
  RECT client{};
  bool pushed = false;
  bool focus = false;
  bool enabled = true;
  bool hot = false;
  int dpi = 96;
  std::u16string text;
};

// Push buttons and check boxes, lit while the pointer is over them.
class ButtonPainter : public ClientPainter {
 public:
  explicit ButtonPainter(Palette& palette) : ClientPainter(palette, kButtonChanges) {}

 protected:
  bool ChangesLook(HWND window, UINT message) override {
    if (message == WM_MOUSEMOVE) {
      if (hot_) return false;
      hot_ = true;
      TRACKMOUSEEVENT leave{sizeof leave, TME_LEAVE, window, 0};
      TrackMouseEvent(&leave);
      return true;
    }
    if (message == WM_MOUSELEAVE) {
      hot_ = false;
      return true;
    }
    return ClientPainter::ChangesLook(window, message);
  }

  virtual void DrawButton(HWND window, HDC dc, const ButtonState& state) const = 0;

 private:
  void Draw(HWND window, HDC dc, const RECT& client) const override {
    ButtonState state;
    state.client = client;
    state.pushed = (SendMessageW(window, BM_GETSTATE, 0, 0) & BST_PUSHED) != 0;
    state.focus = GetFocus() == window;
    state.enabled = IsWindowEnabled(window) != FALSE;
    state.hot = hot_;
    state.dpi = static_cast<int>(WindowDpi(window));
    state.text = WindowText(window);
    const unique_select_object font(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(window, WM_GETFONT, 0, 0)));
    SetBkMode(dc, TRANSPARENT);
    DrawButton(window, dc, state);
  }

  bool hot_ = false;
};

class PushButtonPainter final : public ButtonPainter {
 public:
  using ButtonPainter::ButtonPainter;

 private:
  void DrawButton(HWND, HDC dc, const ButtonState& s) const override {
    RECT r = s.client;
    HBRUSH face = s.pushed ? palette_.face_pressed.get() : (s.hot ? palette_.face_hot.get() : palette_.face.get());
    FillRect(dc, &r, face);
    Frame(dc, r, s.focus ? palette_.accent.get() : palette_.button_border.get(), LineWidth(s.focus ? 2 : 1, s.dpi));
    SetTextColor(dc, s.enabled ? colors().ButtonText : colors().DisabledText);
    if (s.pushed) OffsetRect(&r, 0, 1);
    DrawCaption(dc, s.text, r, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  }
};

// A check box: caption on the left, the box at the right edge.
class CheckBoxPainter final : public ButtonPainter {
 public:
  using ButtonPainter::ButtonPainter;

 private:
  void DrawButton(HWND window, HDC dc, const ButtonState& s) const override {
    const RECT& r = s.client;
    FillRect(dc, &r, palette_.dialog.get());
    const int side = Scale(kCheckBoxSide, s.dpi);
    RECT box{r.right - side, r.top + (r.bottom - r.top - side) / 2, r.right, 0};
    box.bottom = box.top + side;
    FillRect(dc, &box, palette_.check_box.get());
    Frame(dc, box, s.focus ? palette_.accent.get() : palette_.check_border.get(), LineWidth(1, s.dpi));
    if (SendMessageW(window, BM_GETCHECK, 0, 0) == BST_CHECKED) DrawMark(dc, box, side, s.dpi);
    if (s.pushed) Frame(dc, box, palette_.accent.get(), LineWidth(1, s.dpi));

    SetTextColor(dc, s.enabled ? colors().CheckText : colors().DisabledText);
    RECT caption{r.left, r.top, box.left - Scale(kCheckBoxGap, s.dpi), r.bottom};
    DrawCaption(dc, s.text, caption, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
    if (s.focus) Underline(dc, s.text, caption, s.dpi);
  }

  void DrawMark(HDC dc, const RECT& box, int side, int dpi) const {
    const unique_hpen pen(CreatePen(PS_SOLID, LineWidth(2, dpi), colors().CheckMark));
    const unique_select_object with_pen(dc, pen.get());
    const int x = box.left;
    const int y = box.top;
    POINT mark[3] = {{x + side * 3 / 13, y + side * 6 / 13},
                     {x + side * 5 / 13, y + side * 9 / 13},
                     {x + side * 10 / 13, y + side * 3 / 13}};
    Polyline(dc, mark, 3);
  }

  // The focus mark: the caption's extent, underlined in the accent colour.
  void Underline(HDC dc, const std::u16string& text, const RECT& caption, int dpi) const {
    RECT extent = caption;
    DrawCaption(dc, text, extent, DT_LEFT | DT_SINGLELINE | DT_NOPREFIX | DT_CALCRECT);
    const int height = extent.bottom - extent.top;
    RECT line{caption.left, caption.top + (caption.bottom - caption.top + height) / 2,
              std::min(extent.right, caption.right), 0};
    line.bottom = line.top + LineWidth(1, dpi);
    FillRect(dc, &line, palette_.accent.get());
  }
};

// Edit fields: the frame that the client edge occupies, drawn flat.
class EditPainter final : public Painter {
 public:
  using Painter::Painter;

  bool Handle(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) override {
    switch (message) {
      case WM_NCPAINT: {
        const auto dc = unique_hdc_window::Whole(window);
        if (!dc) return false;
        DrawFrame(window, dc.get());
        result = 0;
        return true;
      }
      case WM_SETFOCUS:
      case WM_KILLFOCUS:
        result = Functions().DefSubclassProc(window, message, wparam, lparam);
        RedrawWindow(window, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE);
        return true;
      default:
        return false;
    }
  }

 private:
  // Outline, then fill.
  void DrawFrame(HWND window, HDC dc) const {
    RECT r{};
    GetWindowRect(window, &r);
    OffsetRect(&r, -r.left, -r.top);
    const bool focus = GetFocus() == window;
    FrameRect(dc, &r, focus ? palette_.accent.get() : palette_.edit_border.get());
    InflateRect(&r, -1, -1);
    const int edge = GetSystemMetrics(SM_CXEDGE);
    for (int i = 1; i < edge; ++i) {
      FrameRect(dc, &r, focus ? palette_.accent.get() : palette_.edit.get());
      InflateRect(&r, -1, -1);
    }
  }
};

// The drive combo box: its face and arrow button; its edit field paints
// itself.
class ComboPainter final : public ClientPainter {
 public:
  explicit ComboPainter(Palette& palette) : ClientPainter(palette, kComboChanges) {}

 private:
  void Draw(HWND window, HDC dc, const RECT& r) const override {
    COMBOBOXINFO info{};
    info.cbSize = sizeof info;
    GetComboBoxInfo(window, &info);
    const int dpi = static_cast<int>(WindowDpi(window));
    const bool focus = info.hwndItem != nullptr && GetFocus() == info.hwndItem;
    const bool dropped = SendMessageW(window, CB_GETDROPPEDSTATE, 0, 0) != 0;
    if (info.hwndItem != nullptr) {
      ExcludeClipRect(dc, info.rcItem.left, info.rcItem.top, info.rcItem.right, info.rcItem.bottom);
    }
    FillRect(dc, &r, palette_.edit.get());
    RECT button = info.rcButton;
    if (IsRectEmpty(&button)) {
      button = r;
      button.left = r.right - GetSystemMetrics(SM_CXVSCROLL);
    }
    FillRect(dc, &button, dropped ? palette_.face_pressed.get() : palette_.face.get());
    DrawArrow(dc, button, dpi);
    Frame(dc, r, focus || dropped ? palette_.accent.get() : palette_.edit_border.get(), 1);
  }

  // A small filled triangle.
  void DrawArrow(HDC dc, const RECT& button, int dpi) const {
    const int w = std::max(3, Scale(4, dpi));
    const int cx = (button.left + button.right) / 2;
    const int cy = (button.top + button.bottom) / 2;
    POINT arrow[3] = {{cx - w, cy - w / 2}, {cx + w + 1, cy - w / 2}, {cx, cy + w / 2 + 1}};
    const unique_hpen pen(CreatePen(PS_SOLID, 1, colors().ButtonText));
    const unique_hbrush fill(CreateSolidBrush(colors().ButtonText));
    const unique_select_object with_pen(dc, pen.get());
    const unique_select_object with_fill(dc, fill.get());
    Polygon(dc, arrow, 3);
  }
};

// The combo's drop-down list: its entries on the edit colours, the
// highlighted one in the selection colours. The list draws an entry itself
// as the highlight moves (in the system's highlight colour); ours goes over
// it at once.
class DropListPainter final : public ClientPainter {
 public:
  explicit DropListPainter(Palette& palette) : ClientPainter(palette, kDropListChanges) {}

 private:
  void Draw(HWND window, HDC dc, const RECT& client) const override {
    FillRect(dc, &client, palette_.edit.get());
    const unique_select_object font(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(window, WM_GETFONT, 0, 0)));
    SetBkMode(dc, TRANSPARENT);
    const LRESULT count = SendMessageW(window, LB_GETCOUNT, 0, 0);
    const LRESULT selected = SendMessageW(window, LB_GETCURSEL, 0, 0);
    for (LRESULT i = std::max<LRESULT>(0, SendMessageW(window, LB_GETTOPINDEX, 0, 0)); i < count; ++i) {
      RECT item{};
      if (SendMessageW(window, LB_GETITEMRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item)) == LB_ERR ||
          item.top >= client.bottom)
        break;
      const bool highlighted = i == selected;
      FillRect(dc, &item, highlighted ? palette_.selection.get() : palette_.edit.get());
      SetTextColor(dc, highlighted ? colors().SelectionText : colors().EditText);
      const LRESULT length = SendMessageW(window, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0);
      if (length <= 0) continue;
      std::u16string text(static_cast<std::size_t>(length) + 1, u'\0');
      const LRESULT copied = SendMessageW(window, LB_GETTEXT, static_cast<WPARAM>(i),
                                          reinterpret_cast<LPARAM>(platform::W(text)));
      text.resize(copied > 0 ? static_cast<std::size_t>(copied) : 0);
      // Where the list itself puts an entry's text: one pixel in.
      RECT where = item;
      where.left += 1;
      DrawCaption(dc, text, where, DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX);
    }
  }
};

// ------------------------------------------------------------- the theme

LRESULT CALLBACK SubclassProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR id,
                                   DWORD_PTR data);

class Obsidian final : public Theme {
 public:
  // Only the colours: the brushes are made when the theme is first applied,
  // which a tray that never opens its dialog never does.
  Obsidian(const ThemeColors& colors, HighContrastQuery high_contrast)
      : colors_(colors), high_contrast_(high_contrast) {}

  void Apply(HWND top_level) const override {
    if (!palette_) {
      auto palette = std::make_unique<Palette>(colors_, high_contrast_);
      // Without all its brushes the window keeps the system's look.
      if (!palette->Complete()) return;
      palette_ = std::move(palette);
    }
    // The user may have switched since the theme was loaded, unannounced
    // to this window.
    palette_->Refresh();
    auto surface = std::make_unique<SurfacePainter>(*palette_, SurfacePainter::Kind::TopLevel);
    surface->DarkTitle(top_level);
    Subclass(top_level, std::move(surface));
    EnumChildWindows(top_level, &Obsidian::ForChild, reinterpret_cast<LPARAM>(this));
    RedrawAll(top_level);
  }

  void DpiChanged(HWND top_level, UINT) const override { RedrawAll(top_level); }

 private:
  static BOOL CALLBACK ForChild(HWND child, LPARAM lparam) {
    try {
      reinterpret_cast<const Obsidian*>(lparam)->Classify(child);
    } catch (...) {
      // A control left in the system's look; nothing may leave the callback.
    }
    return TRUE;
  }

  void Classify(HWND child) const {
    Palette& palette = *palette_;
    if (HasClass(child, WC_BUTTONW)) {
      const LONG type = GetWindowLongW(child, GWL_STYLE) & BS_TYPEMASK;
      if (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON) Subclass(child, std::make_unique<PushButtonPainter>(palette));
      if (type == BS_CHECKBOX || type == BS_AUTOCHECKBOX) Subclass(child, std::make_unique<CheckBoxPainter>(palette));
    } else if (HasClass(child, WC_EDITW)) {
      // The combo's own field has no frame of its own to draw.
      if (!HasClass(GetParent(child), WC_COMBOBOXW)) Subclass(child, std::make_unique<EditPainter>(palette));
    } else if (HasClass(child, WC_COMBOBOXW)) {
      Subclass(child, std::make_unique<ComboPainter>(palette));
      // The drop-down list is a window of its own, outside the dialog.
      COMBOBOXINFO info{};
      info.cbSize = sizeof info;
      if (GetComboBoxInfo(child, &info) && info.hwndList != nullptr) {
        Subclass(info.hwndList, std::make_unique<DropListPainter>(palette));
      }
    } else if ((GetWindowLongW(child, GWL_EXSTYLE) & WS_EX_CONTROLPARENT) != 0) {
      Subclass(child, std::make_unique<SurfacePainter>(palette, SurfacePainter::Kind::Panel));
    }
  }

  static void Subclass(HWND window, std::unique_ptr<Painter> painter) {
    if (Functions().SetWindowSubclass(window, &SubclassProcedure, kSubclassId, reinterpret_cast<DWORD_PTR>(painter.get()))) {
      painter.release();  // freed by the subclass at WM_NCDESTROY
    }
  }

  const ThemeColors colors_;
  const HighContrastQuery high_contrast_;
  // Const for the windows it is applied to; made on the first Apply, and
  // its high-contrast state follows the system.
  mutable std::unique_ptr<Palette> palette_;
};

bool AnnouncesSystemChange(UINT message) {
  return message == WM_SETTINGCHANGE || message == WM_SYSCOLORCHANGE || message == WM_THEMECHANGED;
}

LRESULT CALLBACK SubclassProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR id,
                                   DWORD_PTR data) {
  auto* painter = reinterpret_cast<Painter*>(data);
  // Loaded: the subclass was set through them.
  const platform::DialogFunctions& f = Functions();
  if (message == WM_NCDESTROY) {
    f.RemoveWindowSubclass(window, &SubclassProcedure, id);
    delete painter;
    return f.DefSubclassProc(window, message, wparam, lparam);
  }
  try {
    if (AnnouncesSystemChange(message)) painter->SystemChanged(window);
    LRESULT result = 0;
    if (painter->Active() && painter->Handle(window, message, wparam, lparam, result)) return result;
  } catch (...) {
    // Drawing falls back to the system's look; nothing may leave a window procedure.
  }
  return f.DefSubclassProc(window, message, wparam, lparam);
}

}  // namespace

std::unique_ptr<Theme> LoadTheme(HINSTANCE instance, const std::u16string& name) {
  return LoadTheme(instance, name, &HighContrast);
}

std::unique_ptr<Theme> LoadTheme(HINSTANCE instance, const std::u16string& name, HighContrastQuery high_contrast) {
  HRSRC resource = FindResourceW(instance, platform::W(name), RT_RCDATA);
  if (resource == nullptr) return nullptr;
  HGLOBAL loaded = LoadResource(instance, resource);
  const void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
  const DWORD size = SizeofResource(instance, resource);
  if (data == nullptr || size == 0) return nullptr;
  const auto colors = ParseTheme(std::string_view(static_cast<const char*>(data), size));
  if (!colors) return nullptr;
  return std::make_unique<Obsidian>(*colors, high_contrast);
}

bool HighContrast() {
  HIGHCONTRASTW hc{};
  hc.cbSize = sizeof hc;
  return SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof hc, &hc, 0) && (hc.dwFlags & HCF_HIGHCONTRASTON) != 0;
}

void ShowMissingStyle(const std::u16string& name, const std::u16string& caption) {
  const std::u16string text = u"Style '" + name + u"' not found";
  // The task dialog needs version 6 of the common controls (the manifest
  // asks for it), loaded here for this box alone; without it the plain box
  // says the same.
  decltype(platform::DialogFunctions::TaskDialogIndirect) task_dialog = nullptr;
  try {
    task_dialog = platform::DialogLibraries().TaskDialogIndirect;
  } catch (...) {
    // The plain box below.
  }
  if (task_dialog != nullptr) {
    TASKDIALOGCONFIG config{};
    config.cbSize = sizeof config;
    config.dwCommonButtons = TDCBF_CLOSE_BUTTON;
    config.pszWindowTitle = platform::W(caption);
    config.pszMainIcon = TD_ERROR_ICON;
    config.pszContent = platform::W(text);
    if (SUCCEEDED(task_dialog(&config, nullptr, nullptr, nullptr))) return;
  }
  MessageBoxW(nullptr, platform::W(text), platform::W(caption), MB_OK | MB_ICONERROR);
}

}  // namespace qlx::ui

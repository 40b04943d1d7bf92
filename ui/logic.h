#pragma once
// The parts of the tray and the dialog that need no window: the dialog's
// layout and its scaling, where the dialog opens, the drive field's
// completion, the error box's text and the tray record's text fields. The
// Win32 side only carries these out, so they are tested natively.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qlx::ui {

// ---------------------------------------------------------------- layout

struct Rect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  bool operator==(const Rect&) const = default;
};

// The dialog's parts, in the order their windows are created: this order is
// both the z-order (each label just before its field, so screen readers name
// the field) and, among the parts that take the focus, the tab order.
enum class DialogPart {
  ButtonPanel,
  SaveButton,
  ApplyButton,
  ConnectButton,
  CancelButton,
  UserLabel,
  UserField,
  PasswordLabel,
  PasswordField,
  DriveLabel,
  DriveField,
  AutoRunBox,
  AutoConnectBox,
};
inline constexpr std::size_t kPartCount = 13;

enum class ControlKind { Panel, Button, Label, Text, Password, Combo, CheckBox };

struct ControlLayout {
  DialogPart part;
  ControlKind kind;
  std::u16string_view text;
  Rect position;  // at 96 DPI, relative to its container
  bool in_panel;
  bool tab_stop;
};

// Client area of the dialog at 96 DPI.
inline constexpr int kClientWidth = 379;
inline constexpr int kClientHeight = 192;
// Tahoma's character height at 96 DPI (the font's lfHeight is its negative).
inline constexpr int kFontHeight = 13;

// Every part in creation order.
const std::array<ControlLayout, kPartCount>& DialogLayout();
const ControlLayout& LayoutOf(DialogPart part);

// MulDiv(value, dpi, 96): rounded to nearest, halves away from zero.
int Scale(int value, int dpi);
Rect Scale(const Rect& rect, int dpi);

// The button panel is docked along the bottom edge over the full width: its
// place follows the client area's, whatever the scaling did to each.
Rect PanelPosition(int client_width, int client_height, int dpi);

// The check box's square and the gap between its caption and the square, at
// 96 DPI: the theme draws them, and the layout leaves room for them.
inline constexpr int kCheckBoxSide = 13;
inline constexpr int kCheckBoxGap = 4;

// Where a label or a check box goes at DPI once its caption's width in the
// dialog's font is known. The positions above were drawn for one system's
// Tahoma; with wider letters the caption would be cut. So when it does not
// fit, a label grows to the right, up to just before the fields, and a check
// box grows to the left, its square staying where it was, up to just after
// the drive field. Any other part, or a caption that fits, keeps its place.
Rect FitCaption(DialogPart part, int caption_width, int dpi);

// Where a window of the given size opens, centred on the rectangle that
// spans all monitors, its top-left corner kept inside that rectangle.
struct Point {
  int x = 0;
  int y = 0;
  bool operator==(const Point&) const = default;
};
Point CentreOnDesktop(const Rect& desktop, int width, int height);

// ------------------------------------------------------- drive field

// "A:" to "Z:".
std::vector<std::u16string> DriveEntries();

struct Completion {
  std::u16string text;
  std::size_t selection_start = 0;  // the appended part is selected
  std::size_t selection_end = 0;
  bool operator==(const Completion&) const = default;
};
// Typing `typed` completes it with the rest of the first entry that begins
// with it, compared without regard to ASCII case; the typed characters stay
// as typed. Nothing to append (no entry, or an exact entry) gives nullopt.
std::optional<Completion> Complete(std::u16string_view typed, const std::vector<std::u16string>& entries);

// ------------------------------------------------------------ texts

// The error box's text: the message with "." appended when its last
// character's code is above that of ".".
std::u16string ErrorBoxText(std::u16string_view message);

// The tray record's text fields hold at most `capacity - 1` characters and a
// terminating zero. A text that is longer is cut, never inside a surrogate
// pair (a half pair is no character and shows as garbage).
std::u16string_view Truncate(std::u16string_view text, std::size_t capacity);

// Copies `text` (cut to fit) into a zero-terminated field when it differs
// from what the field holds; true when it copied.
bool CopyIfDifferent(char16_t* field, std::size_t capacity, std::u16string_view text);
template <std::size_t N>
bool CopyIfDifferent(char16_t (&field)[N], std::u16string_view text) {
  return CopyIfDifferent(field, N, text);
}

inline constexpr std::size_t kTipCapacity = 128;        // tooltip: 127 characters
inline constexpr std::size_t kInfoTitleCapacity = 64;   // balloon title: 63
inline constexpr std::size_t kInfoCapacity = 256;       // balloon text: 255

// ------------------------------------------------------------ tray icon

// The shell's notification area as the tray icon uses it: the whole record
// added or modified, with or without its balloon; true when the shell took
// the request.
class NotificationArea {
 public:
  virtual ~NotificationArea() = default;
  virtual bool Add(bool with_balloon) = 0;
  virtual bool Modify(bool with_balloon) = 0;
};

// Whether the shell shows the icon, and a balloon that waits for it. The
// shell may take icons late (at logon), may restart and forget them, and may
// announce a new taskbar while it still holds the icon (a change of the
// display's scale).
class TrayIconPlacement {
 public:
  explicit TrayIconPlacement(NotificationArea& area) : area_(area) {}

  // Puts the record in place, whether or not the shell still holds an
  // earlier one, with a waiting balloon; true when the shell shows the icon.
  bool Place();
  // A balloon: at once when the shell takes it, otherwise with the next
  // placement that succeeds. A balloon that was shown never comes again.
  void ShowBalloon();
  bool shown() const { return shown_; }
  bool balloon_waiting() const { return balloon_waiting_; }

 private:
  NotificationArea& area_;
  bool shown_ = false;
  bool balloon_waiting_ = false;
};

}  // namespace qlx::ui

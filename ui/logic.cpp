#include "ui/logic.h"

#include <algorithm>
#include <cstdlib>

#include "base/ascii.h"

namespace qlx::ui {

namespace {

constexpr std::array<ControlLayout, kPartCount> kLayout{{
    {DialogPart::ButtonPanel, ControlKind::Panel, u"", {0, 151, 379, 41}, false, false},
    {DialogPart::SaveButton, ControlKind::Button, u"Salva", {215, 8, 75, 25}, true, true},
    {DialogPart::ApplyButton, ControlKind::Button, u"Applica", {134, 8, 75, 25}, true, true},
    {DialogPart::ConnectButton, ControlKind::Button, u"Connetti", {52, 8, 75, 25}, true, true},
    {DialogPart::CancelButton, ControlKind::Button, u"Annulla", {296, 8, 75, 25}, true, true},
    {DialogPart::UserLabel, ControlKind::Label, u"Utente:", {10, 20, 42, 16}, false, false},
    {DialogPart::UserField, ControlKind::Text, u"", {90, 17, 263, 24}, false, true},
    {DialogPart::PasswordLabel, ControlKind::Label, u"Password:", {10, 50, 60, 16}, false, false},
    {DialogPart::PasswordField, ControlKind::Password, u"", {90, 47, 135, 24}, false, true},
    {DialogPart::DriveLabel, ControlKind::Label, u"Drive:", {10, 88, 34, 16}, false, false},
    {DialogPart::DriveField, ControlKind::Combo, u"", {90, 85, 71, 24}, false, true},
    {DialogPart::AutoRunBox, ControlKind::CheckBox, u"Esecuzione automatica", {192, 89, 161, 17}, false, true},
    {DialogPart::AutoConnectBox, ControlKind::CheckBox, u"Connessione automatica", {192, 112, 161, 17}, false, true},
}};

bool SameIgnoringCase(char16_t a, char16_t b) { return AsciiLower(a) == AsciiLower(b); }

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }

}  // namespace

const std::array<ControlLayout, kPartCount>& DialogLayout() { return kLayout; }

const ControlLayout& LayoutOf(DialogPart part) { return kLayout.at(static_cast<std::size_t>(part)); }

int Scale(int value, int dpi) {
  // As MulDiv(value, dpi, 96): the exact quotient rounded half away from zero.
  const long long product = static_cast<long long>(value) * dpi;
  const long long half = 48;
  return static_cast<int>(product >= 0 ? (product + half) / 96 : -((-product + half) / 96));
}

Rect Scale(const Rect& rect, int dpi) {
  return {Scale(rect.left, dpi), Scale(rect.top, dpi), Scale(rect.width, dpi), Scale(rect.height, dpi)};
}

Rect PanelPosition(int client_width, int client_height, int dpi) {
  const int height = Scale(LayoutOf(DialogPart::ButtonPanel).position.height, dpi);
  return {0, client_height - height, client_width, height};
}

Rect FitCaption(DialogPart part, int caption_width, int dpi) {
  const ControlLayout& c = LayoutOf(part);
  Rect r = Scale(c.position, dpi);
  // Room for the caption's last pixel column, which the extent leaves out.
  const int spare = 1;
  if (c.kind == ControlKind::Label) {
    // The fields all start at one left edge; a label stops a few pixels short of it.
    const int label_gap = 4;
    const int fields = Scale(LayoutOf(DialogPart::UserField).position.left, dpi) - Scale(label_gap, dpi);
    const int needed = caption_width + spare;
    if (needed > r.width) r.width = std::max(r.width, std::min(needed, fields - r.left));
  } else if (c.kind == ControlKind::CheckBox) {
    const Rect& drive = LayoutOf(DialogPart::DriveField).position;
    const int limit = Scale(drive.left + drive.width, dpi) + Scale(2 * kCheckBoxGap, dpi);
    const int needed = caption_width + Scale(kCheckBoxGap, dpi) + Scale(kCheckBoxSide, dpi) + spare;
    if (needed > r.width) {
      const int right = r.left + r.width;
      r.left = std::min(r.left, std::max(limit, right - needed));
      r.width = right - r.left;
    }
  }
  return r;
}

Point CentreOnDesktop(const Rect& desktop, int width, int height) {
  Point p{desktop.left + (desktop.width - width) / 2, desktop.top + (desktop.height - height) / 2};
  p.x = std::max(p.x, desktop.left);
  p.y = std::max(p.y, desktop.top);
  return p;
}

std::vector<std::u16string> DriveEntries() {
  std::vector<std::u16string> entries;
  for (char16_t c = u'A'; c <= u'Z'; ++c) entries.push_back(std::u16string{c, u':'});
  return entries;
}

std::optional<Completion> Complete(std::u16string_view typed, const std::vector<std::u16string>& entries) {
  if (typed.empty()) return std::nullopt;
  for (const auto& entry : entries) {
    if (entry.size() < typed.size()) continue;
    if (!std::equal(typed.begin(), typed.end(), entry.begin(), SameIgnoringCase)) continue;
    if (entry.size() == typed.size()) return std::nullopt;
    Completion c;
    c.text = std::u16string(typed) + entry.substr(typed.size());
    c.selection_start = typed.size();
    c.selection_end = c.text.size();
    return c;
  }
  return std::nullopt;
}

std::u16string ErrorBoxText(std::u16string_view message) {
  std::u16string text(message);
  if (!text.empty() && text.back() > u'.') text += u'.';
  return text;
}

std::u16string_view Truncate(std::u16string_view text, std::size_t capacity) {
  if (capacity == 0) return {};
  const std::size_t most = capacity - 1;
  if (text.size() <= most) return text;
  std::size_t n = most;
  if (n > 0 && IsHighSurrogate(text[n - 1])) --n;
  return text.substr(0, n);
}

bool CopyIfDifferent(char16_t* field, std::size_t capacity, std::u16string_view text) {
  const std::u16string_view fresh = Truncate(text, capacity);
  std::size_t current = 0;
  while (current < capacity && field[current] != 0) ++current;
  if (std::u16string_view(field, current) == fresh) return false;
  std::fill(field, field + capacity, char16_t{0});
  std::copy(fresh.begin(), fresh.end(), field);
  return true;
}

bool TrayIconPlacement::Place() {
  // An add is refused when the shell already holds the icon; a modify then
  // updates it in place. Removing it and adding it again would do as well,
  // but would move the icon to the end of the notification area and make it
  // flicker; a shell that has no icon refuses the modify, so the two calls
  // cannot show it twice.
  const bool balloon = balloon_waiting_;
  shown_ = area_.Add(balloon) || area_.Modify(balloon);
  if (shown_) balloon_waiting_ = false;
  return shown_;
}

void TrayIconPlacement::ShowBalloon() {
  // A balloon sent to an icon the shell does not have is lost, and the add
  // that comes later would not carry it.
  balloon_waiting_ = !(shown_ && area_.Modify(true));
}

}  // namespace qlx::ui

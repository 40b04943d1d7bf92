#pragma once
// The colours of a theme, read from the small text form the program carries
// as a resource (res/obsidian.theme). Portable: the Win32 side only turns the
// values into brushes and pens.
//
// The text form, one setting a line:
//
//   ; a comment, up to the end of the line
//   dialog.background = #1E1F24      ; a trailing comment is fine too
//
// A key is followed by "=" and a colour written "#RRGGBB" (six hex digits,
// either case). Blank lines, spaces and tabs around the parts, CR LF line
// ends and a leading UTF-8 byte order mark are accepted. Every key below must
// be present exactly once; an unknown key, a repeated key, a missing key or a
// line of any other shape makes the whole text refused. A theme is part of
// the program, so a typo in it is a fault to be caught by the tests, not
// something to paper over with a guessed colour.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qlx::ui {

// A colour in the Win32 COLORREF layout, 0x00BBGGRR.
constexpr std::uint32_t ColorRef(std::uint8_t red, std::uint8_t green, std::uint8_t blue) noexcept {
  return static_cast<std::uint32_t>(red) | (static_cast<std::uint32_t>(green) << 8) |
         (static_cast<std::uint32_t>(blue) << 16);
}

// Each member is named after its key in the text form (in brackets).
struct ThemeColors {
  std::uint32_t DialogBackground = 0;     // [dialog.background] client area, labels' background
  std::uint32_t PanelBackground = 0;      // [panel.background] the bar that holds the buttons
  std::uint32_t Text = 0;                 // [text] labels
  std::uint32_t DisabledText = 0;         // [text.disabled] any disabled control's text
  std::uint32_t EditBackground = 0;       // [edit.background] edits and the combo's edit part
  std::uint32_t EditText = 0;             // [edit.text]
  std::uint32_t EditBorder = 0;           // [edit.border] edits, combo, drop-down list frame
  std::uint32_t Accent = 0;               // [accent] focus border and focus marks
  std::uint32_t ButtonFace = 0;           // [button.face]
  std::uint32_t ButtonHot = 0;            // [button.hot] face under the mouse
  std::uint32_t ButtonPressed = 0;        // [button.pressed] face while pushed
  std::uint32_t ButtonText = 0;           // [button.text]
  std::uint32_t ButtonBorder = 0;         // [button.border]
  std::uint32_t CheckBox = 0;             // [check.box] the square's fill
  std::uint32_t CheckBorder = 0;          // [check.border] the square's outline
  std::uint32_t CheckMark = 0;            // [check.mark]
  std::uint32_t CheckText = 0;            // [check.text] the check box's caption
  std::uint32_t SelectionBackground = 0;  // [selection.background] the drive list's highlighted entry
  std::uint32_t SelectionText = 0;        // [selection.text]
  std::uint32_t CaptionBackground = 0;    // [caption.background] title bar, where Windows lets it be coloured
  std::uint32_t CaptionText = 0;          // [caption.text]

  friend bool operator==(const ThemeColors&, const ThemeColors&) = default;
};

// The colours, or nullopt when the text is not a complete, well-formed theme.
std::optional<ThemeColors> ParseTheme(std::string_view text);
// As above; on refusal `error` says why, naming the line or the missing key
// ("line 4: unknown key 'butón.face'", "missing key 'accent'").
std::optional<ThemeColors> ParseTheme(std::string_view text, std::string& error);

}  // namespace qlx::ui

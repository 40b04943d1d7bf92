#include "ui/theme_file.h"

#include <array>
#include <cstddef>

namespace qlx::ui {

namespace {

struct Key {
  std::string_view name;
  std::uint32_t ThemeColors::*member;
};

constexpr std::array<Key, 21> kKeys{{
    {"dialog.background", &ThemeColors::DialogBackground},
    {"panel.background", &ThemeColors::PanelBackground},
    {"text", &ThemeColors::Text},
    {"text.disabled", &ThemeColors::DisabledText},
    {"edit.background", &ThemeColors::EditBackground},
    {"edit.text", &ThemeColors::EditText},
    {"edit.border", &ThemeColors::EditBorder},
    {"accent", &ThemeColors::Accent},
    {"button.face", &ThemeColors::ButtonFace},
    {"button.hot", &ThemeColors::ButtonHot},
    {"button.pressed", &ThemeColors::ButtonPressed},
    {"button.text", &ThemeColors::ButtonText},
    {"button.border", &ThemeColors::ButtonBorder},
    {"check.box", &ThemeColors::CheckBox},
    {"check.border", &ThemeColors::CheckBorder},
    {"check.mark", &ThemeColors::CheckMark},
    {"check.text", &ThemeColors::CheckText},
    {"selection.background", &ThemeColors::SelectionBackground},
    {"selection.text", &ThemeColors::SelectionText},
    {"caption.background", &ThemeColors::CaptionBackground},
    {"caption.text", &ThemeColors::CaptionText},
}};
// A new member without a key would silently stay black.
static_assert(sizeof(ThemeColors) == kKeys.size() * sizeof(std::uint32_t), "every colour needs its key");

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

std::string_view Trim(std::string_view text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::optional<std::uint32_t> ParseColor(std::string_view value) {
  if (value.size() != 7 || value[0] != '#') return std::nullopt;
  std::array<std::uint8_t, 3> rgb{};
  for (std::size_t i = 0; i < 3; ++i) {
    const int high = HexDigit(value[1 + 2 * i]);
    const int low = HexDigit(value[2 + 2 * i]);
    if (high < 0 || low < 0) return std::nullopt;
    rgb[i] = static_cast<std::uint8_t>(high * 16 + low);
  }
  return ColorRef(rgb[0], rgb[1], rgb[2]);
}

// Keeps messages readable whatever bytes a broken file holds.
std::string Quoted(std::string_view text) {
  constexpr std::size_t kMost = 40;
  std::string quoted = "'";
  quoted.append(text.substr(0, kMost));
  if (text.size() > kMost) quoted += "...";
  return quoted + "'";
}

}  // namespace

std::optional<ThemeColors> ParseTheme(std::string_view text, std::string& error) {
  error.clear();
  if (text.substr(0, kByteOrderMark.size()) == kByteOrderMark) text.remove_prefix(kByteOrderMark.size());

  ThemeColors colors;
  std::array<bool, kKeys.size()> seen{};
  std::size_t line_number = 0;
  auto refuse = [&](const std::string& why) {
    error = "line " + std::to_string(line_number) + ": " + why;
    return std::nullopt;
  };

  while (!text.empty()) {
    ++line_number;
    const auto end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);

    line = Trim(line.substr(0, line.find(';')));
    if (line.empty()) continue;

    const auto equals = line.find('=');
    if (equals == std::string_view::npos) return refuse("expected 'key = #RRGGBB', found " + Quoted(line));
    const std::string_view name = Trim(line.substr(0, equals));
    const std::string_view value = Trim(line.substr(equals + 1));

    std::size_t index = 0;
    while (index < kKeys.size() && kKeys[index].name != name) ++index;
    if (index == kKeys.size()) return refuse("unknown key " + Quoted(name));
    if (seen[index]) return refuse("key " + Quoted(name) + " given twice");

    const auto color = ParseColor(value);
    if (!color) return refuse("value of " + Quoted(name) + " is not a colour #RRGGBB: " + Quoted(value));
    colors.*kKeys[index].member = *color;
    seen[index] = true;
  }

  for (std::size_t i = 0; i < kKeys.size(); ++i) {
    if (!seen[i]) {
      error = "missing key " + Quoted(kKeys[i].name);
      return std::nullopt;
    }
  }
  return colors;
}

std::optional<ThemeColors> ParseTheme(std::string_view text) {
  std::string ignored;
  return ParseTheme(text, ignored);
}

}  // namespace qlx::ui

#include "ui/theme_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

namespace qlx::ui {
namespace {

// The keys of the text form with the member each must land in. Kept here by
// hand, apart from the parser's own table, so that a key wired to the wrong
// member shows.
struct KeyCase {
  const char* key;
  std::uint32_t ThemeColors::*member;
};
const std::vector<KeyCase>& AllKeys() {
  static const std::vector<KeyCase> keys{
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
  };
  return keys;
}

// Key i gets the colour #(i+1)(i+0x21)(i+0x41): distinct channels, distinct
// keys, so a swapped key or a swapped byte order cannot go unnoticed.
std::string HexOf(std::size_t i) {
  char text[8];
  std::snprintf(text, sizeof text, "#%02X%02X%02X", static_cast<unsigned>(i + 1), static_cast<unsigned>(i + 0x21),
                static_cast<unsigned>(i + 0x41));
  return text;
}
std::uint32_t ExpectedOf(std::size_t i) {
  return static_cast<std::uint32_t>((i + 0x41) << 16 | (i + 0x21) << 8 | (i + 1));
}

// A complete theme, one "key = colour" line per key, minus the key `skip`.
std::string Theme(const std::string& skip = "", const std::string& eol = "\n") {
  std::string text;
  for (std::size_t i = 0; i < AllKeys().size(); ++i) {
    if (AllKeys()[i].key == skip) continue;
    text += std::string(AllKeys()[i].key) + " = " + HexOf(i) + eol;
  }
  return text;
}

TEST(ThemeFile, EveryKeyLandsInItsMemberInColorRefOrder) {
  std::string error = "stale";
  const auto colors = ParseTheme(Theme(), error);
  ASSERT_TRUE(colors.has_value()) << error;
  EXPECT_EQ(error, "");
  for (std::size_t i = 0; i < AllKeys().size(); ++i) {
    EXPECT_EQ((*colors).*AllKeys()[i].member, ExpectedOf(i)) << AllKeys()[i].key;
  }
  // Written out once by hand: red is the low byte.
  EXPECT_EQ(colors->DialogBackground, 0x00412101u);
  EXPECT_EQ(ColorRef(0x12, 0x34, 0x56), 0x00563412u);
}

TEST(ThemeFile, AcceptsTheLayoutsAnEditorMayLeave) {
  const auto reference = ParseTheme(Theme());
  ASSERT_TRUE(reference.has_value());

  const std::string bom = "\xEF\xBB\xBF";
  std::string spaced;  // comments, blank lines, tabs, no spaces, lower-case hex, no final line end
  spaced += "; heading comment\n\n";
  for (std::size_t i = 0; i < AllKeys().size(); ++i) {
    std::string hex = HexOf(i);
    if (i % 2 == 0) {
      for (auto& c : hex) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    switch (i % 3) {
      case 0: spaced += std::string("\t") + AllKeys()[i].key + "\t=\t" + hex + "\t; why this colour\n"; break;
      case 1: spaced += std::string(AllKeys()[i].key) + "=" + hex + ";\n   \n"; break;
      default: spaced += std::string("   ") + AllKeys()[i].key + "   =   " + hex + "   \n"; break;
    }
  }
  spaced += "  ; closing comment without a line end";

  const std::vector<std::pair<const char*, std::string>> forms{
      {"CR LF line ends", Theme("", "\r\n")},
      {"UTF-8 byte order mark", bom + Theme()},
      {"byte order mark and CR LF", bom + Theme("", "\r\n")},
      {"comments, blanks, tabs, either case", spaced},
      {"no line end after the last", Theme().substr(0, Theme().size() - 1)},
  };
  for (const auto& [what, text] : forms) {
    std::string error;
    const auto colors = ParseTheme(text, error);
    ASSERT_TRUE(colors.has_value()) << what << ": " << error;
    EXPECT_EQ(*colors, *reference) << what;
  }
}

TEST(ThemeFile, EachMissingKeyIsNamed) {
  for (const auto& key : AllKeys()) {
    std::string error;
    EXPECT_FALSE(ParseTheme(Theme(key.key), error).has_value()) << key.key;
    EXPECT_EQ(error, std::string("missing key '") + key.key + "'");
    EXPECT_FALSE(ParseTheme(Theme(key.key)).has_value()) << key.key;
  }
  std::string error;
  EXPECT_FALSE(ParseTheme("", error).has_value());
  EXPECT_EQ(error, "missing key 'dialog.background'");
  EXPECT_FALSE(ParseTheme("; only a comment\n\n", error).has_value());
  EXPECT_EQ(error, "missing key 'dialog.background'");
}

// Each bad line is put in the middle of an otherwise complete theme, at line
// 3, after two good lines; its key (where it has one) is taken out of the
// rest so that only the bad line can be at fault.
TEST(ThemeFile, RefusesMalformedLinesAndSaysWhere) {
  struct Bad {
    const char* line;
    const char* skip;  // the key the line stands in for
    const char* reason;
  };
  const std::vector<Bad> cases{
      {"accent #7EA6F2", "accent", "line 3: expected 'key = #RRGGBB', found 'accent #7EA6F2'"},
      {"accent = #7EA6F", "accent", "line 3: value of 'accent' is not a colour #RRGGBB: '#7EA6F'"},
      {"accent = #7EA6F2A", "accent", "line 3: value of 'accent' is not a colour #RRGGBB: '#7EA6F2A'"},
      {"accent = 7EA6F2", "accent", "line 3: value of 'accent' is not a colour #RRGGBB: '7EA6F2'"},
      {"accent = #7EA6G2", "accent", "line 3: value of 'accent' is not a colour #RRGGBB: '#7EA6G2'"},
      {"accent = #7E A6F2", "accent", "line 3: value of 'accent' is not a colour #RRGGBB: '#7E A6F2'"},
      {"accent = #-1A6F2", "accent", "line 3: value of 'accent' is not a colour #RRGGBB: '#-1A6F2'"},
      {"accent =", "accent", "line 3: value of 'accent' is not a colour #RRGGBB: ''"},
      {"accent = #7EA6F2 = #000000", "accent",
       "line 3: value of 'accent' is not a colour #RRGGBB: '#7EA6F2 = #000000'"},
      {"= #7EA6F2", "", "line 3: unknown key ''"},
      {"Accent = #7EA6F2", "accent", "line 3: unknown key 'Accent'"},
      {"accent.colour = #7EA6F2", "accent", "line 3: unknown key 'accent.colour'"},
      {"button face = #7EA6F2", "button.face", "line 3: unknown key 'button face'"},
      {"text = #000000", "", "line 6: key 'text' given twice"},  // told where it repeats
  };
  const std::string head = "; header\n\n";
  for (const auto& bad : cases) {
    std::string error;
    const std::string text = head + bad.line + "\n" + Theme(bad.skip);
    EXPECT_FALSE(ParseTheme(text, error).has_value()) << bad.line;
    EXPECT_EQ(error, bad.reason) << bad.line;
    EXPECT_FALSE(ParseTheme(text).has_value()) << bad.line;
  }
}

TEST(ThemeFile, RefusesBytesThatHaveNoPlaceInATheme) {
  struct Bad {
    const char* what;
    std::string lines;  // stand in for the keys "text" and "text.disabled"
    const char* reason;
  };
  const std::string disabled = "text.disabled = #858995\n";
  const std::vector<Bad> cases{
      {"NUL inside a value", std::string("text = #E3E5\0EA\n", 16) + disabled,
       "line 20: value of 'text' is not a colour"},
      {"NUL inside a key", std::string("te\0xt = #E3E5EA\n", 16) + disabled, "line 20: unknown key 'te"},
      {"a lone CR between lines", "text = #E3E5EA\rtext.disabled = #858995\n",
       "line 20: value of 'text' is not a colour"},
      {"byte order mark not at the start", "\xEF\xBB\xBFtext = #E3E5EA\n" + disabled, "line 20: unknown key '\xEF"},
  };
  std::string base = Theme("text");
  const auto from = base.find("text.disabled");
  base.erase(from, base.find('\n', from) - from + 1);
  ASSERT_TRUE(ParseTheme(base + "text = #E3E5EA\n" + disabled).has_value());  // the frame itself is sound
  for (const auto& bad : cases) {
    std::string error;
    EXPECT_FALSE(ParseTheme(base + bad.lines, error).has_value()) << bad.what;
    EXPECT_EQ(error.rfind(bad.reason, 0), 0u) << bad.what << ": " << error;
  }
  // A long junk key is cut in the message rather than copied whole.
  std::string error;
  EXPECT_FALSE(ParseTheme(std::string(5000, 'x') + " = #000000\n", error).has_value());
  EXPECT_EQ(error, "line 1: unknown key '" + std::string(40, 'x') + "...'");
}

// WCAG 2 relative luminance and contrast ratio.
double Luminance(std::uint32_t colorref) {
  auto channel = [](unsigned value) {
    const double c = value / 255.0;
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
  };
  return 0.2126 * channel(colorref & 0xFF) + 0.7152 * channel((colorref >> 8) & 0xFF) +
         0.0722 * channel((colorref >> 16) & 0xFF);
}
double Contrast(std::uint32_t a, std::uint32_t b) {
  const double la = Luminance(a);
  const double lb = Luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

TEST(ThemeFile, ContrastMeasureMatchesKnownValues) {
  EXPECT_NEAR(Contrast(ColorRef(0, 0, 0), ColorRef(255, 255, 255)), 21.0, 1e-9);
  EXPECT_NEAR(Contrast(ColorRef(0x77, 0x77, 0x77), ColorRef(255, 255, 255)), 4.48, 0.01);
  EXPECT_NEAR(Contrast(ColorRef(0, 0, 255), ColorRef(0, 0, 0)), 2.44, 0.01);  // blue is dark
}

#ifdef QLX_OBSIDIAN_THEME_FILE
std::string ReadFile(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(ObsidianTheme, CommittedFileParsesAndIsDarkAndReadable) {
  const std::string text = ReadFile(QLX_OBSIDIAN_THEME_FILE);
  ASSERT_FALSE(text.empty()) << QLX_OBSIDIAN_THEME_FILE;
  std::string error;
  const auto theme = ParseTheme(text, error);
  ASSERT_TRUE(theme.has_value()) << error;
  const ThemeColors& c = *theme;

  // Dark: the surfaces are deep, the text light.
  for (auto surface : {c.DialogBackground, c.PanelBackground, c.EditBackground, c.ButtonFace, c.CheckBox,
                       c.CaptionBackground}) {
    EXPECT_LT(Luminance(surface), 0.05);
  }
  EXPECT_GT(Luminance(c.Text), 0.6);

  struct Pair {
    const char* what;
    std::uint32_t fore, back;
    double least;
  };
  const std::vector<Pair> pairs{
      {"text on dialog", c.Text, c.DialogBackground, 4.5},
      {"text on panel", c.Text, c.PanelBackground, 4.5},
      {"edit text", c.EditText, c.EditBackground, 4.5},
      {"button text on face", c.ButtonText, c.ButtonFace, 4.5},
      {"button text when hot", c.ButtonText, c.ButtonHot, 4.5},
      {"button text when pressed", c.ButtonText, c.ButtonPressed, 4.5},
      {"check box caption", c.CheckText, c.DialogBackground, 4.5},
      {"check mark in its box", c.CheckMark, c.CheckBox, 4.5},
      {"highlighted drive entry", c.SelectionText, c.SelectionBackground, 4.5},
      {"title bar text", c.CaptionText, c.CaptionBackground, 4.5},
      // Disabled text and outlines: the 3:1 asked of inactive text and of
      // the boundaries of controls.
      {"disabled text on dialog", c.DisabledText, c.DialogBackground, 3.0},
      {"disabled text on panel", c.DisabledText, c.PanelBackground, 3.0},
      {"disabled text in an edit", c.DisabledText, c.EditBackground, 3.0},
      {"disabled text on a button", c.DisabledText, c.ButtonFace, 3.0},
      {"edit border on dialog", c.EditBorder, c.DialogBackground, 3.0},
      {"check box outline on dialog", c.CheckBorder, c.DialogBackground, 3.0},
      {"button border on panel", c.ButtonBorder, c.PanelBackground, 3.0},
      {"focus border on dialog", c.Accent, c.DialogBackground, 3.0},
      {"focus border on panel", c.Accent, c.PanelBackground, 3.0},
      {"focus border on a button", c.Accent, c.ButtonFace, 3.0},
  };
  for (const auto& p : pairs) {
    EXPECT_GE(Contrast(p.fore, p.back), p.least) << p.what;
  }
  // Hover and press must show: each face differs from the others.
  EXPECT_NE(c.ButtonFace, c.ButtonHot);
  EXPECT_NE(c.ButtonFace, c.ButtonPressed);
  EXPECT_NE(c.ButtonHot, c.ButtonPressed);
}
#endif

}  // namespace
}  // namespace qlx::ui

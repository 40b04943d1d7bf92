#include "base/utf.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/errors.h"

namespace qlx {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes FromHex(const std::string& hex) {
  Bytes out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
    out.push_back(static_cast<std::uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
  return out;
}

std::string ToHex(const Bytes& bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string hex;
  for (std::uint8_t b : bytes) {
    hex += digits[b >> 4];
    hex += digits[b & 15];
  }
  return hex;
}

TEST(Utf, RoundTripsNonAsciiAndAstralText) {
  const struct {
    std::u16string text;
    const char* utf8;
    const char* utf16le;
  } rows[] = {
      {u"", "", ""},
      {u"Z:", "5A3A", "5A003A00"},
      {u"perch\u00E8", "7065726368C3A8", "70006500720063006800E800"},
      {u"\u20AC\uFFFD", "E282ACEFBFBD", "AC20FDFF"},
      {u"\U0001F600!", "F09F988021", "3DD800DE2100"},
      {u"\U0010FFFF\u0080\u07FF\u0800", "F48FBFBFC280DFBFE0A080", "FFDBFFDF8000FF070008"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.utf8);
    const Bytes utf8 = EncodeText(row.text, TEncoding::UTF8);
    EXPECT_EQ(ToHex(utf8), row.utf8);
    EXPECT_EQ(DecodeText(utf8.data(), utf8.size(), TEncoding::UTF8), row.text);
    const Bytes utf16 = EncodeText(row.text, TEncoding::UTF16LE);
    EXPECT_EQ(ToHex(utf16), row.utf16le);
    EXPECT_EQ(DecodeText(utf16.data(), utf16.size(), TEncoding::UTF16LE), row.text);
    EXPECT_EQ(Utf8ToUtf16(Utf16ToUtf8(row.text)), row.text);
  }
}

std::string FailureOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const Error& e) {
    return e.what();
  }
  return "(accepted)";
}

TEST(Utf, InvalidUtf8IsRefusedWithTheSystemText) {
  const char* cases[] = {
      "80",            // continuation byte first
      "BF41",          // stray continuation
      "C0AF", "C1BF",  // overlong 2-byte forms
      "E080AF",        // overlong 3-byte
      "F0808080",      // overlong 4-byte
      "EDA080",        // U+D800, a surrogate
      "EDBFBF",        // U+DFFF
      "F4908080",      // past U+10FFFF
      "F5808080", "FF", "FE",
      "C3",       // truncated at the end
      "E282",     // truncated 3-byte
      "F09F98",   // truncated 4-byte
      "C341",     // continuation missing
      "E241AC",   // bad second byte
      "F09F9841", // bad last byte
      "41C3A8C3", // valid text then a truncated tail
  };
  for (const char* hex : cases) {
    const Bytes b = FromHex(hex);
    EXPECT_EQ(FailureOf([&] { DecodeText(b.data(), b.size(), TEncoding::UTF8); }), kNoMappingText) << hex;
    EXPECT_EQ(FailureOf([&] { Utf8ToUtf16(std::string(b.begin(), b.end())); }), kNoMappingText) << hex;
  }
}

TEST(Utf, LoneSurrogatesHaveNoUtf8Form) {
  for (const std::u16string& text : {std::u16string(1, u'\xD800'), std::u16string(1, u'\xDFFF'),
                                      std::u16string(u"a") + u'\xD83D' + u"b", std::u16string(u"a") + u'\xDE00',
                                      std::u16string(1, u'\xDE00') + u'\xD83D', std::u16string(u"x") + u'\xDBFF'}) {
    EXPECT_EQ(FailureOf([&] { EncodeText(text, TEncoding::UTF8); }), kNoMappingText);
    EXPECT_EQ(FailureOf([&] { Utf16ToUtf8(text); }), kNoMappingText);
  }
}

TEST(Utf, LoneSurrogatesAreReplacedOneForOneAndPairsKept) {
  const char16_t hi = 0xD83D, lo = 0xDE00, fffd = 0xFFFD;
  const struct {
    std::u16string text, replaced;
  } rows[] = {
      {{hi}, {fffd}},
      {{lo}, {fffd}},
      {{u'a', hi}, {u'a', fffd}},                 // high at the very end
      {{hi, u'b'}, {fffd, u'b'}},                 // high before a non-surrogate
      {{lo, hi}, {fffd, fffd}},                   // the wrong way round
      {{hi, hi, lo}, {fffd, hi, lo}},             // the second high pairs
      {{hi, lo, lo}, {hi, lo, fffd}},             // a pair, then a stray low
      {{hi, lo, u'x', 0xDBFF, 0xDFFF}, {hi, lo, u'x', 0xDBFF, 0xDFFF}},  // nothing to replace
      {{}, {}},
  };
  for (const auto& row : rows) {
    std::u16string text = row.text;
    ReplaceLoneSurrogates(text);
    EXPECT_EQ(text, row.replaced) << ToHex(EncodeText(row.text, TEncoding::UTF16LE));
    // Afterwards the strict conversion accepts it, and reads back the same.
    EXPECT_EQ(Utf8ToUtf16(Utf16ToUtf8(text)), text);
  }
}

TEST(Utf, Utf16LeKeepsCodeUnitsAsTheyAre) {
  // The password's key bytes: every code unit, low byte first, unchecked.
  const std::u16string lone(1, u'\xD800');
  EXPECT_EQ(ToHex(EncodeText(lone, TEncoding::UTF16LE)), "00D8");
  EXPECT_EQ(ToHex(EncodeText(u"K7Rp4mzq", TEncoding::UTF16LE)), "4B0037005200700034006D007A007100");
  const Bytes odd = {0x41, 0x00, 0x42};
  EXPECT_EQ(FailureOf([&] { DecodeText(odd.data(), odd.size(), TEncoding::UTF16LE); }), kNoMappingText);
}

}  // namespace
}  // namespace qlx

#include "settings/protected_value.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "base/utf.h"
#include "tests/settings/fixture.h"

namespace qlx::settings {
namespace {

using test::ErrorOf;
using test::kNoMapping;

bool IsAlphabet(char16_t c) {
  return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') || c == u'+' || c == u'/';
}

// Full lines of exactly 76 alphabet characters, each followed by CR LF,
// then a last line of whole groups with padding only at its very end.
void ExpectStoredGrammar(const std::u16string& stored) {
  std::size_t start = 0;
  for (;;) {
    const std::size_t crlf = stored.find(u"\r\n", start);
    if (crlf == std::u16string::npos) break;
    ASSERT_EQ(crlf - start, 76u) << "full line at " << start;
    for (std::size_t i = start; i < crlf; ++i) ASSERT_TRUE(IsAlphabet(stored[i])) << "at " << i;
    start = crlf + 2;
  }
  const std::u16string last = stored.substr(start);
  ASSERT_LE(last.size(), 76u);
  ASSERT_EQ(last.size() % 4, 0u);
  const std::size_t data_end = last.find_last_not_of(u'=');
  const std::size_t padding = data_end == std::u16string::npos ? last.size() : last.size() - 1 - data_end;
  ASSERT_LE(padding, 2u);
  for (std::size_t i = 0; i + padding < last.size(); ++i) ASSERT_TRUE(IsAlphabet(last[i])) << "last line at " << i;
}

std::u16string Repeat(const std::u16string& unit, std::size_t times) {
  std::u16string text;
  for (std::size_t i = 0; i < times; ++i) text += unit;
  return text;
}

struct LengthCase {
  std::u16string value;
  std::size_t inner_length;
  std::size_t stored_length;
  bool ends_with_crlf;
  std::u16string padding;
};

TEST(ProtectedValue, StoredLengthsFollowTheUtf8ByteCount) {
  const std::vector<LengthCase> cases = {
      {u"", 0, 0, false, u""},
      {u"S", 12, 16, false, u""},
      {u"Z:", 16, 24, false, u"=="},
      {Repeat(u"a", 34), 56, 76, false, u"="},
      {Repeat(u"\u00e8", 17), 56, 76, false, u"="},  // two bytes each
      {Repeat(u"a", 35), 60, 82, false, u""},
      {Repeat(u"\u00e8", 17) + u"a", 60, 82, false, u""},
      {Repeat(u"a", 161), 228, 312, true, u""},
      {Repeat(u"a", 162), 228, 312, true, u""},
      {Repeat(u"\u20ac", 54), 228, 312, true, u""},  // three bytes each
      {Repeat(u"a", 159) + u"\U0001D11E", 228, 312, true, u""},  // 163: four bytes for one pair
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "UTF-8 bytes: " << Utf16ToUtf8(c.value).size());
    const std::u16string stored = ProtectValue(c.value);
    EXPECT_EQ(stored.size(), c.stored_length);
    EXPECT_EQ(DecodeOuter(stored).size(), c.inner_length);
    EXPECT_EQ(stored.size() >= 2 && stored.substr(stored.size() - 2) == u"\r\n", c.ends_with_crlf);
    if (!c.padding.empty()) {
      EXPECT_EQ(stored.substr(stored.size() - c.padding.size()), c.padding);
    }
    ExpectStoredGrammar(stored);
    EXPECT_EQ(RevealValue(stored), c.value);
  }
}

TEST(ProtectedValue, EachProtectionDiffersAndBothReadBack) {
  const std::u16string value = u"C:\\Programmi\\QLXDrive\\QLXDrive.exe";
  const std::u16string first = ProtectValue(value);
  const std::u16string second = ProtectValue(value);
  EXPECT_NE(first, second);
  EXPECT_EQ(RevealValue(first), value);
  EXPECT_EQ(RevealValue(second), value);
  // The nonce sits in the inner layer, so the inner texts differ too.
  EXPECT_NE(DecodeOuter(first), DecodeOuter(second));
}

TEST(ProtectedValue, TextsWithoutEnoughAlphabetReadAsEmpty) {
  // "QQ" and "QUE" decode to the ASCII inner texts "A" and "AA", which are
  // shorter than one Base64 group of the codec.
  for (const std::u16string stored : {u"", u"\r\n", u"\r\n\r\n\r\n", u" \t=\n==", u"Q", u"QQ", u"QUE", u"Q\r\nQ"}) {
    SCOPED_TRACE(Utf16ToUtf8(stored));
    std::u16string result = u"unchanged";
    EXPECT_EQ(ErrorOf([&] { result = RevealValue(stored); }), "");
    EXPECT_EQ(result, u"");
  }
}

TEST(ProtectedValue, OuterBytesThatAreNotUtf8Raise) {
  const std::vector<std::vector<std::uint8_t>> cases = {
      {0xFF},
      {0xC3, 0x28},              // lead byte without continuation
      {0xE2, 0x82},              // truncated
      {0xED, 0xA0, 0x80},        // a surrogate
      {0xC0, 0xAF},              // overlong
      {'Q', 'U', 'J', 'D', 0x80},
  };
  for (const auto& bytes : cases) {
    const std::u16string stored = OuterEncoder().Encode(bytes.data(), bytes.size());
    EXPECT_EQ(ErrorOf([&] { RevealValue(stored); }), kNoMapping) << Utf16ToUtf8(stored);
  }
  // Three characters give two bytes, 0xFF 0xFF.
  EXPECT_EQ(ErrorOf([&] { RevealValue(u"///"); }), kNoMapping);
}

TEST(ProtectedValue, ValueProtectedUnderAnotherPasswordRaises) {
  // 64 bytes of wrongly deciphered data are never valid UTF-8 in practice.
  const std::u16string inner = EncryptText(u"K7Rp4mzQ", Repeat(u"0123456789abcdef", 4));
  EXPECT_EQ(ErrorOf([&] { RevealValue(EncodeOuter(inner)); }), kNoMapping);
  EXPECT_EQ(DecryptText(u"K7Rp4mzQ", inner), Repeat(u"0123456789abcdef", 4));
}

TEST(ProtectedValue, InnerTextsTooShortForANonceReadAsEmpty) {
  // 3 bytes, then 8 bytes: neither has anything after the 8-byte header.
  for (const std::u16string inner : {u"QUJD", u"QUJDREVGR0g=", u"QUJ"}) {
    EXPECT_EQ(DecryptText(kValuePassword, inner), u"") << Utf16ToUtf8(inner);
    EXPECT_EQ(RevealValue(EncodeOuter(inner)), u"") << Utf16ToUtf8(inner);
  }
}

using Bytes = std::vector<std::uint8_t>;

TEST(OuterEncoder, BreaksAfterEvery19thGroupAndCountsPaddingForNoLine) {
  const Base64LineEncoder& enc = OuterEncoder();
  const struct {
    std::size_t bytes, length;
    bool ends_with_crlf;
  } rows[] = {{0, 0, false},   {1, 4, false},   {56, 76, false},   {57, 78, true},     {58, 82, false},
              {60, 82, false}, {114, 156, true}, {115, 160, false}, {216, 294, false}, {228, 312, true}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.bytes);
    const Bytes data(row.bytes, 0x5A);
    const std::u16string text = enc.Encode(data.data(), data.size());
    EXPECT_EQ(text.size(), row.length);
    EXPECT_EQ(text.size() >= 2 && text.substr(text.size() - 2) == u"\r\n", row.ends_with_crlf);
    // Every full line is 76 characters.
    for (std::size_t at = text.find(u"\r\n"), start = 0; at != std::u16string::npos;
         start = at + 2, at = text.find(u"\r\n", start))
      EXPECT_EQ(at - start, 76u);
    EXPECT_EQ(enc.Decode(text), data);
  }
  // 1 byte left over: its group follows the last CR LF with "==".
  const Bytes d58(58, 1);
  const std::u16string t58 = enc.Encode(d58.data(), d58.size());
  EXPECT_EQ(t58.substr(76, 2), u"\r\n");
  EXPECT_EQ(t58.substr(80), u"==");
}

TEST(OuterEncoder, DecodingSkipsEverythingOutsideTheAlphabet) {
  const std::u16string plain = u"The quick brown fox jumps over the lazy dog, perch\u00e8 again and again and again.";
  const std::u16string text = EncodeOuter(plain);
  ASSERT_NE(text.find(u"\r\n"), std::u16string::npos);
  std::u16string lf_only, blanks, joined;
  for (char16_t c : text) {
    if (c == u'\r') continue;
    lf_only += c;
    blanks += c == u'\n' ? u' ' : c;
    if (c != u'\n') joined += c;
  }
  for (const auto& variant : {text, lf_only, blanks, joined, u"\t" + text + u"=\r\n", u"\u00e9" + text})
    EXPECT_EQ(DecodeOuter(variant), plain);
  // Remainders: 2 chars give 1 byte, 3 give 2, 1 gives nothing; "=" is skipped.
  const Base64LineEncoder& enc = OuterEncoder();
  EXPECT_EQ(enc.Decode(u"Zg"), (Bytes{'f'}));
  EXPECT_EQ(enc.Decode(u"Zm8"), (Bytes{'f', 'o'}));
  EXPECT_EQ(enc.Decode(u"Zm9vY"), (Bytes{'f', 'o', 'o'}));
  EXPECT_EQ(enc.Decode(u"Z=m=9=v"), (Bytes{'f', 'o', 'o'}));
  EXPECT_EQ(enc.Decode(u"+/+/"), (Bytes{0xFB, 0xFF, 0xBF}));
  EXPECT_TRUE(enc.Decode(u"\r\n\r\n").empty());
}

TEST(OuterEncoder, RoundTripsEveryLengthUpTo400) {
  const Base64LineEncoder& enc = OuterEncoder();
  std::mt19937 rng(2);
  for (std::size_t n = 0; n <= 400; ++n) {
    Bytes data(n);
    for (auto& b : data) b = static_cast<std::uint8_t>(rng());
    const std::u16string text = enc.Encode(data.data(), data.size());
    const std::size_t m = (n + 2) / 3 * 4;
    ASSERT_EQ(text.size(), m + 2 * (n / 57)) << n;
    ASSERT_EQ(enc.Decode(text), data) << n;
  }
}

// Writing never fails: a lone surrogate is protected as U+FFFD, the
// replacement Windows makes, while reading stays strict.
TEST(ProtectedValue, LoneSurrogatesAreProtectedAsTheReplacementCharacter) {
  const char16_t hi = 0xD83D, lo = 0xDE00;
  const struct {
    std::u16string value, reads_back;
  } cases[] = {
      {std::u16string(1, hi), u"\uFFFD"},
      {std::u16string(1, lo), u"\uFFFD"},
      {u"pw" + std::u16string(1, hi), u"pw\uFFFD"},                      // high at the very end
      {std::u16string(1, hi) + u"x", u"\uFFFDx"},                        // high before a non-surrogate
      {std::u16string{lo, hi}, u"\uFFFD\uFFFD"},                         // a pair the wrong way round
      {std::u16string{hi, hi, lo}, u"\uFFFD\U0001F600"},                  // the second high pairs
      {u"ok " + std::u16string{hi, lo} + u" ok", u"ok \U0001F600 ok"},    // a real pair is untouched
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "units: " << c.value.size());
    std::u16string stored;
    EXPECT_EQ(ErrorOf([&] { stored = ProtectValue(c.value); }), "");
    ExpectStoredGrammar(stored);
    EXPECT_EQ(RevealValue(stored), c.reads_back);
    // Three UTF-8 bytes for U+FFFD, as for any character of the BMP.
    EXPECT_EQ(DecodeOuter(stored).size(), 4 * ((Utf16ToUtf8(c.reads_back).size() + 8 + 2) / 3));
    EXPECT_EQ(ErrorOf([&] { EncodeOuter(c.value); }), "");
  }
  // Decrypting bytes that encode a surrogate is still refused.
  const std::vector<std::uint8_t> surrogate = {0xED, 0xA0, 0xBD};
  EXPECT_EQ(ErrorOf([&] { RevealValue(OuterEncoder().Encode(surrogate.data(), surrogate.size())); }),
            kNoMapping);
}

TEST(ProtectedValue, RunCodecUsesTheGivenPasswordInBothDirections) {
  const std::u16string text = u"Zo\u00eb \U0001F511 p\u00e4ss";
  for (const std::u16string& password : {std::u16string(kValuePassword), std::u16string(u"x"),
                                        Repeat(u"p", 28), Repeat(u"p", 29)}) {
    const std::u16string inner = RunCodec(text, password, true);
    EXPECT_EQ(RunCodec(inner, password, false), text);
    EXPECT_EQ(DecryptText(password, EncryptText(password, text)), text);
  }
  EXPECT_EQ(EncryptText(kValuePassword, u""), u"");
}

}  // namespace
}  // namespace qlx::settings

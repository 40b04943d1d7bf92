#include "cipher/base64.h"

#include <gtest/gtest.h>

#include "base/errors.h"
#include "base/utf.h"
#include "tests/cipher/primitives_util.h"

namespace qlx::cipher::test {
namespace {

std::u16string Encode(const std::string& s) {
  MemoryStream m(s.data(), s.size());
  return EncodeBase64Text(m);
}

std::string Decode(const std::u16string& text) {
  MemoryStream m;
  DecodeBase64Text(text, m);
  const Bytes b = m.Bytes();
  return {b.begin(), b.end()};
}

TEST(Base64Codec, EncodesWithPaddingAndTellingLengths) {
  const struct {
    const char* plain;
    const char16_t* encoded;
  } rows[] = {{"", u""},         {"f", u"Zg=="},         {"fo", u"Zm8="},       {"foo", u"Zm9v"},
              {"foob", u"Zm9vYg=="}, {"fooba", u"Zm9vYmE="}, {"foobar", u"Zm9vYmFy"}, {"\xFB\xFF\xBF", u"+/+/"}};
  for (const auto& row : rows) {
    EXPECT_EQ(Encode(row.plain), row.encoded) << row.plain;
    EXPECT_EQ(Decode(row.encoded), row.plain) << row.plain;
  }
  // The codec's own sizes: 9 ciphertext bytes -> 12 chars, 10 -> 16 with "==".
  EXPECT_EQ(Encode(std::string(9, 'x')).size(), 12u);
  const std::u16string ten = Encode(std::string(10, 'x'));
  EXPECT_EQ(ten.size(), 16u);
  EXPECT_EQ(ten.substr(14), u"==");
}

TEST(Base64Codec, EncodesTheWholeStreamWhateverItsPosition) {
  MemoryStream m("foobar", 6);
  m.SetPosition(4);
  EXPECT_EQ(EncodeBase64Text(m), u"Zm9vYmFy");
}

TEST(Base64Codec, DecodesWholeGroupsOfFourOnly) {
  EXPECT_EQ(Decode(u"Zm9vYmFy"), "foobar");
  EXPECT_EQ(Decode(u"Zm9vYmF"), "foo");  // the 3 trailing chars are dropped
  EXPECT_EQ(Decode(u"Zm9vY"), "foo");
  EXPECT_EQ(Decode(u"Zm9"), "");
  // "=" ends its group only; later groups are still read.
  EXPECT_EQ(Decode(u"Zg==Zm9v"), "ffoo");
  EXPECT_EQ(Decode(u"Zm=vZm9v"), "ffoo");
  EXPECT_EQ(Decode(u"Z===Zm9v"), "foo");
  EXPECT_EQ(Decode(u"====Zm9v"), "foo");
}

TEST(Base64Codec, ALineBreakTakesAPositionAndShiftsTheGroups) {
  EXPECT_EQ(Decode(u"Zm9v\r\nYmFy"), Decode(u"Zm9v") + Decode(u"\r\nYm") + Decode(u"Fy"));
  EXPECT_NE(Decode(u"Zm9v\r\nYmFy"), "foobar");
  EXPECT_EQ(Decode(u"Zm9v\r\nYmFy").size(), 6u);  // two whole groups, "Fy" dropped
  // Outside the alphabet a character counts as 0 and still takes its place.
  EXPECT_EQ(Decode(u"Zm9v A==").substr(3), Decode(u"AA=="));
  EXPECT_EQ(Decode(u"Zm\u00E99"), Decode(u"ZmA9"));
}

TEST(Base64Codec, AppendsToTheDestination) {
  MemoryStream m("ab", 2);
  DecodeBase64Text(u"Zm9v", m);
  EXPECT_EQ(ToHex(m.Bytes()), ToHex(Bytes{'a', 'b', 'f', 'o', 'o'}));
}

TEST(Base64Codec, RoundTripsEveryLengthUpTo400) {
  std::mt19937 rng(1);
  for (std::size_t n = 0; n <= 400; ++n) {
    const Bytes data = RandomBytes(rng, n);
    MemoryStream in(data.data(), data.size()), out;
    const std::u16string text = EncodeBase64Text(in);
    ASSERT_EQ(text.size(), (n + 2) / 3 * 4);
    DecodeBase64Text(text, out);
    ASSERT_EQ(out.Bytes(), data) << n;
  }
}

TEST(Base64LineEncoder, BreaksAfterEvery19thGroupAndCountsPaddingForNoLine) {
  TBase64LineEncoder enc;
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

TEST(Base64LineEncoder, StoredLengthsOfTheSettingsValues) {
  // The inner text of an n-byte setting is 4*ceil((n+8)/3) characters.
  TBase64LineEncoder enc;
  const struct {
    int n, stored;
  } rows[] = {{1, 16}, {2, 24}, {34, 76}, {35, 82}, {161, 312}, {162, 312}, {163, 312}};
  for (const auto [n, stored] : rows) {
    const std::u16string inner(4 * ((n + 8 + 2) / 3), u'A');
    const std::u16string text = enc.EncodeString(inner);
    EXPECT_EQ(text.size(), static_cast<std::size_t>(stored)) << n;
    EXPECT_EQ(enc.DecodeString(text), inner);
  }
}

TEST(Base64LineEncoder, DecodingSkipsEverythingOutsideTheAlphabet) {
  TBase64LineEncoder enc;
  const std::string s = "The quick brown fox jumps over the lazy dog, again and again and again and again.";
  const std::u16string text = enc.EncodeString(Widen(s));
  ASSERT_NE(text.find(u"\r\n"), std::u16string::npos);
  std::u16string lf_only, blanks, joined;
  for (char16_t c : text) {
    if (c == u'\r') continue;
    lf_only += c;
    blanks += c == u'\n' ? u' ' : c;
    if (c != u'\n') joined += c;
  }
  for (const auto& variant : {text, lf_only, blanks, joined, u"\t" + text + u"=\r\n"})
    EXPECT_EQ(Narrow(enc.DecodeString(variant)), s);
  // Remainders: 2 chars give 1 byte, 3 give 2, 1 gives nothing; "=" is skipped.
  EXPECT_EQ(enc.Decode(u"Zg"), (Bytes{'f'}));
  EXPECT_EQ(enc.Decode(u"Zm8"), (Bytes{'f', 'o'}));
  EXPECT_EQ(enc.Decode(u"Zm9vY"), (Bytes{'f', 'o', 'o'}));
  EXPECT_EQ(enc.Decode(u"Z=m=9=v"), (Bytes{'f', 'o', 'o'}));
  EXPECT_TRUE(enc.Decode(u"\r\n\r\n").empty());
}

TEST(Base64LineEncoder, DecodedBytesMustBeUtf8) {
  TBase64LineEncoder enc;
  const std::u16string accented = u"perch\u00E8 \U0001F600";
  EXPECT_EQ(enc.DecodeString(enc.EncodeString(accented)), accented);
  const Bytes bad = {'o', 'k', 0xC3};
  try {
    enc.DecodeString(enc.Encode(bad.data(), bad.size()));
    ADD_FAILURE() << "no error";
  } catch (const qlx::Error& e) {
    EXPECT_STREQ(e.what(), kNoMappingText);
  }
}

TEST(Base64LineEncoder, RoundTripsEveryLengthUpTo400) {
  TBase64LineEncoder enc;
  std::mt19937 rng(2);
  for (std::size_t n = 0; n <= 400; ++n) {
    const Bytes data = RandomBytes(rng, n);
    const std::u16string text = enc.Encode(data.data(), data.size());
    const std::size_t m = (n + 2) / 3 * 4;
    ASSERT_EQ(text.size(), m + 2 * (n / 57)) << n;
    ASSERT_EQ(enc.Decode(text), data) << n;
  }
}

}  // namespace
}  // namespace qlx::cipher::test

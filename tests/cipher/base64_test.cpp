#include "cipher/base64.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace qlx::cipher::test

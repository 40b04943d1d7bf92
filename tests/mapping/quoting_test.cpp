// AppendArgument against the argument convention the child reads with.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "mapping/mapping.h"
#include "tests/mapping/argv_parser.h"

namespace qlx::mapping {
namespace {

using test::SplitArguments;

std::u16string Quoted(const std::u16string& argument) {
  std::u16string line;
  AppendArgument(line, argument);
  return line;
}

TEST(Quoting, ExactForms) {
  struct Case {
    std::u16string argument, inserted;
  };
  const std::vector<Case> cases = {
      {u"segreta", u"segreta"},
      {u"a\\b", u"a\\b"},
      {u"a\\\\", u"a\\\\"},
      {u"&|<>^%!", u"&|<>^%!"},
      {u"\u00e8\U0001F600", u"\u00e8\U0001F600"},
      {u"", u""},
      {u"a b", u"\"a b\""},
      {u" ", u"\" \""},
      {u"a\tb", u"\"a\tb\""},
      {u"\"", u"\"\\\"\""},
      {u"a\"b", u"\"a\\\"b\""},
      {u"a\\\"b", u"\"a\\\\\\\"b\""},
      {u"a\\\\\"b", u"\"a\\\\\\\\\\\"b\""},
      {u"a b\\", u"\"a b\\\\\""},
      {u"a b\\\\", u"\"a b\\\\\\\\\""},
      {u"a\\b c", u"\"a\\b c\""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << (&c - cases.data()));
    EXPECT_EQ(Quoted(c.argument), c.inserted);
  }
}

TEST(Quoting, AppendsToWhatIsThere) {
  std::u16string line = u"NET USE ";
  AppendArgument(line, u"Z:");
  line += u" ";
  AppendArgument(line, u"x y");
  EXPECT_EQ(line, u"NET USE Z: \"x y\"");
}

// Whatever the text, the child reads it back as one argument, unchanged.
TEST(Quoting, EveryTextComesBackWholeFromTheParser) {
  const std::u16string alphabet = u"ab \t\"\\\u00e8/:@";
  std::mt19937 random(20240611);
  std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1), length(1, 12);
  for (int round = 0; round < 20000; ++round) {
    std::u16string text;
    for (std::size_t i = length(random); i > 0; --i) text.push_back(alphabet[pick(random)]);
    const std::u16string line = u"NET " + Quoted(text) + u" /x";
    const std::vector<std::u16string> expected = {u"NET", text, u"/x"};
    ASSERT_EQ(SplitArguments(line), expected) << "round " << round;
  }
}

// The parser itself, on forms written by hand, so that the round trip above
// is not one mistake agreeing with itself.
TEST(Quoting, ReferenceParserReadsKnownLines) {
  struct Case {
    std::u16string line;
    std::vector<std::u16string> arguments;
  };
  const std::vector<Case> cases = {
      {u"a b\tc", {u"a", u"b", u"c"}},
      {u"\"a b\" c", {u"a b", u"c"}},
      {u"a\\\\b", {u"a\\\\b"}},
      {u"a\\\"b", {u"a\"b"}},
      {u"a\\\\\"b c\"", {u"a\\b c"}},
      {u"\"a\\\\\"", {u"a\\"}},
      {u"/user:\"x y@d\"", {u"/user:x y@d"}},
      {u"  lead  trail  ", {u"lead", u"trail"}},
  };
  for (const auto& c : cases) EXPECT_EQ(SplitArguments(c.line), c.arguments);
}

}  // namespace
}  // namespace qlx::mapping

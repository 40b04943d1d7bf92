// The demonstration stand-in's reading of NET USE command lines, its WebDAV
// request and its local folder: the parts that decide what gets mapped.
#include "demo/net_command.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qlx::demo {
namespace {

using Words = std::vector<std::u16string>;

NetUse Parse(Words words) { return ParseNetUse(words); }

TEST(NetCommandTest, ReadsTheProgramsConnectLineWithItsTrailingBlankGone) {
  // The program's line, as the C runtime splits it: the trailing blank and the
  // quotes around a password with blanks leave no word of their own.
  const NetUse c = Parse({u"USE", u"q:", u"http://127.0.0.1:8642/mario.rossi", u"Cielo 42",
                          u"/user:mario.rossi@demo.example"});
  EXPECT_EQ(c.kind, NetUse::Kind::Connect);
  EXPECT_EQ(c.letter, u'Q');
  EXPECT_EQ(c.remote, u"http://127.0.0.1:8642/mario.rossi");
  EXPECT_TRUE(c.has_password);
  EXPECT_EQ(c.password, u"Cielo 42");
  EXPECT_EQ(c.account, u"mario.rossi@demo.example");
  EXPECT_EQ(Describe(c), u"NET USE Q: http://127.0.0.1:8642/mario.rossi *** /USER:mario.rossi@demo.example");
}

TEST(NetCommandTest, OptionsAreCaseBlindAndMayComeAnywhere) {
  const NetUse c = Parse({u"use", u"/User:Ann", u"K:", u"http://h/ann", u"/persistent:no", u"pw"});
  EXPECT_EQ(c.letter, u'K');
  EXPECT_EQ(c.account, u"Ann");  // the value keeps its case
  EXPECT_EQ(c.password, u"pw");

  for (const char16_t* option : {u"/DELETE", u"/delete", u"/D", u"/del"}) {
    const NetUse d = Parse({u"USE", u"z:", option});
    EXPECT_EQ(d.kind, NetUse::Kind::Delete) << std::string(option, option + 1);
    EXPECT_EQ(d.letter, u'Z');
    EXPECT_EQ(Describe(d), u"NET USE Z: /DELETE");
  }
}

TEST(NetCommandTest, WithoutAPasswordNothingIsHiddenAndThePasswordIsEmpty) {
  const NetUse c = Parse({u"USE", u"Q:", u"http://h/x"});
  EXPECT_FALSE(c.has_password);
  EXPECT_TRUE(c.password.empty());
  EXPECT_EQ(Describe(c), u"NET USE Q: http://h/x");
}

TEST(NetCommandTest, RefusesWhatIsNotNetUseSyntax) {
  const std::vector<Words> bad = {
      {},
      {u"VIEW"},
      {u"USE"},                                              // listing: not supported
      {u"USE", u"Q"},                                        // no colon
      {u"USE", u"1:", u"/DELETE"},                           // not a letter
      {u"USE", u"Q:\\", u"/DELETE"},                         // more than a drive
      {u"USE", u"Q:"},                                       // no remote folder
      {u"USE", u"Q:", u"http://h/x", u"two", u"words"},      // an unquoted blank in the password
      {u"USE", u"Q:", u"http://h/x", u"*"},                  // prompting
      {u"USE", u"Q:", u"http://h/x", u"/USER:a", u"/USER:b"},
      {u"USE", u"Q:", u"http://h/x", u"/SAVECRED"},
      {u"USE", u"Q:", u"http://h/x", u"/PERSISTENT:maybe"},
      {u"USE", u"Q:", u"http://h/x", u"/DELETE"},            // delete takes the letter alone
      {u"USE", u"Q:", u"/DELETE", u"/USER:a"},
      {u"USE", u"Q:", u"/"},                                 // "/" alone is no abbreviation
  };
  for (const auto& words : bad) {
    std::string shown;
    for (const auto& w : words) shown += std::string(w.begin(), w.end()) + " ";
    EXPECT_THROW(ParseNetUse(words), SyntaxError) << shown;
  }
}

TEST(NetCommandTest, TheWebDavUserIsTheBareName) {
  EXPECT_EQ(WebDavUser(u"mario.rossi@demo.example"), u"mario.rossi");
  EXPECT_EQ(WebDavUser(u"a@b@demo.example"), u"a@b");  // the domain follows the last "@"
  EXPECT_EQ(WebDavUser(u"DEMO\\mario"), u"mario");
  EXPECT_EQ(WebDavUser(u"mario"), u"mario");
  EXPECT_EQ(WebDavUser(u""), u"");
}

TEST(NetCommandTest, BasicAuthorizationEncodesTheUtf8OfUserColonPassword) {
  // RFC 7617's example, and the three lengths of the last group.
  EXPECT_EQ(BasicAuthorization(u"Aladdin", u"open sesame"), "Basic QWxhZGRpbjpvcGVuIHNlc2FtZQ==");
  EXPECT_EQ(BasicAuthorization(u"a", u"b"), "Basic YTpi");
  EXPECT_EQ(BasicAuthorization(u"ab", u"c"), "Basic YWI6Yw==");
  EXPECT_EQ(BasicAuthorization(u"ab", u"cd"), "Basic YWI6Y2Q=");
  // "zoë:€" is 7a 6f c3 ab 3a e2 82 ac in UTF-8.
  EXPECT_EQ(BasicAuthorization(u"zo\u00EB", u"\u20AC"), "Basic em/Dqzrigqw=");
}

TEST(NetCommandTest, ParsesTheFolderUrl) {
  WebDavUrl u = ParseWebDavUrl(u"http://127.0.0.1:8642/mario.rossi");
  EXPECT_FALSE(u.https);
  EXPECT_EQ(u.host, u"127.0.0.1");
  EXPECT_EQ(u.port, 8642);
  EXPECT_EQ(u.segments, (std::vector<std::string>{"mario.rossi"}));
  EXPECT_EQ(u.RequestPath(), "/mario.rossi");

  u = ParseWebDavUrl(u"HTTPS://Dav.Example/a%20b/zo\u00EB/");
  EXPECT_TRUE(u.https);
  EXPECT_EQ(u.host, u"Dav.Example");
  EXPECT_EQ(u.port, 443);
  EXPECT_EQ(u.segments, (std::vector<std::string>{"a b", "zo\xC3\xAB"}));
  EXPECT_EQ(u.RequestPath(), "/a%20b/zo%C3%AB");

  u = ParseWebDavUrl(u"http://[::1]:80");
  EXPECT_EQ(u.host, u"[::1]");
  EXPECT_EQ(u.port, 80);
  EXPECT_TRUE(u.segments.empty());
  EXPECT_EQ(u.RequestPath(), "/");
}

TEST(NetCommandTest, RefusesUrlsThatCouldLeaveTheServedFolder) {
  const std::vector<std::u16string> bad = {
      u"ftp://h/x",           u"\\\\h\\share",        u"http://",           u"http:///x",
      u"http://h:0/x",        u"http://h:65536/x",    u"http://h:8a/x",     u"http://h:/x",
      u"http://u:p@h/x",      u"http://h/x?y",        u"http://h/x#y",      u"http://h/../etc",
      u"http://h/a/./b",      u"http://h/a/%2e%2e",   u"http://h/a//b",     u"http://h/a%5cb",
      u"http://h/c%3a",       u"http://h/a%2",        u"http://h/a%zz",     u"http://h/%ff",
      u"http://h/a%00",       u"http://h/a*",         u"http://h_x/a",      u"http://[::1/a",
  };
  for (const auto& url : bad) {
    try {
      ParseWebDavUrl(url);
      ADD_FAILURE() << "accepted " << std::string(url.begin(), url.end());
    } catch (const NetError& e) {
      EXPECT_EQ(e.code(), kErrorBadNetName);
    }
  }
}

TEST(NetCommandTest, TheLocalFolderIsTheRootAndTheDecodedSegments) {
  const WebDavUrl u = ParseWebDavUrl(u"http://h:1/mario.rossi/Documenti%20condivisi");
  EXPECT_EQ(LocalFolder(u"Z:\\srv\\dav", u), u"Z:\\srv\\dav\\mario.rossi\\Documenti condivisi");
  EXPECT_EQ(LocalFolder(u"Z:\\srv\\dav\\\\", u), u"Z:\\srv\\dav\\mario.rossi\\Documenti condivisi");
  EXPECT_EQ(LocalFolder(u"Z:\\srv\\dav", ParseWebDavUrl(u"http://h/zo%C3%AB")), u"Z:\\srv\\dav\\zo\u00EB");
  EXPECT_EQ(LocalFolder(u"Z:\\srv\\dav", ParseWebDavUrl(u"http://h/")), u"Z:\\srv\\dav");
}

TEST(NetCommandTest, PropfindStatusesBecomeNetErrors) {
  EXPECT_NO_THROW(CheckPropfindStatus(207));
  EXPECT_NO_THROW(CheckPropfindStatus(200));
  const std::vector<std::pair<std::uint32_t, std::uint32_t>> cases = {
      {401, kErrorInvalidPassword}, {403, kErrorAccessDenied}, {404, kErrorBadNetName},
      {500, kErrorUnexpectedNetwork}, {301, kErrorUnexpectedNetwork}, {204, kErrorUnexpectedNetwork}};
  for (const auto& [status, code] : cases) {
    try {
      CheckPropfindStatus(status);
      ADD_FAILURE() << "status " << status << " passed";
    } catch (const NetError& e) {
      EXPECT_EQ(e.code(), code) << status;
      EXPECT_NE(std::string(e.what()).find(SystemErrorText(code)), std::string::npos) << e.what();
    }
  }
  EXPECT_EQ(SystemErrorText(kErrorInvalidPassword), "The specified network password is not correct.");
}

}  // namespace
}  // namespace qlx::demo

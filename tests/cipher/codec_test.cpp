#include "cipher/codec.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <functional>

#include "base/errors.h"
#include "base/utf.h"
#include "cipher/base64.h"
#include "cipher/blowfish.h"
#include "cipher/library.h"
#include "cipher/random.h"
#include "cipher/sha1.h"
#include "tests/cipher/engine_doubles.h"
#include "tests/cipher/engine_kat.h"

namespace qlx::cipher {
namespace {

using testing::Bytes;

constexpr char kNoMapping[] = "No mapping for the Unicode character exists in the target multi-byte code page";

void ExpectError(const std::function<void()>& action, const std::string& text) {
  try {
    action();
    ADD_FAILURE() << "no error, expected: " << text;
  } catch (const Error& e) {
    EXPECT_EQ(std::string(e.what()), text);
  }
}

// The library and codec the way the system sets them up.
struct SystemCodec {
  explicit SystemCodec(const std::u16string& password = testing::kSystemPassword) {
    codec.SetCryptoLibrary(&lib);
    codec.SetStreamCipherId(u"native.StreamToBlock");
    codec.SetChainModeId(u"native.CBC");
    codec.SetBlockCipherId(u"native.Blowfish");
    codec.SetPassword(password);
  }
  std::u16string Encrypt(const std::u16string& text) {
    std::u16string out;
    codec.EncryptString(text, out, TEncoding::UTF8);
    return out;
  }
  std::u16string Decrypt(const std::u16string& base64) {
    std::u16string out;
    codec.DecryptString(out, base64, TEncoding::UTF8);
    return out;
  }
  TSimpleCodec& Inner() { return dynamic_cast<TSimpleCodec&>(codec.Codec()); }
  const TBlowfishKey& Key() { return dynamic_cast<const TBlowfishKey&>(*Inner().Key()); }

  TCryptographicLibrary lib;  // outlives the codec
  TCodec codec;
};

Bytes DecodeBase64(const std::u16string& text) {
  MemoryStream s;
  DecodeBase64Text(text, s);
  return s.Bytes();
}

std::u16string Ascii(const std::string& s) { return std::u16string(s.begin(), s.end()); }

// --- Stream cipher double: identity "cipher" that records what the codec hands it.

struct SpyLog {
  std::vector<std::int64_t> chunks;
  Bytes seed;
  std::int64_t seedPosition = -1;
  MemoryStream* seedStream = nullptr;
  MemoryStream* lastChunk = nullptr;
};

class SpyKey final : public TSymetricKey {
 public:
  explicit SpyKey(Bytes b) : bytes(std::move(b)) {}
  void SaveToStream(Stream&) override {}
  void Burn() override { bytes.assign(bytes.size(), 0); }
  Bytes bytes;
};

class SpyRun final : public IStreamEncryptor, public IStreamDecryptor {
 public:
  SpyRun(Stream* out, SpyLog* log) : out_(out), log_(log) {}
  void Encrypt(Stream& s) override { Copy(s); }
  void Decrypt(Stream& s) override { Copy(s); }
  void End_Encrypt() override {}
  void End_Decrypt() override {}
  void Reset() override {}

 private:
  void Copy(Stream& s) {
    s.SetPosition(0);
    Bytes b(static_cast<std::size_t>(s.Size()));
    s.ReadBuffer(b.data(), static_cast<std::int64_t>(b.size()));
    log_->chunks.push_back(s.Size());
    log_->lastChunk = dynamic_cast<MemoryStream*>(&s);
    out_->WriteBuffer(b.data(), static_cast<std::int64_t>(b.size()));
  }
  Stream* out_;
  SpyLog* log_;
};

class SpyStreamCipher final : public IStreamCipher, public IControlObject, public ISeedByteSizeRange {
 public:
  std::u16string DisplayName() const override { return u"spy"; }
  std::u16string ProgId() const override { return u"test.Spy"; }
  TAlgorithmicFeatureSet Features() const override { return features; }
  std::u16string DefinitionURL() const override { return {}; }
  std::u16string WikipediaReference() const override { return {}; }
  std::unique_ptr<TSymetricKey> GenerateKey(Stream& Seed) override {
    log.seedPosition = Seed.Position();
    log.seedStream = dynamic_cast<MemoryStream*>(&Seed);
    log.seed.assign(static_cast<std::size_t>(Seed.Size()), 0);
    Seed.SetPosition(0);
    Seed.ReadBuffer(log.seed.data(), Seed.Size());
    return std::make_unique<SpyKey>(log.seed);
  }
  std::unique_ptr<TSymetricKey> LoadKeyFromStream(Stream*) override { return nullptr; }
  std::int32_t SeedByteSize() const override { return seedSize; }
  std::shared_ptr<IStreamCipher> MakeParameterized(IInterface*) override { return nullptr; }
  std::shared_ptr<IStreamEncryptor> Start_Encrypt(TSymetricKey*, Stream* out) override {
    return std::make_shared<SpyRun>(out, &log);
  }
  std::shared_ptr<IStreamDecryptor> Start_Decrypt(TSymetricKey*, Stream* out) override {
    return std::make_shared<SpyRun>(out, &log);
  }
  IInterface* ControlObject() override { return static_cast<IControlObject*>(this); }
  std::optional<IntegerRange> SeedByteSizeRange() const override { return range; }

  TAlgorithmicFeatureSet features{afDoesNotNeedSalt};
  std::int32_t seedSize = 8;
  std::optional<IntegerRange> range;
  SpyLog log;
};

struct SpyCodec {
  SpyCodec() {
    lib.RegisterStreamCipher(spy);
    codec.SetCryptoLibrary(&lib);
    codec.SetStreamCipherId(u"TEST.SPY");
  }
  std::shared_ptr<SpyStreamCipher> spy = std::make_shared<SpyStreamCipher>();
  TCryptographicLibrary lib;
  TCodec codec;
};

// ---------------------------------------------------------------------------

TEST(Codec, EmptyTextIsEmptyBase64BothWays) {
  SystemCodec c;
  EXPECT_EQ(c.Encrypt(u""), u"");
  EXPECT_EQ(c.Decrypt(u""), u"");
  EXPECT_EQ(c.Inner().Mode(), cmIdle);
}

TEST(Codec, Base64LengthFollowsTheUtf8Length) {
  SystemCodec c;
  // "\u00E9" is two UTF-8 bytes; "\u20AC" three.
  const std::u16string texts[] = {u"a", u"\u00E9", u"\u20AC", u"abcd", u"abcdefg", u"abcdefgh", u"abcdefghi",
                                  u"Z:\\remote\\cartella condivisa"};
  for (const std::u16string& text : texts) {
    const std::size_t n = EncodeText(text, TEncoding::UTF8).size();
    const std::u16string b64 = c.Encrypt(text);
    EXPECT_EQ(b64.size(), 4 * ((8 + n + 2) / 3)) << n;
    EXPECT_EQ(DecodeBase64(b64).size(), 8 + n);
    EXPECT_EQ(c.Decrypt(b64), text);
  }
  const std::u16string one = c.Encrypt(u"a");
  EXPECT_EQ(one.size(), 12u);
  EXPECT_EQ(one.find(u'='), std::u16string::npos);
  const std::u16string two = c.Encrypt(u"\u00E9");
  EXPECT_EQ(two.size(), 16u);
  EXPECT_EQ(two.substr(14), u"==");
}

TEST(Codec, SameTextTwiceDiffersAndBothDecrypt) {
  SystemCodec c;
  const std::u16string text = u"utente@example.it";
  const std::u16string a = c.Encrypt(text), b = c.Encrypt(text);
  EXPECT_NE(a, b);
  EXPECT_EQ(c.Decrypt(a), text);
  EXPECT_EQ(c.Decrypt(b), text);
  // A second codec with the same password reads them too.
  SystemCodec other;
  EXPECT_EQ(other.Decrypt(a), text);
}

TEST(Codec, PinnedStoredValues) {
  for (const auto& k : testing::kKnownAnswers) {
    SystemCodec c;
    TRandomStream::Instance().SetSeed(k.seed);
    EXPECT_EQ(c.Encrypt(k.text), Ascii(k.base64)) << k.seed;
    EXPECT_EQ(c.Decrypt(Ascii(k.base64)), k.text) << k.seed;
  }
}

TEST(Codec, LongPasswordsAreHashedShortOnesUsedRaw) {
  const std::u16string p28(28, u'x'), p29 = std::u16string(28, u'x') + u"\u0130";
  {
    SystemCodec c(p28);
    const Bytes raw = EncodeText(p28, TEncoding::UTF16LE);
    ASSERT_EQ(raw.size(), 56u);
    EXPECT_EQ(c.Key().SeedData(), raw);
    const TBlowfishKey direct(raw.data(), raw.size());
    EXPECT_EQ(c.Key().PBox(), direct.PBox());
    EXPECT_EQ(c.Decrypt(c.Encrypt(u"testo")), u"testo");
  }
  {
    SystemCodec c(p29);
    const Bytes raw = EncodeText(p29, TEncoding::UTF16LE);
    ASSERT_EQ(raw.size(), 58u);
    const TSha1Digest digest = Sha1(raw.data(), raw.size());
    EXPECT_EQ(c.Key().SeedData(), Bytes(digest.begin(), digest.end()));
    EXPECT_EQ(c.Decrypt(c.Encrypt(u"testo")), u"testo");
  }
  // The system password: its 16 UTF-16LE bytes, no hashing.
  SystemCodec sys;
  EXPECT_EQ(sys.Key().SeedData(), EncodeText(testing::kSystemPassword, TEncoding::UTF16LE));
}

TEST(Codec, SeedFittingToTheDeclaredRange) {
  struct Case {
    std::size_t units;
    std::int32_t seedSize;
    std::optional<IntegerRange> range;
    bool raw;              // the password bytes themselves
    std::size_t seedLen;   // else the digest fitted to this length
  } cases[] = {
      {4, 8, std::nullopt, true, 8},
      {8, 8, std::nullopt, false, 8},  // no range: exactly SeedByteSize
      {8, 8, IntegerRange{1, 56}, true, 16},
      {28, 8, IntegerRange{1, 56}, true, 56},
      {29, 8, IntegerRange{1, 56}, false, 20},
      {40, 8, IntegerRange{30, 60}, false, 30},  // digest repeated from its first byte
      {40, 8, IntegerRange{45, 60}, false, 45},
      {8, 8, IntegerRange{1, 10}, false, 10},  // digest cut
      {3, 8, IntegerRange{8, 56}, false, 20},
      {50, 8, IntegerRange{25, 200}, true, 100},
  };
  for (const Case& k : cases) {
    SpyCodec c;
    c.spy->seedSize = k.seedSize;
    c.spy->range = k.range;
    std::u16string password;
    for (std::size_t i = 0; i < k.units; ++i) password.push_back(static_cast<char16_t>(u'A' + i % 26 + (i % 3) * 0x100));
    c.codec.SetPassword(password);
    const Bytes raw = EncodeText(password, TEncoding::UTF16LE);
    Bytes expected;
    if (k.raw) {
      expected = raw;
    } else {
      const TSha1Digest d = Sha1(raw.data(), raw.size());
      for (std::size_t i = 0; i < k.seedLen; ++i) expected.push_back(d[i % d.size()]);
    }
    EXPECT_EQ(c.spy->log.seed, expected) << k.units << " units";
    EXPECT_EQ(c.spy->log.seedPosition, 0);
    // The seed buffer is wiped once the key is made.
    ASSERT_NE(c.spy->log.seedStream, nullptr);
    EXPECT_EQ(c.spy->log.seedStream->Size(), 0);
    EXPECT_TRUE(std::all_of(c.spy->log.seedStream->Memory(), c.spy->log.seedStream->Memory() + expected.size(),
                            [](std::uint8_t b) { return b == 0; }));
  }
  // A stream cipher without a block cipher gets an empty seed.
  SpyCodec none;
  none.spy->seedSize = -1;
  none.codec.SetPassword(u"pw");
  EXPECT_TRUE(none.spy->log.seed.empty());
  EXPECT_EQ(none.codec.Codec().Mode(), cmIdle);
}

TEST(Codec, DataGoesInPiecesOfAtMost1024ThroughAWipedBuffer) {
  SpyCodec c;
  c.codec.SetPassword(u"pw");
  ICodec& k = c.codec.Codec();
  const Bytes data = testing::PatternBytes(3000);
  auto wiped = [&](std::size_t n) {
    MemoryStream* buffer = c.spy->log.lastChunk;
    return buffer != nullptr && buffer->Size() == 0 &&
           std::all_of(buffer->Memory(), buffer->Memory() + n, [](std::uint8_t b) { return b == 0; });
  };
  for (bool encrypting : {true, false}) {
    SCOPED_TRACE(encrypting ? "encrypt" : "decrypt");
    c.spy->log = {};
    MemoryStream out;
    if (encrypting) {
      k.Begin_EncryptMemory(out);
      k.EncryptMemory(data.data(), 3000);
    } else {
      k.Begin_DecryptMemory(out);
      k.DecryptMemory(data.data(), 3000);
    }
    EXPECT_EQ(c.spy->log.chunks, (std::vector<std::int64_t>{1024, 1024, 952}));
    // Wiped by the feeding call itself, not only when the run closes.
    EXPECT_TRUE(wiped(952));
    encrypting ? k.End_EncryptMemory() : k.End_DecryptMemory();
    EXPECT_EQ(out.Bytes(), data);  // the spy copies: no salt added
  }
}

TEST(Codec, SaltForStreamCiphersThatWantIt) {
  SpyCodec c;
  c.spy->features = {};  // neither compressor, converter nor salt-free
  c.codec.SetPassword(u"pw");
  TRandomStream::Instance().SetSeed(0x77);
  std::u16string b64;
  c.codec.EncryptString(u"hello", b64, TEncoding::UTF8);
  Bytes expected = testing::LittleEndian(0x77);
  for (char ch : std::string("hello")) expected.push_back(static_cast<std::uint8_t>(ch));
  EXPECT_EQ(DecodeBase64(b64), expected);
  std::u16string back;
  c.codec.DecryptString(back, b64, TEncoding::UTF8);
  EXPECT_EQ(back, u"hello");  // the 8 salt bytes are swallowed
}

TEST(Codec, LongTextsAgreeWithTheAdapterFedWhole) {
  SystemCodec c;
  std::u16string text;
  for (int i = 0; i < 2500; ++i) text.push_back(static_cast<char16_t>(u'a' + i % 26 + (i % 7 == 0 ? 0x100 : 0)));
  TRandomStream::Instance().SetSeed(3);
  const std::u16string b64 = c.Encrypt(text);
  EXPECT_EQ(c.Decrypt(b64), text);

  auto adapter = testing::BoundAdapter(std::make_shared<TBlowFish>(), std::make_shared<TCBC>());
  auto key = testing::BlowfishKey(*adapter, EncodeText(testing::kSystemPassword, TEncoding::UTF16LE));
  TRandomStream::Instance().SetSeed(3);
  EXPECT_EQ(DecodeBase64(b64), testing::EncryptWith(*adapter, *key, EncodeText(text, TEncoding::UTF8),
                                                    testing::Chunking::Whole));
}

TEST(Codec, WrongPasswordMostlyRaisesNoMapping) {
  SystemCodec right, wrong(u"K7Rp4mzQ");
  int noMapping = 0;
  const int count = 24;
  for (int i = 0; i < count; ++i) {
    std::string value = "valore numero ";
    value += std::to_string(i);
    value += " del registro";
    const std::u16string text = Ascii(value);
    const std::u16string b64 = right.Encrypt(text);
    try {
      EXPECT_NE(wrong.Decrypt(b64), text);
    } catch (const Error& e) {
      EXPECT_EQ(std::string(e.what()), kNoMapping);
      ++noMapping;
    }
  }
  EXPECT_GE(noMapping, count * 3 / 4);
}

TEST(Codec, InvalidUtf8PlaintextIsRefusedWhole) {
  SystemCodec c;
  MemoryStream ct;
  c.codec.Codec().Begin_EncryptMemory(ct);
  const std::uint8_t bad[] = {'o', 'k', 0xC3};  // truncated sequence at the end
  c.codec.Codec().EncryptMemory(bad, sizeof bad);
  c.codec.Codec().End_EncryptMemory();
  ExpectError([&] { c.Decrypt(EncodeBase64Text(ct)); }, kNoMapping);
}

TEST(Codec, MalformedBase64) {
  SystemCodec c;
  const std::u16string text = u"password segreta";
  const std::u16string b64 = c.Encrypt(text);
  ASSERT_EQ(b64.size() % 4, 0u);
  // One to three trailing characters are ignored.
  for (const char16_t* extra : {u"Q", u"QU", u"QUJ"}) EXPECT_EQ(c.Decrypt(b64 + extra), text);
  for (const char16_t* tiny : {u"Q", u"QU", u"QUJ", u"==", u"\r\n"}) EXPECT_EQ(c.Decrypt(tiny), u"");
  // A line break takes two character positions like any other character.
  const std::u16string broken = b64.substr(0, 8) + u"\r\n" + b64.substr(8);
  EXPECT_NE(DecodeBase64(broken), DecodeBase64(b64));
  try {
    EXPECT_NE(c.Decrypt(broken), text);
  } catch (const Error& e) {
    EXPECT_EQ(std::string(e.what()), kNoMapping);
  }
}

TEST(Codec, SetterOrderDoesNotMatter) {
  std::array<int, 5> order = {0, 1, 2, 3, 4};
  std::u16string expected;
  int permutations = 0;
  do {
    TCryptographicLibrary lib;
    TCodec codec;
    for (int step : order) {
      switch (step) {
        case 0: codec.SetCryptoLibrary(&lib); break;
        case 1: codec.SetStreamCipherId(u"native.StreamToBlock"); break;
        case 2: codec.SetChainModeId(u"native.CBC"); break;
        case 3: codec.SetBlockCipherId(u"native.Blowfish"); break;
        case 4: codec.SetPassword(testing::kSystemPassword); break;
      }
    }
    TRandomStream::Instance().SetSeed(11);
    std::u16string b64, back;
    codec.EncryptString(u"Z:", b64, TEncoding::UTF8);
    if (expected.empty()) expected = b64;
    EXPECT_EQ(b64, expected);
    codec.DecryptString(back, b64, TEncoding::UTF8);
    EXPECT_EQ(back, u"Z:");
    ++permutations;
  } while (std::next_permutation(order.begin(), order.end()));
  EXPECT_EQ(permutations, 120);
}

TEST(Codec, ChangesUnresolveAndRebuildTheKey) {
  SystemCodec c;
  const Bytes first = c.Key().SeedData();
  c.codec.SetPassword(u"altra");  // resolved: the key is rebuilt at once
  EXPECT_EQ(c.Key().SeedData(), EncodeText(u"altra", TEncoding::UTF16LE));
  EXPECT_NE(c.Key().SeedData(), first);

  // A different ProgId drops the resolved algorithms and the key.
  c.codec.SetChainModeId(u"native.cbc");
  EXPECT_EQ(c.Inner().Mode(), cmUnitialized);
  EXPECT_EQ(c.Inner().StreamCipher(), nullptr);
  EXPECT_EQ(c.Decrypt(c.Encrypt(u"x")), u"x");  // and resolves again on use

  TCryptographicLibrary other;
  c.codec.SetCryptoLibrary(&other);
  EXPECT_EQ(c.Inner().Mode(), cmUnitialized);
  EXPECT_EQ(c.Decrypt(c.Encrypt(u"y")), u"y");
  EXPECT_EQ(c.Inner().StreamCipher(), other.StreamCipherIntfc(u"native.StreamToBlock"));
  c.codec.SetCryptoLibrary(&c.lib);  // back before `other` goes

  // Setting the same password again rebuilds a key that was burnt.
  c.codec.Codec().Burn(true);
  c.codec.SetPassword(u"altra");
  EXPECT_EQ(c.Inner().Mode(), cmIdle);
  EXPECT_EQ(c.Key().SeedData(), EncodeText(u"altra", TEncoding::UTF16LE));
}

TEST(Codec, ClearingThePasswordDropsTheKey) {
  SystemCodec c;
  c.codec.SetPassword(u"");
  EXPECT_EQ(c.Inner().Mode(), cmUnitialized);
  ExpectError([&] { c.Encrypt(u"x"); }, "TSimpleCodec.Begin_EncryptMemory - Wrong mode.");
}

TEST(Codec, ModeStateMachine) {
  SystemCodec c;
  ICodec& k = c.codec.Codec();
  MemoryStream out;
  EXPECT_EQ(k.Mode(), cmIdle);
  k.Begin_EncryptMemory(out);
  EXPECT_EQ(k.Mode(), cmEncrypting);
  k.Reset();
  EXPECT_EQ(k.Mode(), cmIdle);
  k.End_EncryptMemory();  // idle: nothing happens
  k.End_DecryptMemory();
  EXPECT_EQ(out.Size(), 0);
  k.Begin_DecryptMemory(out);
  EXPECT_EQ(k.Mode(), cmDecrypting);
  k.End_DecryptMemory();
  EXPECT_EQ(k.Mode(), cmIdle);

  ExpectError([&] { k.Init(u""); }, "TSimpleCodec.Init - No password.");
  EXPECT_EQ(k.Mode(), cmIdle);  // the error comes first

  k.Begin_EncryptMemory(out);
  k.Burn(false);  // key kept, run dropped
  EXPECT_EQ(k.Mode(), cmIdle);
  EXPECT_EQ(c.Decrypt(c.Encrypt(u"dopo")), u"dopo");

  k.Burn(true);
  EXPECT_EQ(k.Mode(), cmUnitialized);
  EXPECT_EQ(c.Inner().Key(), nullptr);
  k.Burn(false);
  EXPECT_EQ(k.Mode(), cmUnitialized);

  k.Init(testing::kSystemPassword);
  EXPECT_EQ(k.Mode(), cmIdle);
  k.SetChainMode(k.ChainMode());  // a new algorithm while idle burns the key
  EXPECT_EQ(k.Mode(), cmUnitialized);
  EXPECT_EQ(c.Inner().Key(), nullptr);

  // Init during a run resets it and builds a fresh key.
  k.Init(testing::kSystemPassword);
  k.Begin_EncryptMemory(out);
  k.Init(u"nuova");
  EXPECT_EQ(k.Mode(), cmIdle);
  EXPECT_EQ(c.Key().SeedData(), EncodeText(u"nuova", TEncoding::UTF16LE));
}

TEST(Codec, EveryFailureText) {
  struct Case {
    const char* name;
    std::function<void()> action;
    const char* text;
  };
  MemoryStream out;
  const std::vector<Case> cases = {
      {"reset uninitialised", [] { TSimpleCodec().Reset(); }, "TSimpleCodec.Init - Reset when not intialized."},
      {"init without password", [] { TSimpleCodec().Init(u""); }, "TSimpleCodec.Init - No password."},
      {"set cipher while encrypting",
       [&] {
         SystemCodec c;
         c.codec.Codec().Begin_EncryptMemory(out);
         c.codec.Codec().SetBlockCipher(nullptr);
       },
       "TSimpleCodec.Init - Cannot set Cipher whilst enc/decrypting."},
      {"change ProgId while decrypting",
       [&] {
         SystemCodec c;
         c.codec.Codec().Begin_DecryptMemory(out);
         c.codec.SetStreamCipherId(u"native.other");
       },
       "TSimpleCodec.Init - Cannot set Cipher whilst enc/decrypting."},
      {"unknown stream cipher, encrypt",
       [] {
         SystemCodec c;
         c.codec.SetStreamCipherId(u"native.StreamToBlock ");
         c.Encrypt(u"x");
       },
       "TSimpleCodec.Begin_EncryptMemory - Wrong mode."},
      {"unknown stream cipher, decrypt",
       [] {
         SystemCodec c;
         c.codec.SetStreamCipherId(u"nessuno");
         c.Decrypt(u"AAAAAAAAAAAA");
       },
       "TSimpleCodec.Begin_DecryptMemory - Wrong mode."},
      {"no password at all",
       [] {
         SystemCodec c(u"");
         c.Encrypt(u"x");
       },
       "TSimpleCodec.Begin_EncryptMemory - Wrong mode."},
      {"begin twice",
       [&] {
         SystemCodec c;
         c.codec.Codec().Begin_EncryptMemory(out);
         c.codec.Codec().Begin_EncryptMemory(out);
       },
       "TSimpleCodec.Begin_EncryptMemory - Wrong mode."},
      {"unknown block cipher, encrypt",
       [] {
         SystemCodec c;
         c.codec.SetBlockCipherId(u"native.Blowfish2");
         c.Encrypt(u"x");
       },
       "TSimpleCodec.Begin_EncryptMemory - Algorithms not set."},
      {"unknown block cipher, decrypt",
       [] {
         SystemCodec c;
         c.codec.SetBlockCipherId(u"native.Blowfish2");
         c.Decrypt(u"AAAAAAAAAAAA");
       },
       "TSimpleCodec.Begin_DecryptMemory - Algorithms not set."},
      {"unknown chaining mode, encrypt",
       [] {
         SystemCodec c;
         c.codec.SetChainModeId(u"native.ECB");
         c.Encrypt(u"x");
       },
       "TSimpleCodec.Begin_EncryptMemory - Algorithms not set."},
      {"unknown chaining mode, decrypt",
       [] {
         SystemCodec c;
         c.codec.SetChainModeId(u"native.ECB");
         c.Decrypt(u"AAAAAAAAAAAA");
       },
       "TSimpleCodec.Begin_DecryptMemory - Algorithms not set."},
      {"stream cipher not implemented",
       [] {
         SpyCodec c;
         c.spy->features = {afDoesNotNeedSalt, afNotImplementedYet};
         c.codec.SetPassword(u"pw");
         std::u16string b64;
         c.codec.EncryptString(u"x", b64, TEncoding::UTF8);
       },
       "TSimpleCodec.Begin_EncryptMemory - Algorithms not set."},
      {"encrypt data while idle",
       [] {
         SystemCodec c;
         c.codec.Codec().EncryptMemory("ab", 2);
       },
       "TSimpleCodec.EncryptMemory - Wrong mode."},
      {"decrypt data while encrypting",
       [&] {
         SystemCodec c;
         c.codec.Codec().Begin_EncryptMemory(out);
         c.codec.Codec().DecryptMemory("ab", 2);
       },
       "TSimpleCodec.DecryptMemory - Wrong mode."},
      {"end encryption uninitialised", [] { TSimpleCodec().End_EncryptMemory(); },
       "TSimpleCodec.End_EncryptMemory - Wrong mode."},
      {"end encryption while decrypting",
       [&] {
         SystemCodec c;
         c.codec.Codec().Begin_DecryptMemory(out);
         c.codec.Codec().End_EncryptMemory();
       },
       "TSimpleCodec.End_EncryptMemory - Wrong mode."},
      {"end decryption uninitialised", [] { TSimpleCodec().End_DecryptMemory(); },
       "TSimpleCodec.End_DecryptMemory - Wrong mode."},
      {"end decryption while encrypting",
       [&] {
         SystemCodec c;
         c.codec.Codec().Begin_EncryptMemory(out);
         c.codec.Codec().End_DecryptMemory();
       },
       "TSimpleCodec.End_DecryptMemory - Wrong mode."},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    ExpectError(k.action, k.text);
  }
}

TEST(Codec, FreshCodecState) {
  TCodec codec;
  EXPECT_EQ(codec.CryptoLibrary(), nullptr);
  EXPECT_EQ(codec.Codec().Mode(), cmUnitialized);
  EXPECT_EQ(codec.Codec().StreamCipher(), nullptr);
  EXPECT_FALSE(codec.Codec().isAsymetric());
  // As a selector the inner codec offers no options and no IV hook.
  auto& selector = dynamic_cast<IBlockCipherSelectorEx2&>(codec.Codec());
  TSetMemStreamProc hook;
  EXPECT_FALSE(selector.SelectedIVHandler(hook));
  EXPECT_TRUE(selector.SelectedAdvancedOptions().Empty());
}

}  // namespace
}  // namespace qlx::cipher

#include "cipher/blowfish.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>

#include "base/errors.h"
#include "tests/cipher/blowfish_vectors.h"
#include "tests/cipher/primitives_util.h"

namespace qlx::cipher::test {
namespace {

std::unique_ptr<TBlowfishKey> KeyOf(const Bytes& seed) { return std::make_unique<TBlowfishKey>(seed.data(), seed.size()); }

Bytes Encipher(const TBlowfishKey& key, const Bytes& block) {
  Bytes out(8);
  key.EncipherBlock(block.data(), out.data());
  return out;
}

void ExpectSameTables(const TBlowfishKey& a, const TBlowfishKey& b) {
  EXPECT_TRUE(a.PBox() == b.PBox());
  EXPECT_TRUE(a.SBox() == b.SBox());
}

TEST(BlowfishTables, HoldThePublishedInitialWords) {
  EXPECT_EQ(kBlowfishInitialTables[0], 0x243F6A88u);
  EXPECT_EQ(kBlowfishInitialTables[17], 0x8979FB1Bu);
  EXPECT_EQ(kBlowfishInitialTables[18], 0xD1310BA6u);                // S0[0]
  EXPECT_EQ(kBlowfishInitialTables[18 + 3 * 256 + 255], 0x3AC372E6u);  // S3[255]
}

// Through the engine's own path: seed stream -> GenerateKey -> block codec.
TEST(Blowfish, ReproducesThePublishedVectors) {
  auto cipher = std::make_shared<TBlowFish>();
  auto check = [&](const std::string& key_hex, const std::string& pt_hex, const std::string& ct_hex) {
    SCOPED_TRACE("key " + key_hex + " pt " + pt_hex);
    const Bytes seed = FromHex(key_hex);
    MemoryStream seed_stream(seed.data(), seed.size());
    auto key = cipher->GenerateKey(seed_stream);
    auto codec = cipher->MakeBlockCodec(*key);
    const Bytes pt = FromHex(pt_hex);
    MemoryStream plain(pt.data(), pt.size()), crypt(8);
    codec->Encrypt_Block(plain, crypt);
    EXPECT_EQ(ToHex(crypt.Bytes()), ct_hex);
    MemoryStream back(8);
    codec->Decrypt_Block(back, crypt);
    EXPECT_EQ(ToHex(back.Bytes()), pt_hex);
  };
  for (const auto& row : kBlowfishEcbRows) check(row.key, row.plaintext, row.ciphertext);
  for (const auto& row : kBlowfishSetKeyRows) check(row.key, kSetKeyPlaintext, row.ciphertext);
}

TEST(Blowfish, HalvesAreBigEndianNotHostOrder) {
  for (const auto& row : kBlowfishEcbRows) {
    SCOPED_TRACE(row.key);
    auto key = KeyOf(FromHex(row.key));
    const Bytes pt = FromHex(row.plaintext);
    auto load = [&](int at, bool big) {
      std::uint32_t w = 0;
      for (int i = 0; i < 4; ++i) w |= std::uint32_t{pt[at + i]} << (big ? 24 - 8 * i : 8 * i);
      return w;
    };
    std::uint32_t l = load(0, true), r = load(4, true);
    key->Encipher(l, r);
    char be[17];
    std::snprintf(be, sizeof be, "%08X%08X", static_cast<unsigned>(l), static_cast<unsigned>(r));
    EXPECT_EQ(std::string(be), row.ciphertext);
    // Palindromic blocks (all 00 or FF, ...) read the same both ways.
    if (load(0, false) == load(0, true) && load(4, false) == load(4, true)) continue;
    std::uint32_t ll = load(0, false), lr = load(4, false);
    key->Encipher(ll, lr);
    std::snprintf(be, sizeof be, "%08X%08X", static_cast<unsigned>(ll), static_cast<unsigned>(lr));
    EXPECT_NE(std::string(be), row.ciphertext);
  }
}

TEST(Blowfish, DeciphersWhatItEnciphers) {
  std::mt19937 rng(7);
  for (std::size_t len = 1; len <= 80; ++len) {
    auto key = KeyOf(RandomBytes(rng, len));
    for (int i = 0; i < 8; ++i) {
      const Bytes block = RandomBytes(rng, 8);
      Bytes c = Encipher(*key, block), p(8);
      ASSERT_NE(c, block);
      key->DecipherBlock(c.data(), p.data());
      ASSERT_EQ(p, block) << "seed length " << len;
    }
  }
}

TEST(BlowfishKey, SavedFormRoundTripsAndHasTheFixedLayout) {
  std::mt19937 rng(11);
  for (std::size_t len : {1u, 3u, 16u, 56u, 72u, 200u}) {
    SCOPED_TRACE(len);
    const Bytes seed = RandomBytes(rng, len);
    auto key = KeyOf(seed);
    MemoryStream saved;
    saved.WriteBuffer("x", 1);  // SaveToStream appends
    key->SaveToStream(saved);
    ASSERT_EQ(saved.Size(), static_cast<std::int64_t>(1 + 1 + len + 1 + 4096 + 72));
    const std::uint8_t* p = saved.Memory() + 1;
    EXPECT_EQ(p[0], len);
    EXPECT_TRUE(std::equal(seed.begin(), seed.end(), p + 1));
    EXPECT_EQ(p[1 + len], 1);
    const std::uint8_t* s0 = p + 2 + len;  // S0[0], little-endian
    EXPECT_EQ(s0[0] | s0[1] << 8 | s0[2] << 16 | std::uint32_t{s0[3]} << 24, key->SBox()[0]);
    const std::uint8_t* p17 = p + 2 + len + 4096 + 68;
    EXPECT_EQ(p17[0] | p17[1] << 8 | p17[2] << 16 | std::uint32_t{p17[3]} << 24, key->PBox()[17]);

    saved.SetPosition(1);
    auto loaded = TBlowfishKey::LoadFromStream(saved);
    EXPECT_EQ(saved.Position(), saved.Size());
    EXPECT_EQ(loaded->KeySize(), static_cast<std::int32_t>(len));
    EXPECT_EQ(loaded->SeedData(), seed);
    ExpectSameTables(*loaded, *key);

    // Tables flag 0: the record ends after the flag and the tables are rebuilt.
    MemoryStream short_form;
    short_form.WriteBuffer(p, static_cast<std::int64_t>(1 + len));
    short_form.WriteBuffer("\0", 1);
    short_form.SetPosition(0);
    auto rebuilt = TBlowfishKey::LoadFromStream(short_form);
    EXPECT_EQ(short_form.Position(), short_form.Size());
    ExpectSameTables(*rebuilt, *key);
  }
}

TEST(BlowfishKey, ASeedLongerThan255BytesStillSavesAReadableRecord) {
  std::mt19937 rng(5);
  auto key = KeyOf(RandomBytes(rng, 300));
  MemoryStream saved;
  key->SaveToStream(saved);
  saved.SetPosition(0);
  auto loaded = TBlowfishKey::LoadFromStream(saved);
  EXPECT_EQ(saved.Position(), saved.Size());
  EXPECT_EQ(loaded->KeySize(), 300 & 0xFF);
  ExpectSameTables(*loaded, *key);
}

TEST(BlowfishKey, SeedBytesFormOneContinuousCycle) {
  // A 1-byte seed is every key word made of that byte.
  ExpectSameTables(*KeyOf({0xA7}), *KeyOf(Bytes(4, 0xA7)));
  // 3 bytes: k0 k1 k2 k0 | k1 k2 k0 k1 | ..., which is not the 4-byte seed
  // k0 k1 k2 k0 repeated word by word.
  Bytes cycle;
  for (int i = 0; i < 72; ++i) cycle.push_back(static_cast<std::uint8_t>(1 + i % 3));
  auto three = KeyOf({1, 2, 3});
  ExpectSameTables(*three, *KeyOf(cycle));
  EXPECT_FALSE(three->PBox() == KeyOf({1, 2, 3, 1})->PBox());
}

TEST(BlowfishKey, BytesPastThe72ndChangeNothing) {
  std::mt19937 rng(3);
  const Bytes seed = RandomBytes(rng, 72);
  auto base = KeyOf(seed);
  for (std::size_t extra : {1u, 9u, 128u}) {
    Bytes longer = seed;
    const Bytes tail = RandomBytes(rng, extra);
    longer.insert(longer.end(), tail.begin(), tail.end());
    ExpectSameTables(*KeyOf(longer), *base);
  }
  Bytes changed = seed;
  changed[71] ^= 1;
  EXPECT_FALSE(KeyOf(changed)->PBox() == base->PBox());
}

TEST(BlowfishKey, GenerateFromSeedReadsTheWholeStreamFromTheStart) {
  const Bytes seed = FromHex("0123456789ABCDEF00");
  MemoryStream stream(seed.data(), seed.size());  // position at the end
  auto key = TBlowfishKey::GenerateFromSeed(stream);
  EXPECT_EQ(key->SeedData(), seed);
  ExpectSameTables(*key, *KeyOf(seed));
}

TEST(BlowfishKey, BothBuildsOfTheKeyScheduleAgree) {
  using detail::TKeyScheduleCode;
  if (!detail::KeyScheduleAvailable(TKeyScheduleCode::Bmi1)) GTEST_SKIP() << "no BMI1 on this processor";
  std::mt19937 rng(13);
  for (std::size_t len = 1; len <= 80; ++len) {
    const Bytes seed = RandomBytes(rng, len);
    TPBox p1, p2;
    TSBox s1, s2;
    detail::RunKeySchedule(TKeyScheduleCode::Portable, seed.data(), seed.size(), p1, s1);
    detail::RunKeySchedule(TKeyScheduleCode::Bmi1, seed.data(), seed.size(), p2, s2);
    ASSERT_TRUE(p1 == p2 && s1 == s2) << "seed length " << len;
    ASSERT_TRUE(KeyOf(seed)->PBox() == p1);
  }
}

TEST(BlowfishKey, BurnZeroesEverything) {
  auto key = KeyOf(FromHex("F0E1D2C3B4A59687"));
  key->Burn();
  EXPECT_EQ(key->KeySize(), 0);
  EXPECT_TRUE(std::all_of(key->SeedData().begin(), key->SeedData().end(), [](auto b) { return b == 0; }));
  EXPECT_TRUE(std::all_of(key->PBox().begin(), key->PBox().end(), [](auto w) { return w == 0; }));
  EXPECT_TRUE(std::all_of(key->SBox().begin(), key->SBox().end(), [](auto w) { return w == 0; }));
}

TEST(BlowfishBlockCodec, WorksInPlaceAndLeavesPositionsAndSizes) {
  auto cipher = std::make_shared<TBlowFish>();
  const Bytes seed = FromHex("FEDCBA9876543210");
  auto key = KeyOf(seed);
  auto codec = cipher->MakeBlockCodec(*key);
  const Bytes pt = FromHex("0123456789ABCDEF0011");  // longer than a block
  MemoryStream s(pt.data(), pt.size());
  s.SetPosition(3);
  codec->Encrypt_Block(s, s);
  EXPECT_EQ(ToHex(s.Memory(), 8), "0ACEAB0FC6A0A28D");
  EXPECT_EQ(s.Memory()[8], 0x00);
  EXPECT_EQ(s.Memory()[9], 0x11);
  EXPECT_EQ(s.Position(), 3);
  EXPECT_EQ(s.Size(), 10);
  codec->Decrypt_Block(s, s);
  EXPECT_EQ(s.Bytes(), pt);

  MemoryStream too_short(7), block(8);
  EXPECT_THROW(codec->Encrypt_Block(too_short, block), qlx::Error);
  EXPECT_THROW(codec->Decrypt_Block(block, too_short), qlx::Error);
}

struct ForeignKey : TSymetricKey {
  void SaveToStream(Stream&) override {}
  void Burn() override {}
};

std::string ErrorText(const std::function<void()>& action) {
  try {
    action();
  } catch (const qlx::Error& e) {
    return e.what();
  }
  return "(no error)";
}

TEST(Blowfish, RefusalsCarryTheirTexts) {
  TBlowFish cipher;
  ForeignKey foreign;
  EXPECT_EQ(ErrorText([&] { cipher.MakeBlockCodec(foreign); }), "Invalid class typecast");
  MemoryStream empty;
  EXPECT_EQ(ErrorText([&] { cipher.GenerateKey(empty); }), "TBlowFish.GenerateKey - Empty seed.");
  EXPECT_EQ(ErrorText([&] { TBlowfishKey(nullptr, 0); }), "TBlowFish.GenerateKey - Empty seed.");

  auto key = KeyOf(FromHex("0102030405"));
  MemoryStream saved;
  key->SaveToStream(saved);
  const Bytes full = saved.Bytes();
  for (const std::size_t cut : std::vector<std::size_t>{0, 1, 3, 6, 7, 100, full.size() - 1}) {
    SCOPED_TRACE(cut);
    MemoryStream truncated(full.data(), cut);
    truncated.SetPosition(0);
    EXPECT_EQ(ErrorText([&] { cipher.LoadKeyFromStream(truncated); }), "Stream read error");
  }
  // Tables flag 0 with no seed: nothing to build the tables from.
  MemoryStream no_seed("\0\0", 2);
  no_seed.SetPosition(0);
  EXPECT_EQ(ErrorText([&] { cipher.LoadKeyFromStream(no_seed); }), "TBlowFish.GenerateKey - Empty seed.");
}

TEST(Blowfish, DescribesItselfAndDeclaresItsSeedRange) {
  auto cipher = std::make_shared<TBlowFish>();
  EXPECT_EQ(cipher->DisplayName(), u"Blowfish");
  EXPECT_EQ(cipher->ProgId(), u"native.Blowfish");
  EXPECT_EQ(cipher->Features().Bits(), 128u);
  EXPECT_EQ(cipher->WikipediaReference(), u"Blowfish_(cipher)");
  EXPECT_FALSE(cipher->DefinitionURL().empty());
  EXPECT_EQ(cipher->BlockSize(), 64);
  EXPECT_EQ(cipher->KeySize(), 64);
  EXPECT_EQ(cipher->SeedByteSize(), 8);
  // The codec finds the range on the control object, not on the cipher.
  IInterface* control = dynamic_cast<IControlObject&>(*cipher).ControlObject();
  auto* range = dynamic_cast<ISeedByteSizeRange*>(control);
  ASSERT_NE(range, nullptr);
  ASSERT_TRUE(range->SeedByteSizeRange().has_value());
  EXPECT_EQ(range->SeedByteSizeRange()->Min, 1);
  EXPECT_EQ(range->SeedByteSizeRange()->Max, 56);
}

TEST(Blowfish, SelfTestTripleChecksOut) {
  auto cipher = std::make_shared<TBlowFish>();
  const std::u16string key_hex = cipher->SelfTest_Key();
  ASSERT_EQ(key_hex.size(), 8356u);
  EXPECT_EQ(key_hex.find_first_not_of(u"0123456789ABCDEF"), std::u16string::npos);
  EXPECT_EQ(cipher->SelfTest_Plaintext(), u"3132333435363738");
  EXPECT_EQ(cipher->SelfTest_Ciphertext().size(), 16u);

  const Bytes saved = FromHex(Narrow(key_hex));
  EXPECT_EQ(saved[0], 8);
  EXPECT_EQ(saved[9], 1);  // tables flag
  EXPECT_TRUE(std::all_of(saved.begin() + 1, saved.begin() + 9, [](auto c) { return c >= 'a' && c <= 'z'; }));
  MemoryStream store(saved.data(), saved.size());
  store.SetPosition(0);
  auto key = cipher->LoadKeyFromStream(store);
  auto codec = cipher->MakeBlockCodec(*key);
  const Bytes pt = FromHex(Narrow(cipher->SelfTest_Plaintext()));
  MemoryStream block(pt.data(), pt.size());
  codec->Encrypt_Block(block, block);
  EXPECT_EQ(ToHex(block.Bytes()), Narrow(cipher->SelfTest_Ciphertext()));
}

}  // namespace
}  // namespace qlx::cipher::test

// Our Blowfish and password codec side by side with OpenSSL's BF_* on the
// same inputs. Names matter: scripts/bench.sh pairs the results by name.
#include <benchmark/benchmark.h>
#include <openssl/blowfish.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <random>
#include <string>
#include <vector>

#include "cipher/blowfish.h"
#include "settings/protected_value.h"
#include "cipher/codec.h"
#include "cipher/library.h"
#include "cipher/stream.h"

namespace {

using namespace qlx::cipher;

// Large enough to stream through, small enough to stay in L2 so that the
// cipher, not memory, is measured.
constexpr std::size_t kBufferBytes = 64 * 1024;
constexpr std::size_t kSeedBytes = 16;  // what the codec derives from the fixed password

std::vector<std::uint8_t> RandomBytes(std::size_t n, std::uint32_t seed) {
  std::mt19937 gen(seed);
  std::vector<std::uint8_t> v(n);
  for (auto& b : v) b = static_cast<std::uint8_t>(gen());
  return v;
}

const std::vector<std::uint8_t>& Seed() {
  static const std::vector<std::uint8_t> seed = RandomBytes(kSeedBytes, 1);
  return seed;
}

// Both implementations must agree before their speeds mean anything.
bool SameCiphertext() {
  TBlowfishKey ours(Seed().data(), Seed().size());
  BF_KEY theirs;
  BF_set_key(&theirs, static_cast<int>(Seed().size()), Seed().data());
  std::vector<std::uint8_t> a = RandomBytes(kBufferBytes, 2), b = a;
  for (std::size_t i = 0; i < a.size(); i += 8) {
    ours.EncipherBlock(&a[i], &a[i]);
    BF_ecb_encrypt(&b[i], &b[i], &theirs, BF_ENCRYPT);
  }
  return a == b;
}

void SetThroughput(benchmark::State& state) {
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(kBufferBytes));
}

// ------------------------------------------------------------ block function

void BM_Block_Ours_EncipherBlock(benchmark::State& state) {
  const TBlowfishKey key(Seed().data(), Seed().size());
  std::vector<std::uint8_t> buf = RandomBytes(kBufferBytes, 3);
  for (auto _ : state) {
    for (std::size_t i = 0; i < buf.size(); i += 8) key.EncipherBlock(&buf[i], &buf[i]);
    benchmark::DoNotOptimize(buf.data());
    benchmark::ClobberMemory();
  }
  SetThroughput(state);
}

// The path the stream adapter takes: one block at a time through a memory
// stream and the IBlockCodec interface.
void BM_Block_Ours_Encrypt_Block(benchmark::State& state) {
  auto cipher = std::make_shared<TBlowFish>();
  MemoryStream seed(Seed().data(), Seed().size());
  std::unique_ptr<TSymetricKey> key = cipher->GenerateKey(seed);
  std::shared_ptr<IBlockCodec> codec = cipher->MakeBlockCodec(*key);
  MemoryStream block(8);
  std::vector<std::uint8_t> buf = RandomBytes(kBufferBytes, 3);
  for (auto _ : state) {
    for (std::size_t i = 0; i < buf.size(); i += 8) {
      std::memcpy(block.Memory(), &buf[i], 8);
      codec->Encrypt_Block(block, block);
      std::memcpy(&buf[i], block.Memory(), 8);
    }
    benchmark::DoNotOptimize(buf.data());
    benchmark::ClobberMemory();
  }
  SetThroughput(state);
  key->Burn();
}

void BM_Block_OpenSSL_BF_ecb_encrypt(benchmark::State& state) {
  BF_KEY key;
  BF_set_key(&key, static_cast<int>(Seed().size()), Seed().data());
  std::vector<std::uint8_t> buf = RandomBytes(kBufferBytes, 3);
  for (auto _ : state) {
    for (std::size_t i = 0; i < buf.size(); i += 8) BF_ecb_encrypt(&buf[i], &buf[i], &key, BF_ENCRYPT);
    benchmark::DoNotOptimize(buf.data());
    benchmark::ClobberMemory();
  }
  SetThroughput(state);
}

// Word-level, without byte-order conversion, for both.
void BM_Block_Ours_Encipher_Words(benchmark::State& state) {
  const TBlowfishKey key(Seed().data(), Seed().size());
  std::vector<std::uint8_t> bytes = RandomBytes(kBufferBytes, 3);
  std::vector<std::uint32_t> words(kBufferBytes / 4);
  std::memcpy(words.data(), bytes.data(), kBufferBytes);
  for (auto _ : state) {
    for (std::size_t i = 0; i < words.size(); i += 2) key.Encipher(words[i], words[i + 1]);
    benchmark::DoNotOptimize(words.data());
    benchmark::ClobberMemory();
  }
  SetThroughput(state);
}

void BM_Block_OpenSSL_BF_encrypt_Words(benchmark::State& state) {
  BF_KEY key;
  BF_set_key(&key, static_cast<int>(Seed().size()), Seed().data());
  std::vector<std::uint8_t> bytes = RandomBytes(kBufferBytes, 3);
  std::vector<BF_LONG> words(kBufferBytes / 4);
  static_assert(sizeof(BF_LONG) == 4);
  std::memcpy(words.data(), bytes.data(), kBufferBytes);
  for (auto _ : state) {
    for (std::size_t i = 0; i < words.size(); i += 2) BF_encrypt(&words[i], &key);
    benchmark::DoNotOptimize(words.data());
    benchmark::ClobberMemory();
  }
  SetThroughput(state);
}

// -------------------------------------------------------------- key schedule

void BM_KeySchedule_Ours(benchmark::State& state) {
  for (auto _ : state) {
    TBlowfishKey key(Seed().data(), Seed().size());
    benchmark::DoNotOptimize(key.PBox().data());
  }
}

void BM_KeySchedule_OpenSSL(benchmark::State& state) {
  BF_KEY key;
  for (auto _ : state) {
    BF_set_key(&key, static_cast<int>(Seed().size()), Seed().data());
    benchmark::DoNotOptimize(&key);
    benchmark::ClobberMemory();
  }
}

// --------------------------------------------------------- one short setting

const std::u16string kPassword = u"K7Rp4mzq";
const std::u16string kSetting = u"Z:";

// As the settings store does it: fresh library and codec for the text.
void BM_Codec_Ours_EncryptDecrypt(benchmark::State& state) {
  std::u16string cipher_text, plain;
  for (auto _ : state) {
    TCryptographicLibrary lib;
    TCodec codec;
    codec.SetCryptoLibrary(&lib);
    codec.SetStreamCipherId(u"native.StreamToBlock");
    codec.SetChainModeId(u"native.CBC");
    codec.SetBlockCipherId(u"native.Blowfish");
    codec.SetPassword(kPassword);
    codec.EncryptString(kSetting, cipher_text, qlx::TEncoding::UTF8);
    codec.DecryptString(plain, cipher_text, qlx::TEncoding::UTF8);
    benchmark::DoNotOptimize(plain.data());
  }
  if (plain != kSetting) state.SkipWithError("the codec did not give the setting back");
}

// The whole road of a stored value: a fresh library and codec for each
// direction (two key schedules), the outer Base64 layer included.
void BM_Setting_ProteggiRivela(benchmark::State& state) {
  std::u16string plain;
  for (auto _ : state) {
    plain = qlx::settings::RevealValue(qlx::settings::ProtectValue(kSetting));
    benchmark::DoNotOptimize(plain.data());
  }
  if (plain != kSetting) state.SkipWithError("the store's layers did not give the setting back");
}

// The floor for the same job: the key from the password's UTF-16LE bytes
// and two block operations (the nonce block and the one data block).
void BM_Codec_OpenSSL_SetKeyTwoBlocks(benchmark::State& state) {
  std::uint8_t password[16];
  for (std::size_t i = 0; i < kPassword.size(); ++i) {
    password[2 * i] = static_cast<std::uint8_t>(kPassword[i] & 0xFF);
    password[2 * i + 1] = static_cast<std::uint8_t>(kPassword[i] >> 8);
  }
  BF_KEY key;
  BF_LONG block[2] = {0x12345678, 0x9ABCDEF0};
  for (auto _ : state) {
    BF_set_key(&key, sizeof password, password);
    BF_encrypt(block, &key);
    BF_encrypt(block, &key);
    benchmark::DoNotOptimize(block);
    benchmark::ClobberMemory();
  }
}

}  // namespace

BENCHMARK(BM_Block_Ours_EncipherBlock);
BENCHMARK(BM_Block_Ours_Encrypt_Block);
BENCHMARK(BM_Block_OpenSSL_BF_ecb_encrypt);
BENCHMARK(BM_Block_Ours_Encipher_Words);
BENCHMARK(BM_Block_OpenSSL_BF_encrypt_Words);
BENCHMARK(BM_KeySchedule_Ours);
BENCHMARK(BM_KeySchedule_OpenSSL);
BENCHMARK(BM_Codec_Ours_EncryptDecrypt);
BENCHMARK(BM_Codec_OpenSSL_SetKeyTwoBlocks);
BENCHMARK(BM_Setting_ProteggiRivela);

int main(int argc, char** argv) {
  if (!SameCiphertext()) {
    std::cerr << "cipher_bench: our Blowfish and OpenSSL's disagree; timings would be meaningless\n";
    return 1;
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

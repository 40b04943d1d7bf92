// make_corpus DIR: writes the seed corpus, DIR/<target>/<name>, from the
// inputs the unit tests use (Base64 vectors and the settings values), with
// ciphertexts made by the engine under the fixed password. Run by hand when
// those inputs change, then commit the files.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "base/utf.h"
#include "settings/protected_value.h"

namespace {

namespace fs = std::filesystem;

fs::path g_root;

void Write(const std::string& target, const std::string& name, const std::string& bytes) {
  const fs::path dir = g_root / target;
  fs::create_directories(dir);
  std::ofstream(dir / name, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Texts go to the corpus as bytes; both fuzzers read them back as Latin-1
// and as UTF-16LE units, so each text is written once in each form.
std::string Latin1(const std::u16string& text) {
  std::string out;
  for (char16_t c : text) out.push_back(static_cast<char>(c & 0xFF));
  return out;
}
std::string Utf16Le(const std::u16string& text) {
  std::string out;
  for (char16_t c : text) {
    out.push_back(static_cast<char>(c & 0xFF));
    out.push_back(static_cast<char>(c >> 8));
  }
  return out;
}

// The inner text, as the settings store makes it.
std::u16string Protect(const std::u16string& setting) {
  return qlx::settings::EncryptText(qlx::settings::kValuePassword, setting);
}

std::u16string Repeat(const std::u16string& s, int n) {
  std::u16string out;
  while (n-- > 0) out += s;
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: make_corpus DIR\n";
    return 2;
  }
  g_root = argv[1];

  // Base64 decoders: the unit tests' vectors and odd shapes.
  const struct {
    const char* name;
    std::u16string text;
  } base64[] = {
      {"empty", u""},
      {"foobar", u"Zm9vYmFy"},
      {"padded_1", u"Zm9vYg=="},
      {"padded_2", u"Zm9vYmE="},
      {"short_tail", u"Zm9vYmF"},
      {"one_char", u"Z"},
      {"pad_mid_text", u"Zg==Zm9v"},
      {"pad_mid_group", u"Zm=vZm9v"},
      {"all_pad", u"====Zm9v"},
      {"crlf_inside", u"Zm9v\r\nYmFy"},
      {"blank_inside", u"Zm9v A=="},
      {"latin1_char", u"Zm\u00E99"},
      {"high_bits", u"+/+/"},
      {"line_noise", u" \t=\n==Q\r\nQ"},
  };
  for (const auto& row : base64) {
    Write("fuzz_base64", std::string(row.name) + ".txt", Latin1(row.text));
    if (!row.text.empty()) Write("fuzz_base64", std::string(row.name) + ".u16", Utf16Le(row.text));
  }
  // Stored values: an outer line-wrapped layer over real inner texts.
  Write("fuzz_base64", "stored_35.txt", Latin1(qlx::settings::ProtectValue(Repeat(u"a", 35))));
  Write("fuzz_base64", "stored_161.txt", Latin1(qlx::settings::ProtectValue(Repeat(u"a", 161))));

  // Codec: ciphertexts of the settings the unit tests store, plus damage.
  const struct {
    const char* name;
    std::u16string setting;
  } settings[] = {
      {"switch", u"S"},
      {"drive", u"Z:"},
      {"user", u"mario.rossi"},
      {"accented", u"perch\u00E8 \U0001F600"},
      {"len34", Repeat(u"a", 34)},
      {"len35", Repeat(u"a", 35)},
      {"path", u"C:\\Programmi\\QLXDrive\\QLXDrive.exe"},
      {"euro54", Repeat(u"\u20AC", 54)},
  };
  for (const auto& row : settings) {
    const std::u16string inner = Protect(row.setting);
    Write("fuzz_decrypt", std::string(row.name) + ".txt", Latin1(inner));
    if (std::string(row.name) == "drive") {
      Write("fuzz_decrypt", "drive.u16", Utf16Le(inner));
      std::u16string flipped = inner;
      flipped[10] = flipped[10] == u'A' ? u'B' : u'A';
      Write("fuzz_decrypt", "drive_damaged.txt", Latin1(flipped));
      Write("fuzz_decrypt", "drive_cut.txt", Latin1(inner.substr(0, inner.size() - 3)));
      Write("fuzz_decrypt", "drive_crlf.txt", Latin1(inner.substr(0, 8) + u"\r\n" + inner.substr(8)));
    }
  }
  // Short inner texts decrypt to nothing; a plain setting is valid UTF-8,
  // which the round trip uses.
  const struct {
    const char* name;
    std::u16string inner;
  } short_texts[] = {{"short_3", u"QUJ"}, {"short_4", u"QUJD"}, {"short_12", u"QUJDREVGR0g="}, {"slashes", u"///"}};
  for (const auto& row : short_texts) Write("fuzz_decrypt", std::string(row.name) + ".txt", Latin1(row.inner));
  Write("fuzz_decrypt", "plain_utf8.txt", qlx::Utf16ToUtf8(u"Zo\u00EB \U0001F511 p\u00E4ss"));
  return 0;
}

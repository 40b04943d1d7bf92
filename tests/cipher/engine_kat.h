#pragma once
// Stored values pinned for regression: the Base64 the codec must produce for
// these texts under the system's codec password when the random source
// starts from the given seed. The pins were computed with the independent
// OpenSSL reference (engine_reference.cpp), never with the code under test;
// cipher_engine_openssl_tests re-derives them.
#include <cstdint>

namespace qlx::cipher::testing {

inline constexpr char16_t kSystemPassword[] = u"K7Rp4mzq";

struct KnownAnswer {
  std::uint64_t seed;
  const char16_t* text;
  const char8_t* utf8;  // the same text, for the reference
  const char* base64;
};

inline constexpr KnownAnswer kKnownAnswers[] = {
    {1, u"S", u8"S", "AQAAAAAAAABm"},
    {0x0123456789ABCDEFull, u"Z:", u8"Z:", "782riWdFIwG5vA=="},
    {0xFEDCBA9876543210ull, u"12345678", u8"12345678", "EDJUdpi63P4KffVzRp1lHQ=="},
    {42, u"mario.rossi", u8"mario.rossi", "KgAAAAAAAADg+pTMQzHvVhPrpw=="},
    {0x5851F42D4C957F2Dull, u"Parola d'ordine: \u00E8 gi\u00E0 tardi", u8"Parola d'ordine: \u00E8 gi\u00E0 tardi", "LX+VTC30UVhmXecH+vB2B991Zl12/yS02ELMbHX80SzouXqnsFo="},
    {7, u"https://dav.example.it/remote.php/webdav", u8"https://dav.example.it/remote.php/webdav", "BwAAAAAAAAB0NZGkgA8wAt5osagXVKarzsIUtallypi0eJsBQwVudVg3iWY+YtHB"},
    {9, u"", u8"", ""},
};

}  // namespace qlx::cipher::testing

#pragma once
// The protected form of every stored setting: the codec's Base64 ciphertext
// under one fixed password (inner layer), Base64-encoded once more with
// CR LF line breaks (outer layer). The result is the registry string.
#include <string>

#include "cipher/base64.h"

namespace qlx::settings {

// Shared by every installation: changing it orphans all stored values.
inline constexpr char16_t PasswordCifratura[] = u"K7Rp4mzq";

// One codec run with its own library and codec.
std::u16string CifraDecifra(const std::u16string& testo, const std::u16string& password, bool cifra);
std::u16string CriptaStringa(const std::u16string& password, const std::u16string& testo);
std::u16string DecriptaStringa(const std::u16string& password, const std::u16string& testo);

// The outer layer: 76 characters a line, CR LF after every full line.
const cipher::TBase64LineEncoder& CodificatoreEsterno();
std::u16string CodificaEsterna(const std::u16string& interno);
// Skips everything outside the alphabet; strict UTF-8 on the decoded bytes.
std::u16string DecodificaEsterna(const std::u16string& memorizzato);

// Setting -> registry string, and back.
std::u16string ProteggiValore(const std::u16string& valore);
std::u16string RivelaValore(const std::u16string& memorizzato);

}  // namespace qlx::settings

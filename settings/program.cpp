#include "settings/program.h"

#include "platform/context.h"

namespace qlx::settings {

std::u16string PercorsoProgramma() { return platform::CurrentProgramFile().FullPath(); }

std::u16string NomeFile(const std::u16string& percorso) {
  const auto separatore = percorso.find_last_of(u"\\/:");
  return separatore == std::u16string::npos ? percorso : percorso.substr(separatore + 1);
}

namespace {
// ASCII and Latin-1 capitals: the letters a program file name is made of in
// practice; anything else is kept as it is.
char16_t Minuscola(char16_t c) {
  return (c >= u'A' && c <= u'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7) ? static_cast<char16_t>(c + 0x20) : c;
}
}  // namespace

std::u16string TitoloDa(const std::u16string& percorso) {
  std::u16string titolo = NomeFile(percorso);
  titolo = titolo.substr(0, titolo.find(u'.'));
  for (std::size_t i = 1; i < titolo.size(); ++i) titolo[i] = Minuscola(titolo[i]);
  return titolo;
}

std::u16string TitoloApplicazione() { return TitoloDa(PercorsoProgramma()); }

}  // namespace qlx::settings

#include "settings/store.h"

#include <cstdint>
#include <vector>

#include "base/errors.h"
#include "base/utf.h"
#include "base/wipe.h"
#include "platform/context.h"
#include "settings/autostart.h"
#include "settings/protected_value.h"
#include "settings/record.h"

namespace qlx::settings {

using platform::CurrentProgramFile;
using platform::CurrentRegistry;

namespace {

constexpr std::string_view kFailedToSet = "Failed to set data for '%s'";
constexpr std::string_view kFailedToGet = "Failed to get data for '%s'";
constexpr std::string_view kInvalidType = "Invalid data type for '%s'";

// A value that keeps growing between the size query and the read is given
// up on rather than chased for ever.
constexpr int kMaxLetture = 8;

RegKey ApriChiaveParametri(Registry& registro) {
  return RegKey(registro, registro.CreateKey(DallaRadice(kChiaveParametri), access::kAllAccess));
}

bool Vuoto(char16_t c) { return c <= u' '; }

bool NonVuoto(const std::u16string& testo) {
  for (char16_t c : testo)
    if (!Vuoto(c)) return true;
  return false;
}

// Replaces a text that may have held a secret without leaving the old
// buffer behind.
void Assegna(std::u16string& campo, std::u16string&& nuovo) {
  SecureWipe(campo);
  campo = std::move(nuovo);
}

std::u16string Leggi(const char16_t* nome) {
  std::u16string testo;
  LeggiValoreCifrato(nome, testo);
  return testo;
}

}  // namespace

std::u16string DallaRadice(std::u16string_view percorso) {
  if (!percorso.empty() && percorso.front() == u'\\') percorso.remove_prefix(1);
  return std::u16string(percorso);
}

std::string TestoErroreRegistro(std::string_view schema, const std::u16string& nome) {
  std::string testo(schema);
  const auto posizione = testo.find("%s");
  if (posizione != std::string::npos) testo.replace(posizione, 2, Utf16ToUtf8(nome));
  return testo;
}

std::u16string LeggiStringaRegistro(Registry& registro, Registry::Key chiave, const std::u16string& nome) {
  std::uint32_t tipo = regtype::kNone;
  std::uint32_t dimensione = 0;
  RegStatus stato = registro.QueryValue(chiave, nome, &tipo, nullptr, &dimensione);
  if (stato == RegStatus::NotFound) return {};
  if (stato != RegStatus::Ok) throw Error(TestoErroreRegistro(kFailedToGet, nome));
  if (dimensione == 0) return {};

  std::vector<std::uint8_t> dati;
  for (int lettura = 1;; ++lettura) {
    dati.assign(dimensione, 0);
    std::uint32_t restituiti = dimensione;
    stato = registro.QueryValue(chiave, nome, &tipo, dati.data(), &restituiti);
    if (stato == RegStatus::Ok) {
      // A value that shrank in between reports less than the buffer holds.
      if (restituiti < dati.size()) dati.resize(restituiti);
      break;
    }
    if (stato == RegStatus::MoreData && restituiti > dimensione && lettura < kMaxLetture) {
      dimensione = restituiti;
      continue;
    }
    throw Error(TestoErroreRegistro(kFailedToGet, nome));
  }
  if (tipo != regtype::kSz && tipo != regtype::kExpandSz) throw Error(TestoErroreRegistro(kInvalidType, nome));

  // An odd last byte, a missing terminator or an embedded zero all end the
  // text at the first zero unit or at the last whole unit.
  std::u16string testo;
  const std::size_t unita = dati.size() / 2;
  testo.reserve(unita);
  for (std::size_t i = 0; i < unita; ++i) {
    const auto c = static_cast<char16_t>(dati[2 * i] | (dati[2 * i + 1] << 8));
    if (c == 0) break;
    testo.push_back(c);
  }
  return testo;
}

void ScriviStringaRegistro(Registry& registro, Registry::Key chiave, const std::u16string& nome,
                           const std::u16string& testo) {
  if (!registro.SetString(chiave, nome, testo)) throw Error(TestoErroreRegistro(kFailedToSet, nome));
}

void ScriviValoreCifrato(const std::u16string& nome, const std::u16string& valore) {
  Registry& registro = CurrentRegistry();
  RegKey chiave = ApriChiaveParametri(registro);
  if (!chiave) return;
  ScriviStringaRegistro(registro, chiave.Get(), nome, ProteggiValore(valore));
}

void LeggiValoreCifrato(const std::u16string& nome, std::u16string& valore) {
  Registry& registro = CurrentRegistry();
  RegKey chiave = ApriChiaveParametri(registro);
  if (!chiave) return;
  valore = RivelaValore(LeggiStringaRegistro(registro, chiave.Get(), nome));
}

void SalvaParametri() {
  const TParametriConnessione& parametri = ParametriConnessione();
  ScriviValoreCifrato(valore::PATHDRIVE, parametri.PathDrive);
  ScriviValoreCifrato(valore::ConfigIniFilesPath, CurrentProgramFile().FullPath());
  ScriviValoreCifrato(valore::USER, parametri.User);
  ScriviValoreCifrato(valore::PASSWORD, parametri.Password);
  ScriviValoreCifrato(valore::AUTOCONNECT, parametri.AutoConnect ? u"S" : u"N");
  ScriviValoreCifrato(valore::AUTORUN, parametri.AutoRun ? u"S" : u"N");
  ImpostaAvvioAutomatico();
}

void CaricaParametri() {
  // Each field is assigned right after its own read, so a failure leaves
  // the earlier fields loaded and the rest as they were.
  TParametriConnessione& parametri = ParametriConnessione();
  parametri.User = Leggi(valore::USER);
  Assegna(parametri.Password, Leggi(valore::PASSWORD));
  parametri.PathDrive = Leggi(valore::PATHDRIVE);
  parametri.AutoConnect = Leggi(valore::AUTOCONNECT) == u"S";
  parametri.AutoRun = Leggi(valore::AUTORUN) == u"S";
}

bool ParametriCompleti() {
  const TParametriConnessione& parametri = ParametriConnessione();
  return NonVuoto(parametri.PathDrive) && NonVuoto(parametri.User) && NonVuoto(parametri.Password);
}

}  // namespace qlx::settings

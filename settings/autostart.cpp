#include "settings/autostart.h"

#include "platform/context.h"
#include "platform/registry.h"
#include "settings/record.h"
#include "settings/store.h"

namespace qlx::settings {

using platform::CurrentProgramFile;
using platform::CurrentRegistry;

namespace {

// Writes the entry when the Run key opens with full access; the key is
// never created.
void ScriviVoceRun(const std::u16string& testo) {
  Registry& registro = CurrentRegistry();
  RegKey chiave(registro, registro.OpenKey(DallaRadice(kChiaveRun), access::kAllAccess));
  if (!chiave) return;
  ScriviStringaRegistro(registro, chiave.Get(), kVoceRun, testo);
}

}  // namespace

std::u16string ComandoAvvio(const std::u16string& percorso_programma) {
  if (percorso_programma.find(u' ') == std::u16string::npos) return percorso_programma;
  return u"\"" + percorso_programma + u"\"";
}

void ImpostaAvvioAutomatico() {
  const std::u16string percorso = CurrentProgramFile().FullPath();
  ScriviValoreCifrato(valore::ConfigIniFilesPath, percorso);
  if (ParametriConnessione().AutoRun)
    ScriviVoceRun(ComandoAvvio(percorso));
  else if (AvvioAutomaticoPresente())
    RimuoviAvvioAutomatico();
}

void RimuoviAvvioAutomatico() { ScriviVoceRun(u""); }

bool AvvioAutomaticoPresente() {
  Registry& registro = CurrentRegistry();
  const std::u16string percorso = DallaRadice(kChiaveRun);
  // Narrower rights for users whose Run key refuses the usual read mask.
  RegKey chiave;
  for (std::uint32_t diritti : {access::kRead, access::kReadEnumQuery, access::kQueryValue}) {
    chiave = RegKey(registro, registro.OpenKey(percorso, diritti));
    if (chiave) break;
  }
  if (!chiave) return false;
  std::uint32_t tipo = 0;
  std::uint32_t dimensione = 0;
  return registro.QueryValue(chiave.Get(), kVoceRun, &tipo, nullptr, &dimensione) == RegStatus::Ok;
}

}  // namespace qlx::settings

#include "app/just_one.h"

#include <windows.h>

#include <memory>

#include "platform/context.h"
#include "platform/win32/text.h"
#include "settings/program.h"

namespace qlx::app {

namespace {
std::unique_ptr<TPreviousInstance>& Istanza() {
  static std::unique_ptr<TPreviousInstance> istanza;
  return istanza;
}
}  // namespace

std::u16string NomeMutex(const std::u16string& percorso) {
  return settings::NomeFile(percorso).substr(0, kLunghezzaMassimaNome);
}

void TPreviousInstance::SethPrevInst() {
  FAppName = NomeMutex(settings::PercorsoProgramma());
  // Only the name matters: nothing ever waits on the mutex or releases it.
  FMutexHandle.reset(CreateMutexW(nullptr, TRUE, platform::W(FAppName)));
  const DWORD errore = GetLastError();
  FhPrevInst = static_cast<bool>(FMutexHandle) && errore == ERROR_ALREADY_EXISTS;
  // A copy that finds another holds nothing; one that could not create the
  // mutex at all runs as the only one.
  if (FhPrevInst) FMutexHandle.reset();
}

TPreviousInstance* IstanzaPrecedente() { return Istanza().get(); }

TJustOne32::TJustOne32() {
  Istanza() = std::make_unique<TPreviousInstance>();
  Istanza()->SethPrevInst();
}

TJustOne32::~TJustOne32() {
  if (Istanza()) Istanza()->Rilascia();
}

bool TJustOne32::ControlloSessione() {
  if (!Istanza() || !Istanza()->hPrevInst()) return false;
  MSG messaggio;
  while (PeekMessageW(&messaggio, nullptr, 0, 0, PM_REMOVE)) {
    if (messaggio.message == WM_QUIT) continue;  // a quit follows anyway
    TranslateMessage(&messaggio);
    DispatchMessageW(&messaggio);
  }
  platform::Pause(kAttesaSecondaCopiaMs);
  PostQuitMessage(0);
  return true;
}

}  // namespace qlx::app

#include "app/just_one.h"
#include "platform/context.h"
#include "settings/program.h"
namespace qlx::app {
TJustOne32::TJustOne32() {
  auto name = settings::NomeFile(settings::PercorsoProgramma());
  mutex_ = CreateMutexW(nullptr, TRUE, reinterpret_cast<const wchar_t*>(name.c_str()));
  if (mutex_ && GetLastError() == ERROR_ALREADY_EXISTS) { prev_ = true; CloseHandle(mutex_); mutex_ = nullptr; }
}
TJustOne32::~TJustOne32() { if (mutex_) CloseHandle(mutex_); }
bool TJustOne32::ControlloSessione() {
  if (!prev_) return false;
  MSG m; while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) { if (m.message == WM_QUIT) break; TranslateMessage(&m); DispatchMessageW(&m); }
  platform::Pause(2000);
  PostQuitMessage(0);
  return true;
}
}  // namespace qlx::app

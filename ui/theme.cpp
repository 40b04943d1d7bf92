#include "ui/theme.h"

#include <commctrl.h>

#include "platform/win32/text.h"

namespace qlx::ui {

namespace {

class Obsidian final : public Theme {
 public:
  void Applica(HWND) const override {}
  void CambioDpi(HWND, UINT) const override {}
};

}  // namespace

std::unique_ptr<Theme> CaricaTema(HINSTANCE instance, const std::u16string& nome) {
  HRSRC risorsa = FindResourceW(instance, platform::W(nome), MAKEINTRESOURCEW(10));
  if (risorsa == nullptr) return nullptr;
  return std::make_unique<Obsidian>();
}

bool ContrastoElevato() {
  HIGHCONTRASTW hc{};
  hc.cbSize = sizeof hc;
  return SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof hc, &hc, 0) && (hc.dwFlags & HCF_HIGHCONTRASTON);
}

void MostraStileMancante(const std::u16string& nome, const std::u16string& titolo) {
  const std::u16string testo = u"Style '" + nome + u"' not found";
  MessageBoxW(nullptr, platform::W(testo), platform::W(titolo), MB_OK | MB_ICONERROR);
}

}  // namespace qlx::ui

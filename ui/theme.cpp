#include "ui/theme.h"

#include <commctrl.h>
#include <dwmapi.h>

#include <algorithm>
#include <memory>
#include <string_view>

#include "platform/win32/text.h"
#include "platform/win32/unique_handle.h"
#include "ui/logic.h"
#include "ui/theme_file.h"
#include "ui/window.h"

namespace qlx::ui {

namespace {

// DwmSetWindowAttribute's dark title bar: 20 from Windows 10 20H1, 19 on the
// builds before it; caption and caption text colours from Windows 11.
constexpr DWORD kDarkMode = 20;
constexpr DWORD kDarkModeOld = 19;
constexpr DWORD kCaptionColor = 35;
constexpr DWORD kTextColor = 36;
constexpr COLORREF kColoreDiSistema = 0xFFFFFFFF;  // DWMWA_COLOR_DEFAULT

constexpr UINT_PTR kIdSubclass = 0x51D1;

enum class Tipo { Principale, Pannello, Pulsante, Casella, Testo, Combo };

class Obsidian;

// What a subclassed control needs; freed with the control.
struct Stato {
  const Obsidian* tema;
  Tipo tipo;
  bool hot = false;
};

bool ClasseUguale(HWND window, const wchar_t* nome) {
  wchar_t classe[32]{};
  GetClassNameW(window, classe, 32);
  return lstrcmpiW(classe, nome) == 0;
}

struct DcSalvato {
  HDC dc;
  int stato;
  explicit DcSalvato(HDC d) : dc(d), stato(SaveDC(d)) {}
  ~DcSalvato() { RestoreDC(dc, stato); }
};

class Obsidian final : public Theme {
 public:
  explicit Obsidian(const ThemeColors& c)
      : c_(c),
        dialogo_(CreateSolidBrush(c.DialogBackground)),
        pannello_(CreateSolidBrush(c.PanelBackground)),
        edit_(CreateSolidBrush(c.EditBackground)),
        faccia_(CreateSolidBrush(c.ButtonFace)),
        faccia_hot_(CreateSolidBrush(c.ButtonHot)),
        faccia_premuta_(CreateSolidBrush(c.ButtonPressed)),
        bordo_(CreateSolidBrush(c.ButtonBorder)),
        bordo_edit_(CreateSolidBrush(c.EditBorder)),
        accento_(CreateSolidBrush(c.Accent)),
        casella_(CreateSolidBrush(c.CheckBox)),
        bordo_casella_(CreateSolidBrush(c.CheckBorder)) {}

  bool Completo() const {
    return dialogo_ && pannello_ && edit_ && faccia_ && faccia_hot_ && faccia_premuta_ && bordo_ && bordo_edit_ &&
           accento_ && casella_ && bordo_casella_;
  }

  void Applica(HWND top_level) const override {
    Sottoclassa(top_level, Tipo::Principale);
    TitoloScuro(top_level);
    EnumChildWindows(top_level, &Obsidian::PerFiglio, reinterpret_cast<LPARAM>(this));
    RedrawWindow(top_level, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
  }

  void CambioDpi(HWND top_level, UINT) const override {
    RedrawWindow(top_level, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
  }

 private:
  static BOOL CALLBACK PerFiglio(HWND figlio, LPARAM lparam) {
    try {
      reinterpret_cast<const Obsidian*>(lparam)->Classifica(figlio);
    } catch (...) {
      // A control left in the system's look; nothing may leave the callback.
    }
    return TRUE;
  }

  void Classifica(HWND figlio) const {
    const Obsidian* self = this;
    if (ClasseUguale(figlio, WC_BUTTONW)) {
      const LONG tipo = GetWindowLongW(figlio, GWL_STYLE) & BS_TYPEMASK;
      if (tipo == BS_PUSHBUTTON || tipo == BS_DEFPUSHBUTTON) self->Sottoclassa(figlio, Tipo::Pulsante);
      if (tipo == BS_CHECKBOX || tipo == BS_AUTOCHECKBOX) self->Sottoclassa(figlio, Tipo::Casella);
    } else if (ClasseUguale(figlio, WC_EDITW)) {
      // The combo's own field has no frame of its own to draw.
      if (!ClasseUguale(GetParent(figlio), WC_COMBOBOXW)) self->Sottoclassa(figlio, Tipo::Testo);
    } else if (ClasseUguale(figlio, WC_COMBOBOXW)) {
      self->Sottoclassa(figlio, Tipo::Combo);
    } else if ((GetWindowLongW(figlio, GWL_EXSTYLE) & WS_EX_CONTROLPARENT) != 0) {
      self->Sottoclassa(figlio, Tipo::Pannello);
    }
  }

  void Sottoclassa(HWND window, Tipo tipo) const {
    auto stato = std::make_unique<Stato>(Stato{this, tipo});
    if (SetWindowSubclass(window, &Obsidian::Procedura, kIdSubclass, reinterpret_cast<DWORD_PTR>(stato.get()))) {
      stato.release();  // freed by the subclass at WM_NCDESTROY
    }
  }

  void TitoloScuro(HWND window) const {
    const BOOL scuro = Attivo() ? TRUE : FALSE;
    if (FAILED(DwmSetWindowAttribute(window, kDarkMode, &scuro, sizeof scuro))) {
      DwmSetWindowAttribute(window, kDarkModeOld, &scuro, sizeof scuro);
    }
    // In high contrast the caption goes back to the system's colours.
    const COLORREF sfondo = scuro ? c_.CaptionBackground : kColoreDiSistema;
    const COLORREF testo = scuro ? c_.CaptionText : kColoreDiSistema;
    DwmSetWindowAttribute(window, kCaptionColor, &sfondo, sizeof sfondo);
    DwmSetWindowAttribute(window, kTextColor, &testo, sizeof testo);
  }

  // In high contrast the system's colours are the user's: the theme steps aside.
  static bool Attivo() { return !ContrastoElevato(); }

  static LRESULT CALLBACK Procedura(HWND window, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR id,
                                    DWORD_PTR dati) {
    auto* stato = reinterpret_cast<Stato*>(dati);
    if (message == WM_NCDESTROY) {
      RemoveWindowSubclass(window, &Obsidian::Procedura, id);
      delete stato;
      return DefSubclassProc(window, message, wparam, lparam);
    }
    try {
      LRESULT risultato = 0;
      if (Attivo() && stato->tema->Gestisci(*stato, window, message, wparam, lparam, risultato)) return risultato;
    } catch (...) {
      // Drawing falls back to the system's look; nothing may leave a window procedure.
    }
    return DefSubclassProc(window, message, wparam, lparam);
  }

  bool Gestisci(Stato& stato, HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& risultato) const {
    switch (stato.tipo) {
      case Tipo::Principale:
      case Tipo::Pannello:
        return Contenitore(stato, window, message, wparam, lparam, risultato);
      case Tipo::Pulsante:
      case Tipo::Casella:
        return Pulsante(stato, window, message, wparam, lparam, risultato);
      case Tipo::Testo:
        return Testo(window, message, wparam, lparam, risultato);
      case Tipo::Combo:
        return Combo(window, message, wparam, lparam, risultato);
    }
    return false;
  }

  // ---------------------------------------------------------- containers

  bool Contenitore(const Stato& stato, HWND window, UINT message, WPARAM wparam, LPARAM lparam,
                   LRESULT& risultato) const {
    HBRUSH sfondo = stato.tipo == Tipo::Pannello ? pannello_.get() : dialogo_.get();
    switch (message) {
      case WM_ERASEBKGND: {
        RECT r{};
        GetClientRect(window, &r);
        FillRect(reinterpret_cast<HDC>(wparam), &r, sfondo);
        risultato = 1;
        return true;
      }
      case WM_CTLCOLORSTATIC:
      case WM_CTLCOLORBTN:
      case WM_CTLCOLORDLG: {
        HDC dc = reinterpret_cast<HDC>(wparam);
        SetTextColor(dc, IsWindowEnabled(reinterpret_cast<HWND>(lparam)) ? c_.Text : c_.DisabledText);
        SetBkColor(dc, c_.DialogBackground);
        risultato = reinterpret_cast<LRESULT>(dialogo_.get());
        return true;
      }
      case WM_CTLCOLOREDIT:
      case WM_CTLCOLORLISTBOX: {
        HDC dc = reinterpret_cast<HDC>(wparam);
        SetTextColor(dc, c_.EditText);
        SetBkColor(dc, c_.EditBackground);
        risultato = reinterpret_cast<LRESULT>(edit_.get());
        return true;
      }
      case WM_SETTINGCHANGE:
      case WM_SYSCOLORCHANGE:
      case WM_THEMECHANGED:
        if (stato.tipo == Tipo::Principale) {
          TitoloScuro(window);
          RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
        }
        return false;
      default:
        return false;
    }
  }

  // ----------------------------------------------- buttons and check boxes

  bool Pulsante(Stato& stato, HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& risultato) const {
    switch (message) {
      case WM_PAINT: {
        PAINTSTRUCT ps{};
        HDC dc = BeginPaint(window, &ps);
        if (dc != nullptr) DisegnaPulsante(stato, window, dc);
        EndPaint(window, &ps);
        risultato = 0;
        return true;
      }
      case WM_PRINTCLIENT:
        DisegnaPulsante(stato, window, reinterpret_cast<HDC>(wparam));
        risultato = 0;
        return true;
      case WM_ERASEBKGND:
        risultato = 1;
        return true;
      case WM_MOUSEMOVE:
        if (!stato.hot) {
          stato.hot = true;
          TRACKMOUSEEVENT traccia{sizeof traccia, TME_LEAVE, window, 0};
          TrackMouseEvent(&traccia);
          risultato = DefSubclassProc(window, message, wparam, lparam);
          Ridisegna(window);
          return true;
        }
        return false;
      case WM_MOUSELEAVE:
        stato.hot = false;
        risultato = DefSubclassProc(window, message, wparam, lparam);
        Ridisegna(window);
        return true;
      case WM_LBUTTONDOWN:
      case WM_LBUTTONUP:
      case WM_LBUTTONDBLCLK:
      case WM_KEYDOWN:
      case WM_KEYUP:
      case WM_SETFOCUS:
      case WM_KILLFOCUS:
      case WM_ENABLE:
      case WM_SETTEXT:
      case WM_CAPTURECHANGED:
      case WM_UPDATEUISTATE:
      case BM_SETSTATE:
      case BM_SETCHECK:
      case BM_SETSTYLE:
        // The control draws its new state itself, in the system's look;
        // ours goes over it at once.
        risultato = DefSubclassProc(window, message, wparam, lparam);
        Ridisegna(window);
        return true;
      default:
        return false;
    }
  }

  static void Ridisegna(HWND window) {
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_NOERASE);
  }

  void DisegnaPulsante(const Stato& stato, HWND window, HDC dc) const {
    DcSalvato salvato(dc);
    RECT r{};
    GetClientRect(window, &r);
    const LRESULT st = SendMessageW(window, BM_GETSTATE, 0, 0);
    const bool premuto = (st & BST_PUSHED) != 0;
    const bool focus = GetFocus() == window;
    const bool abilitato = IsWindowEnabled(window) != FALSE;
    const int dpi = static_cast<int>(DpiFinestra(window));
    SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(window, WM_GETFONT, 0, 0)));
    SetBkMode(dc, TRANSPARENT);
    const std::u16string testo = TestoFinestra(window);

    if (stato.tipo == Tipo::Pulsante) {
      HBRUSH faccia = premuto ? faccia_premuta_.get() : (stato.hot ? faccia_hot_.get() : faccia_.get());
      FillRect(dc, &r, faccia);
      Cornice(dc, r, focus ? accento_.get() : bordo_.get(), focus ? std::max(1, Scala(2, dpi)) : std::max(1, Scala(1, dpi)));
      SetTextColor(dc, abilitato ? c_.ButtonText : c_.DisabledText);
      RECT t = r;
      if (premuto) OffsetRect(&t, 0, 1);
      DrawTextW(dc, platform::W(testo), static_cast<int>(testo.size()), &t,
                DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
      return;
    }

    // A check box: caption on the left, the box at the right edge.
    FillRect(dc, &r, dialogo_.get());
    const int lato = Scala(13, dpi);
    RECT box{r.right - lato, r.top + (r.bottom - r.top - lato) / 2, r.right, 0};
    box.bottom = box.top + lato;
    FillRect(dc, &box, casella_.get());
    Cornice(dc, box, focus ? accento_.get() : bordo_casella_.get(), std::max(1, Scala(1, dpi)));
    if (SendMessageW(window, BM_GETCHECK, 0, 0) == BST_CHECKED) {
      platform::unique_hpen penna(CreatePen(PS_SOLID, std::max(1, Scala(2, dpi)), c_.CheckMark));
      SelectObject(dc, penna.get());
      const int x = box.left;
      const int y = box.top;
      POINT segno[3] = {{x + lato * 3 / 13, y + lato * 6 / 13},
                        {x + lato * 5 / 13, y + lato * 9 / 13},
                        {x + lato * 10 / 13, y + lato * 3 / 13}};
      Polyline(dc, segno, 3);
      SelectObject(dc, GetStockObject(BLACK_PEN));
    }
    if (premuto) {
      Cornice(dc, box, accento_.get(), std::max(1, Scala(1, dpi)));
    }
    SetTextColor(dc, abilitato ? c_.CheckText : c_.DisabledText);
    RECT t{r.left, r.top, box.left - Scala(4, dpi), r.bottom};
    DrawTextW(dc, platform::W(testo), static_cast<int>(testo.size()), &t,
              DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
    if (focus) {
      // The caption's extent, underlined in the accent colour.
      RECT misura = t;
      DrawTextW(dc, platform::W(testo), static_cast<int>(testo.size()), &misura,
                DT_LEFT | DT_SINGLELINE | DT_NOPREFIX | DT_CALCRECT);
      const int altezza = misura.bottom - misura.top;
      RECT linea{t.left, t.top + (t.bottom - t.top + altezza) / 2, std::min(misura.right, t.right), 0};
      linea.bottom = linea.top + std::max(1, Scala(1, dpi));
      FillRect(dc, &linea, accento_.get());
    }
  }

  static void Cornice(HDC dc, RECT r, HBRUSH pennello, int spessore) {
    for (int i = 0; i < spessore; ++i) {
      FrameRect(dc, &r, pennello);
      InflateRect(&r, -1, -1);
    }
  }

  // ---------------------------------------------------------------- edits

  bool Testo(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& risultato) const {
    switch (message) {
      case WM_NCPAINT: {
        // The frame the client edge occupies, drawn flat: outline, then fill.
        HDC dc = GetWindowDC(window);
        if (dc == nullptr) return false;
        RECT r{};
        GetWindowRect(window, &r);
        OffsetRect(&r, -r.left, -r.top);
        const bool focus = GetFocus() == window;
        FrameRect(dc, &r, focus ? accento_.get() : bordo_edit_.get());
        InflateRect(&r, -1, -1);
        const int bordo = GetSystemMetrics(SM_CXEDGE);
        for (int i = 1; i < bordo; ++i) {
          FrameRect(dc, &r, focus ? accento_.get() : edit_.get());
          InflateRect(&r, -1, -1);
        }
        ReleaseDC(window, dc);
        risultato = 0;
        return true;
      }
      case WM_SETFOCUS:
      case WM_KILLFOCUS:
        risultato = DefSubclassProc(window, message, wparam, lparam);
        RedrawWindow(window, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE);
        return true;
      default:
        return false;
    }
  }

  // ------------------------------------------------------------ the combo

  bool Combo(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& risultato) const {
    switch (message) {
      case WM_PAINT: {
        PAINTSTRUCT ps{};
        HDC dc = BeginPaint(window, &ps);
        if (dc != nullptr) DisegnaCombo(window, dc);
        EndPaint(window, &ps);
        risultato = 0;
        return true;
      }
      case WM_ERASEBKGND:
        risultato = 1;
        return true;
      case WM_LBUTTONDOWN:
      case WM_LBUTTONUP:
      case WM_SETFOCUS:
      case WM_KILLFOCUS:
      case WM_ENABLE:
      case WM_CAPTURECHANGED:
      case WM_COMMAND:  // the edit field's focus changes come this way
        risultato = DefSubclassProc(window, message, wparam, lparam);
        RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_NOERASE);
        return true;
      default:
        return false;
    }
  }

  void DisegnaCombo(HWND window, HDC dc) const {
    DcSalvato salvato(dc);
    RECT r{};
    GetClientRect(window, &r);
    COMBOBOXINFO info{};
    info.cbSize = sizeof info;
    GetComboBoxInfo(window, &info);
    const int dpi = static_cast<int>(DpiFinestra(window));
    const bool focus = info.hwndItem != nullptr && GetFocus() == info.hwndItem;
    const bool aperto = SendMessageW(window, CB_GETDROPPEDSTATE, 0, 0) != 0;
    // Everything but the edit field, which paints itself.
    if (info.hwndItem != nullptr) {
      ExcludeClipRect(dc, info.rcItem.left, info.rcItem.top, info.rcItem.right, info.rcItem.bottom);
    }
    FillRect(dc, &r, edit_.get());
    RECT pulsante = info.rcButton;
    if (IsRectEmpty(&pulsante)) {
      pulsante = r;
      pulsante.left = r.right - GetSystemMetrics(SM_CXVSCROLL);
    }
    FillRect(dc, &pulsante, aperto ? faccia_premuta_.get() : faccia_.get());
    // The arrow, a small filled triangle.
    const int w = std::max(3, Scala(4, dpi));
    const int cx = (pulsante.left + pulsante.right) / 2;
    const int cy = (pulsante.top + pulsante.bottom) / 2;
    POINT freccia[3] = {{cx - w, cy - w / 2}, {cx + w + 1, cy - w / 2}, {cx, cy + w / 2 + 1}};
    platform::unique_hpen penna(CreatePen(PS_SOLID, 1, c_.ButtonText));
    platform::unique_hbrush riempi(CreateSolidBrush(c_.ButtonText));
    SelectObject(dc, penna.get());
    SelectObject(dc, riempi.get());
    Polygon(dc, freccia, 3);
    SelectObject(dc, GetStockObject(BLACK_PEN));
    SelectObject(dc, GetStockObject(WHITE_BRUSH));
    Cornice(dc, r, focus || aperto ? accento_.get() : bordo_edit_.get(), 1);
  }

  ThemeColors c_;
  platform::unique_hbrush dialogo_;
  platform::unique_hbrush pannello_;
  platform::unique_hbrush edit_;
  platform::unique_hbrush faccia_;
  platform::unique_hbrush faccia_hot_;
  platform::unique_hbrush faccia_premuta_;
  platform::unique_hbrush bordo_;
  platform::unique_hbrush bordo_edit_;
  platform::unique_hbrush accento_;
  platform::unique_hbrush casella_;
  platform::unique_hbrush bordo_casella_;
};

}  // namespace

std::unique_ptr<Theme> CaricaTema(HINSTANCE instance, const std::u16string& nome) {
  HRSRC risorsa = FindResourceW(instance, platform::W(nome), RT_RCDATA);
  if (risorsa == nullptr) return nullptr;
  HGLOBAL caricata = LoadResource(instance, risorsa);
  const void* dati = caricata != nullptr ? LockResource(caricata) : nullptr;
  const DWORD dimensione = SizeofResource(instance, risorsa);
  if (dati == nullptr || dimensione == 0) return nullptr;
  const auto colori = ParseTheme(std::string_view(static_cast<const char*>(dati), dimensione));
  if (!colori) return nullptr;
  auto tema = std::make_unique<Obsidian>(*colori);
  if (!tema->Completo()) return nullptr;
  return tema;
}

bool ContrastoElevato() {
  HIGHCONTRASTW hc{};
  hc.cbSize = sizeof hc;
  return SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof hc, &hc, 0) && (hc.dwFlags & HCF_HIGHCONTRASTON) != 0;
}

void MostraStileMancante(const std::u16string& nome, const std::u16string& titolo) {
  const std::u16string testo = u"Style '" + nome + u"' not found";
  // The task dialog needs version 6 of the common controls (the manifest
  // asks for it); without it the plain box says the same.
  using TaskDialogIndirectFn = HRESULT(WINAPI*)(const TASKDIALOGCONFIG*, int*, int*, BOOL*);
  HMODULE comctl = GetModuleHandleW(L"comctl32.dll");
  const auto task_dialog = comctl == nullptr ? nullptr
                                             : reinterpret_cast<TaskDialogIndirectFn>(reinterpret_cast<void*>(
                                                   GetProcAddress(comctl, "TaskDialogIndirect")));
  if (task_dialog != nullptr) {
    TASKDIALOGCONFIG config{};
    config.cbSize = sizeof config;
    config.dwCommonButtons = TDCBF_CLOSE_BUTTON;
    config.pszWindowTitle = platform::W(titolo);
    config.pszMainIcon = TD_ERROR_ICON;
    config.pszContent = platform::W(testo);
    if (SUCCEEDED(task_dialog(&config, nullptr, nullptr, nullptr))) return;
  }
  MessageBoxW(nullptr, platform::W(testo), platform::W(titolo), MB_OK | MB_ICONERROR);
}

}  // namespace qlx::ui

#include "ui/dialog.h"

#include <commctrl.h>

#include <exception>

#include "base/errors.h"
#include "base/wipe.h"
#include "mapping/mapping.h"
#include "platform/context.h"
#include "settings/record.h"
#include "settings/store.h"
#include "ui/theme.h"

namespace qlx::ui {

namespace {

constexpr DWORD kStile = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
// A taskbar button of its own while visible; Tab walks into Panel1.
constexpr DWORD kStileEsteso = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT | WS_EX_APPWINDOW;
constexpr UINT_PTR kIdCompletamento = 1;
// How many drive entries the open list shows before it scrolls.
constexpr int kVociVisibili = 12;

// Completes the drive field while the user types into it. Only typed
// characters complete: deleting the completed colon must stay possible.
LRESULT CALLBACK CompletamentoDrive(HWND edit, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR id,
                                    DWORD_PTR riferimento) {
  if (message == WM_NCDESTROY) {
    RemoveWindowSubclass(edit, &CompletamentoDrive, id);
    return DefSubclassProc(edit, message, wparam, lparam);
  }
  if (message != WM_CHAR || wparam < 0x20 || wparam == 0x7F) return DefSubclassProc(edit, message, wparam, lparam);
  auto* app = reinterpret_cast<AppHost*>(riferimento);
  const LRESULT risultato = DefSubclassProc(edit, message, wparam, lparam);
  try {
    DWORD inizio = 0;
    DWORD fine = 0;
    SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&inizio), reinterpret_cast<LPARAM>(&fine));
    const std::u16string testo = TestoFinestra(edit);
    if (inizio != fine || fine != testo.size()) return risultato;
    if (const auto completo = Completa(testo, VociDrive())) {
      SetWindowTextW(edit, platform::W(completo->testo));
      SendMessageW(edit, EM_SETSEL, completo->inizio_selezione, completo->fine_selezione);
    }
  } catch (...) {
    app->MostraErrore(std::current_exception());
  }
  return risultato;
}

void Imposta(HWND controllo, const std::u16string& testo) {
  if (!SetWindowTextW(controllo, platform::W(testo))) throw Error("Failed to set a field of the dialog");
}

}  // namespace

TfmDrive::TfmDrive(AppHost& app, HINSTANCE instance, const Theme* theme) : app_(app), theme_(theme) {
  RegistraClasse(instance, kClasseDialogo, &ProceduraDi<TfmDrive>, GetSysColorBrush(COLOR_BTNFACE));
  RegistraClasse(instance, kClassePannello, &TfmDrive::ProceduraPannello, GetSysColorBrush(COLOR_BTNFACE));
  HWND window = CreateWindowExW(kStileEsteso, kClasseDialogo, kTitoloDialogo, kStile, CW_USEDEFAULT, CW_USEDEFAULT,
                                kLarghezzaClient, kAltezzaClient, nullptr, nullptr, instance, this);
  if (window == nullptr) throw Error("Failed to create the dialog window");
  window_.reset(window);
  CreaControlli(instance);
  Disponi(DpiFinestra(window_.get()));
  focus_ = Controllo(Parte::btsalva);
  if (theme_ != nullptr) theme_->Applica(window_.get());
}

TfmDrive::~TfmDrive() = default;

void TfmDrive::CreaControlli(HINSTANCE instance) {
  for (const auto& c : Disposizione()) {
    HWND genitore = c.nel_pannello ? Controllo(Parte::Panel1) : window_.get();
    const wchar_t* classe = L"";
    DWORD stile = WS_CHILD | WS_VISIBLE | (c.tab_stop ? WS_TABSTOP : 0);
    DWORD esteso = 0;
    switch (c.genere) {
      case Genere::Pannello:
        classe = kClassePannello;
        stile |= WS_CLIPSIBLINGS;
        esteso = WS_EX_CONTROLPARENT;
        break;
      case Genere::Pulsante:
        classe = WC_BUTTONW;
        stile |= BS_PUSHBUTTON;
        break;
      case Genere::Etichetta:
        classe = WC_STATICW;
        stile |= SS_LEFT | SS_NOPREFIX;
        break;
      case Genere::Testo:
        classe = WC_EDITW;
        stile |= ES_AUTOHSCROLL;
        esteso = WS_EX_CLIENTEDGE;
        break;
      case Genere::Password:
        classe = WC_EDITW;
        stile |= ES_AUTOHSCROLL | ES_PASSWORD;
        esteso = WS_EX_CLIENTEDGE;
        break;
      case Genere::Combo:
        classe = WC_COMBOBOXW;
        stile |= CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL;
        break;
      case Genere::Casella:
        // Caption on the left, the box at the right edge of the control.
        classe = WC_BUTTONW;
        stile |= BS_AUTOCHECKBOX | BS_LEFTTEXT;
        break;
    }
    const std::u16string testo(c.testo);
    HWND h = CreateWindowExW(esteso, classe, platform::W(testo), stile, 0, 0, 0, 0, genitore,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(IdControllo(c.parte))), instance,
                             nullptr);
    if (h == nullptr) throw Error("Failed to create a control of the dialog");
    controlli_[static_cast<std::size_t>(c.parte)] = h;
  }
  SendMessageW(Controllo(Parte::edPassword), EM_SETPASSWORDCHAR, u'*', 0);
  // No length limit: the system's default would stop typing at 30000 or so.
  SendMessageW(Controllo(Parte::edUtente), EM_SETLIMITTEXT, 0, 0);
  SendMessageW(Controllo(Parte::edPassword), EM_SETLIMITTEXT, 0, 0);
  SendMessageW(Controllo(Parte::cbDrive), CB_LIMITTEXT, 0, 0);
  HWND combo = Controllo(Parte::cbDrive);
  for (const auto& voce : VociDrive()) {
    SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(platform::W(voce)));
  }
  COMBOBOXINFO info{};
  info.cbSize = sizeof info;
  if (GetComboBoxInfo(combo, &info) && info.hwndItem != nullptr) {
    edit_drive_ = info.hwndItem;
    SetWindowSubclass(edit_drive_, &CompletamentoDrive, kIdCompletamento, reinterpret_cast<DWORD_PTR>(&app_));
  }
}

void TfmDrive::Disponi(UINT dpi) {
  dpi_ = dpi;
  const int d = static_cast<int>(dpi);
  platform::unique_hfont nuovo(CreateFontW(-Scala(kAltezzaCarattere, d), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                                           DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                           DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"Tahoma"));
  const int larghezza = Scala(kLarghezzaClient, d);
  const int altezza = Scala(kAltezzaClient, d);
  for (const auto& c : Disposizione()) {
    HWND h = Controllo(c.parte);
    Rect r = c.genere == Genere::Pannello ? PosizionePannello(larghezza, altezza, d) : Scala(c.posizione, d);
    if (nuovo) SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(nuovo.get()), FALSE);
    int altezza_finestra = r.height;
    if (c.genere == Genere::Combo) {
      // The combo's own height covers its open list; the closed field is
      // set to the laid-out height through the selection field's item height.
      const int voce = static_cast<int>(SendMessageW(h, CB_GETITEMHEIGHT, 0, 0));
      altezza_finestra = r.height + kVociVisibili * (voce > 0 ? voce : r.height) + 2;
    }
    SetWindowPos(h, nullptr, r.left, r.top, r.width, altezza_finestra, SWP_NOZORDER | SWP_NOACTIVATE);
  }
  // The combo's closed height follows from its font and frame; bring it to
  // the laid-out height through the selection field's height (measured again,
  // as the frame is not the same on every system).
  {
    HWND combo = Controllo(Parte::cbDrive);
    const int voluto = Scala(Descrizione(Parte::cbDrive).posizione.height, d);
    // The value set is tracked here: what the system reads back for it
    // is not always the same number.
    int campo = static_cast<int>(SendMessageW(combo, CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0));
    for (int prova = 0; prova < 3 && campo > 0; ++prova) {
      RECT attuale{};
      GetWindowRect(combo, &attuale);
      const int differenza = voluto - (attuale.bottom - attuale.top);
      if (differenza == 0 || campo + differenza <= 0) break;
      campo += differenza;
      SendMessageW(combo, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), campo);
    }
  }
  // The frame's size is measured, not computed for the DPI: a window whose
  // frame the system does not scale keeps the frame it has.
  for (int prova = 0; prova < 2; ++prova) {
    RECT finestra{};
    RECT client{};
    GetWindowRect(window_.get(), &finestra);
    GetClientRect(window_.get(), &client);
    if (client.right == larghezza && client.bottom == altezza) break;
    const int cornice_x = (finestra.right - finestra.left) - client.right;
    const int cornice_y = (finestra.bottom - finestra.top) - client.bottom;
    SetWindowPos(window_.get(), nullptr, 0, 0, larghezza + cornice_x, altezza + cornice_y,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  if (nuovo) font_ = std::move(nuovo);
  if (theme_ != nullptr) theme_->CambioDpi(window_.get(), dpi);
  InvalidateRect(window_.get(), nullptr, TRUE);
}

bool TfmDrive::Spunta(Parte parte) const {
  return SendMessageW(Controllo(parte), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void TfmDrive::ImpostaSpunta(Parte parte, bool on) {
  SendMessageW(Controllo(parte), BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
}

void TfmDrive::AssegnaValori() {
  auto& p = settings::ParametriConnessione();
  p.User = TestoFinestra(Controllo(Parte::edUtente));
  {
    std::u16string password = TestoFinestra(Controllo(Parte::edPassword));
    SecureWipe(p.Password);
    p.Password.assign(password);
    SecureWipe(password);
  }
  p.PathDrive = TestoFinestra(Controllo(Parte::cbDrive));
  p.AutoConnect = Spunta(Parte::cbAutoConnect);
  p.AutoRun = Spunta(Parte::cbAutorun);
}

void TfmDrive::LeggiValori() {
  const auto& p = settings::ParametriConnessione();
  Imposta(Controllo(Parte::edUtente), p.User);
  Imposta(Controllo(Parte::edPassword), p.Password);
  Imposta(Controllo(Parte::cbDrive), p.PathDrive);
  ImpostaSpunta(Parte::cbAutoConnect, p.AutoConnect);
  ImpostaSpunta(Parte::cbAutorun, p.AutoRun);
}

void TfmDrive::Run() {
  PassiRunDialogo passi;
  passi.CaricaParametri = [] { settings::CaricaParametri(); };
  passi.LeggiValori = [this] { LeggiValori(); };
  passi.AutoConnect = [] { return settings::ParametriConnessione().AutoConnect; };
  passi.DisconnettiDrive = [] { mapping::DisconnettiDrive(); };
  passi.Pausa = [](std::uint32_t ms) { platform::Pause(ms); };
  passi.Connesso = [] { return mapping::Connesso(); };
  passi.ConnettiDrive = [] { mapping::ConnettiDrive(); };
  RunDialogo(passi);
}

PassiDialogo TfmDrive::Passi() {
  PassiDialogo passi;
  passi.AssegnaValori = [this] { AssegnaValori(); };
  passi.LeggiValori = [this] { LeggiValori(); };
  passi.CaricaParametri = [] { settings::CaricaParametri(); };
  passi.SalvaParametri = [] { settings::SalvaParametri(); };
  passi.DisconnettiDrive = [] { mapping::DisconnettiDrive(); };
  passi.ConnettiDrive = [] { mapping::ConnettiDrive(); };
  passi.Chiudi = [this] { app_.RichiestaChiusura(window_.get()); };
  return passi;
}

void TfmDrive::FormShow() { ui::FormShow(Passi()); }
void TfmDrive::btApplicaClick() { ui::Applica(Passi()); }
void TfmDrive::btsalvaClick() { ui::Salva(Passi()); }
void TfmDrive::btConnettiClick() { ui::Connetti(Passi()); }
void TfmDrive::btAnnullaClick() { ui::Annulla(Passi()); }

void TfmDrive::MostraModale() {
  try {
    FormShow();
  } catch (...) {
    // The dialog opens all the same, its controls as they were.
    app_.MostraErrore(std::current_exception());
  }
  HWND window = window_.get();
  if (!posizionato_) {
    RECT r{};
    GetWindowRect(window, &r);
    const Rect desktop{GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN),
                       GetSystemMetrics(SM_CXVIRTUALSCREEN), GetSystemMetrics(SM_CYVIRTUALSCREEN)};
    const Punto p = CentraSuDesktop(desktop, r.right - r.left, r.bottom - r.top);
    SetWindowPos(window, nullptr, p.x, p.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    posizionato_ = true;
  }
  // The monitor under the dialog may have another DPI than when it was last laid out.
  const UINT dpi = DpiFinestra(window);
  if (dpi != dpi_) Disponi(dpi);
  ShowWindow(window, SW_SHOW);
  SetForegroundWindow(window);
  HWND focus = (focus_ != nullptr && IsWindow(focus_)) ? focus_ : Controllo(Parte::btsalva);
  SetFocus(focus);
}

void TfmDrive::NascondiModale() {
  HWND window = window_.get();
  HWND focus = GetFocus();
  if (focus != nullptr && IsChild(window, focus)) focus_ = focus;
  ShowWindow(window, SW_HIDE);
}

bool TfmDrive::PreTraduci(MSG& msg) {
  HWND window = window_.get();
  if (msg.message == WM_KEYDOWN && msg.wParam == VK_RETURN && msg.hwnd != nullptr && IsChild(window, msg.hwnd)) {
    // No default button: Enter clicks a focused push button and nothing else.
    const LRESULT codice = SendMessageW(msg.hwnd, WM_GETDLGCODE, 0, 0);
    if (codice & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON)) {
      SendMessageW(msg.hwnd, BM_CLICK, 0, 0);
      return true;
    }
  }
  return IsDialogMessageW(window, &msg) != FALSE;
}

void TfmDrive::Comando(int id, int notifica) {
  if (notifica != BN_CLICKED) return;
  if (id == IdControllo(Parte::btsalva)) {
    btsalvaClick();
  } else if (id == IdControllo(Parte::btApplica)) {
    btApplicaClick();
  } else if (id == IdControllo(Parte::btConnetti)) {
    btConnettiClick();
  } else if (id == IdControllo(Parte::btAnnulla)) {
    btAnnullaClick();
  }
  // IDOK and IDCANCEL (Enter in a field, Esc) are ignored: no default and
  // no cancel button.
}

LRESULT TfmDrive::Gestisci(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_NCCREATE:
      // Where Windows offers it, the title bar scales with the monitor too.
      AbilitaScalaCornice(window);
      break;
    case WM_COMMAND:
      if (lparam != 0) Comando(LOWORD(wparam), HIWORD(wparam));
      return 0;
    case WM_CLOSE:
      app_.RichiestaChiusura(window);
      return 0;
    case WM_ACTIVATE:
      if (LOWORD(wparam) == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (focus != nullptr && IsChild(window, focus)) focus_ = focus;
      } else if (focus_ != nullptr && IsWindow(focus_) && IsWindowVisible(window)) {
        SetFocus(focus_);
        return 0;
      }
      break;
    case WM_DPICHANGED: {
      const auto* suggerito = reinterpret_cast<const RECT*>(lparam);
      Disponi(HIWORD(wparam));
      SetWindowPos(window, nullptr, suggerito->left, suggerito->top, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
      return 0;
    }
    case WM_NCDESTROY:
      window_.release();
      break;
    default:
      break;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

LRESULT CALLBACK TfmDrive::ProceduraPannello(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_DRAWITEM:
      // The buttons' notifications belong to the dialog.
      return SendMessageW(GetParent(window), message, wparam, lparam);
    default:
      return DefWindowProcW(window, message, wparam, lparam);
  }
}

}  // namespace qlx::ui

#include "ui/tray.h"

#include <cstdint>
#include <exception>

#include "base/errors.h"
#include "mapping/mapping.h"
#include "platform/context.h"
#include "res/resource_ids.h"
#include "settings/program.h"
#include "ui/dialog.h"
#include "ui/logic.h"

namespace qlx::ui {

// The icon's identifier is its window's handle value; the record's uID is a
// UINT, so on 64-bit Windows only the handle's low 32 bits are kept. Window
// handles are 32-bit values on both (the system guarantees it so that 32-
// and 64-bit processes can share them), so nothing is lost.
static_assert(sizeof(UINT) == 4, "uID is 32-bit");
static_assert(sizeof(HWND) == sizeof(UINT_PTR), "a window handle fits UINT_PTR");

namespace {

UINT IdentificatoreIcona(HWND window) {
  return static_cast<UINT>(reinterpret_cast<UINT_PTR>(window));
}

char16_t* Campo(wchar_t* field) { return reinterpret_cast<char16_t*>(field); }

}  // namespace

// ------------------------------------------------------------------ TTrayIcon

TTrayIcon::TTrayIcon(AppHost& app, HINSTANCE instance, HMENU menu) : app_(app), menu_(menu) {
  RegistraClasse(instance, kClasseTray, &ProceduraDi<TTrayIcon>);
  taskbar_created_ = RegisterWindowMessageW(L"TaskbarCreated");
  // A top-level window (hidden, never shown), not a message-only one: only
  // top-level windows receive the "TaskbarCreated" broadcast and the
  // session's end.
  HWND window =
      CreateWindowExW(WS_EX_TOOLWINDOW, kClasseTray, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, instance, this);
  if (window == nullptr) throw Error("Failed to create the tray icon's window");
  window_.reset(window);

  nid_.cbSize = sizeof nid_;
  nid_.hWnd = window_.get();
  nid_.uID = IdentificatoreIcona(window_.get());
  nid_.uCallbackMessage = kMessaggioTray;
  nid_.uFlags = NIF_MESSAGE | NIF_ICON;
  const std::u16string titolo = settings::TitoloApplicazione();
  if (!titolo.empty()) {
    nid_.uFlags |= NIF_TIP;
    CopiaSeDiverso(Campo(nid_.szTip), kCapienzaTip, titolo);
  }
  nid_.uTimeout = kDurataBalloonMs;
  // The program's own icon until the image list exists; LR_SHARED icons
  // belong to the system and are never destroyed.
  nid_.hIcon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_QLXDRIVE), IMAGE_ICON,
                                             GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON),
                                             LR_SHARED));
  aggiunta_ = Shell_NotifyIconW(NIM_ADD, &nid_) != FALSE;
}

TTrayIcon::~TTrayIcon() {
  NOTIFYICONDATAW record = nid_;
  Shell_NotifyIconW(NIM_DELETE, &record);
  // The window goes first (its object is this), the icon after it.
  window_.reset();
}

void TTrayIcon::ImpostaIcona(platform::unique_hicon icon) {
  if (!icon) return;
  nid_.hIcon = icon.get();
  Modifica(nid_.uFlags & ~NIF_INFO);
  icona_ = std::move(icon);
}

void TTrayIcon::Modifica(UINT flags) {
  NOTIFYICONDATAW record = nid_;
  record.uFlags = flags;
  Shell_NotifyIconW(NIM_MODIFY, &record);
}

void TTrayIcon::ShowNotifica(const std::u16string& msg) {
  const DWORD tipo = NIIF_INFO;
  // Copying a changed title or text modifies the icon without the info
  // flag: those updates must not bring a balloon (an earlier one, still
  // flagged, would show again with half-updated texts); only the last step
  // shows it.
  if (CopiaSeDiverso(Campo(nid_.szInfoTitle), kCapienzaTitoloInfo, kTitoloBalloon)) Modifica(nid_.uFlags & ~NIF_INFO);
  if (CopiaSeDiverso(Campo(nid_.szInfo), kCapienzaInfo, msg)) Modifica(nid_.uFlags & ~NIF_INFO);
  nid_.uFlags |= NIF_INFO;
  nid_.dwInfoFlags = tipo;
  nid_.uTimeout = kDurataBalloonMs;
  Shell_NotifyIconW(NIM_MODIFY, &nid_);
}

void TTrayIcon::ApriMenu() {
  // The menu closes properly when clicked away only if the program owns the
  // foreground; its item then arrives as WM_COMMAND through the loop.
  SetForegroundWindow(app_.Handle());
  app_.ElaboraMessaggi();
  POINT cursore{};
  GetCursorPos(&cursore);
  TrackPopupMenu(menu_, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON, cursore.x, cursore.y, 0, app_.Handle(),
                 nullptr);
  PostMessageW(app_.Handle(), WM_NULL, 0, 0);
}

LRESULT TTrayIcon::Gestisci(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == kMessaggioTray) {
    switch (static_cast<UINT>(lparam)) {
      case WM_RBUTTONUP:
        ApriMenu();
        break;
      case NIN_BALLOONHIDE:
      case NIN_BALLOONTIMEOUT:
        nid_.uFlags &= ~NIF_INFO;
        break;
      default:
        break;
    }
    return 0;
  }
  if (message == taskbar_created_ && taskbar_created_ != 0) {
    // Explorer restarted: the icon is gone from the new taskbar. A balloon
    // already shown is not brought back.
    NOTIFYICONDATAW record = nid_;
    record.uFlags &= ~NIF_INFO;
    aggiunta_ = Shell_NotifyIconW(NIM_ADD, &record) != FALSE;
    return 0;
  }
  switch (message) {
    case WM_QUERYENDSESSION:
      return TRUE;
    case WM_ENDSESSION:
      if (wparam != FALSE) {
        // The session ends now: the icon leaves, the mapping stays, and the
        // process goes without unwinding (Windows may end it at any moment
        // after this message returns).
        NOTIFYICONDATAW record = nid_;
        Shell_NotifyIconW(NIM_DELETE, &record);
        ExitProcess(0);
      }
      return 0;
    case WM_CLOSE:
      // Only the dialog's close request means something to the program.
      return 0;
    case WM_NCDESTROY:
      window_.release();
      break;
    default:
      break;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

// ------------------------------------------------------------------- TdmDrive

TdmDrive::TdmDrive(AppHost& app, HINSTANCE instance)
    : app_(app),
      PopupMenu1_(CreaMenu()),
      TrayIcon_(app, instance, PopupMenu1_.get()),
      JustOne321_(),
      ImageList1_(CreaImmagini(instance)) {
  if (ImageList1_ && ImageList_GetImageCount(ImageList1_.get()) > 0) {
    TrayIcon_.ImpostaIcona(platform::unique_hicon(ImageList_GetIcon(ImageList1_.get(), 0, ILD_NORMAL)));
  }
}

platform::unique_hmenu TdmDrive::CreaMenu() {
  platform::unique_hmenu menu(CreatePopupMenu());
  if (!menu) throw Error("Failed to create the tray menu");
  AppendMenuW(menu.get(), MF_STRING, kParametri1, L"Parametri");
  AppendMenuW(menu.get(), MF_SEPARATOR, 0, nullptr);
  AppendMenuW(menu.get(), MF_STRING, kConnetti1, L"Connetti");
  AppendMenuW(menu.get(), MF_STRING, kDisconnetti1, L"Disconnetti");
  AppendMenuW(menu.get(), MF_SEPARATOR, 0, nullptr);
  AppendMenuW(menu.get(), MF_STRING, kEsci1, L"Esci");
  return menu;
}

unique_himagelist TdmDrive::CreaImmagini(HINSTANCE instance) {
  unique_himagelist lista(ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 5, 0));
  if (!lista) return lista;
  for (int id : {IDI_CLOUD_BLUE, IDI_CLOUD_RED, IDI_CLOUD_GREEN, IDI_CLOUD_ORANGE, IDI_CLOUD_VIOLET}) {
    platform::unique_hicon immagine(
        static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(id), IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR)));
    if (immagine) ImageList_AddIcon(lista.get(), immagine.get());
  }
  return lista;
}

void TdmDrive::Run() {
  PassiRunTray passi;
  passi.ControlloSessione = [this] { return JustOne321_.ControlloSessione(); };
  passi.NascondiDialogo = [this] { ShowWindow(app_.fmDrive().Handle(), SW_HIDE); };
  passi.RunDialogo = [this] { app_.fmDrive().Run(); };
  passi.Connesso = [] { return mapping::Connesso(); };
  passi.ShowNotifica = [this](const std::u16string& msg) { ShowNotifica(msg); };
  RunTray(passi);
}

void TdmDrive::Comando(UINT id) {
  switch (id) {
    case kParametri1:
      Parametri1Click();
      break;
    case kConnetti1:
      Connetti1Click();
      break;
    case kDisconnetti1:
      Disconnetti1Click();
      break;
    case kEsci1:
      Esci1Click();
      break;
    default:
      break;
  }
}

void TdmDrive::Parametri1Click() { app_.ShowModal(app_.fmDrive()); }

namespace {
PassiTray PassiDelTray(TdmDrive& dm, AppHost& app) {
  PassiTray passi;
  passi.DisconnettiDrive = [] { mapping::DisconnettiDrive(); };
  passi.Pausa = [](std::uint32_t ms) { platform::Pause(ms); };
  passi.ConnettiDrive = [] { mapping::ConnettiDrive(); };
  passi.Connesso = [] { return mapping::Connesso(); };
  passi.ShowNotifica = [&dm](const std::u16string& msg) { dm.ShowNotifica(msg); };
  passi.Termina = [&app] { app.Termina(); };
  return passi;
}
}  // namespace

void TdmDrive::Connetti1Click() { ui::Connetti1Click(PassiDelTray(*this, app_)); }

void TdmDrive::Disconnetti1Click() { mapping::DisconnettiDrive(); }

void TdmDrive::Esci1Click() { ui::Esci1Click(PassiDelTray(*this, app_)); }

void TdmDrive::ShowNotifica(const std::u16string& msg) { TrayIcon_.ShowNotifica(msg); }

}  // namespace qlx::ui

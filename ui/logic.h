#pragma once
// The parts of the tray controller and the dialog that need no window: the
// dialog's layout and its scaling, where the dialog opens, the drive field's
// completion, the error box's text, the tray record's text fields, and the
// order in which each action runs its steps. The Win32 side only carries
// these out, so they are tested natively.
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qlx::ui {

// ---------------------------------------------------------------- layout

struct Rect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  bool operator==(const Rect&) const = default;
};

// The dialog's parts, in the order their windows are created: this order is
// both the z-order (each label just before its field, so screen readers name
// the field) and, among the parts that take the focus, the tab order.
enum class Parte {
  Panel1,
  btsalva,
  btApplica,
  btConnetti,
  btAnnulla,
  Label1,
  edUtente,
  Label2,
  edPassword,
  Label3,
  cbDrive,
  cbAutorun,
  cbAutoConnect,
};
inline constexpr std::size_t kNumeroParti = 13;

enum class Genere { Pannello, Pulsante, Etichetta, Testo, Password, Combo, Casella };

struct Controllo {
  Parte parte;
  Genere genere;
  std::u16string_view testo;
  Rect posizione;  // at 96 DPI, relative to its container
  bool nel_pannello;
  bool tab_stop;
};

// Client area of the dialog at 96 DPI.
inline constexpr int kLarghezzaClient = 379;
inline constexpr int kAltezzaClient = 192;
// Tahoma's character height at 96 DPI (the font's lfHeight is its negative).
inline constexpr int kAltezzaCarattere = 13;

// Every part in creation order.
const std::array<Controllo, kNumeroParti>& Disposizione();
const Controllo& Descrizione(Parte parte);

// MulDiv(value, dpi, 96): rounded to nearest, halves away from zero.
int Scala(int value, int dpi);
Rect Scala(const Rect& rect, int dpi);

// Panel1 is docked along the bottom edge over the full width: its place
// follows the client area's, whatever the scaling did to each.
Rect PosizionePannello(int client_width, int client_height, int dpi);

// Where a window of the given size opens, centred on the rectangle that
// spans all monitors, its top-left corner kept inside that rectangle.
struct Punto {
  int x = 0;
  int y = 0;
  bool operator==(const Punto&) const = default;
};
Punto CentraSuDesktop(const Rect& desktop, int width, int height);

// ------------------------------------------------------- drive field

// "A:" to "Z:".
const std::vector<std::u16string>& VociDrive();

struct Completamento {
  std::u16string testo;
  std::size_t inizio_selezione = 0;  // the appended part is selected
  std::size_t fine_selezione = 0;
  bool operator==(const Completamento&) const = default;
};
// Typing `digitato` completes it with the rest of the first entry that
// begins with it, compared without regard to ASCII case; the typed
// characters stay as typed. Nothing to append (no entry, or an exact
// entry) gives nullopt.
std::optional<Completamento> Completa(std::u16string_view digitato, const std::vector<std::u16string>& voci);

// ------------------------------------------------------------ texts

// The error box's text: the message with "." appended when its last
// character's code is above that of ".".
std::u16string TestoBoxErrore(std::u16string_view messaggio);

// The tray record's text fields hold at most `capienza - 1` characters and a
// terminating zero. A text that is longer is cut, never inside a surrogate
// pair (a half pair is no character and shows as garbage).
std::u16string_view Tronca(std::u16string_view testo, std::size_t capienza);

// Copies `testo` (cut to fit) into a zero-terminated field when it differs
// from what the field holds; true when it copied.
bool CopiaSeDiverso(char16_t* campo, std::size_t capienza, std::u16string_view testo);
template <std::size_t N>
bool CopiaSeDiverso(char16_t (&campo)[N], std::u16string_view testo) {
  return CopiaSeDiverso(campo, N, testo);
}

inline constexpr std::size_t kCapienzaTip = 128;         // tooltip: 127 characters
inline constexpr std::size_t kCapienzaTitoloInfo = 64;   // balloon title: 63
inline constexpr std::size_t kCapienzaInfo = 256;        // balloon text: 255

// ------------------------------------------------------------ actions
// Each user action is a fixed sequence of steps; a step that raises ends the
// action there (the raise reaches the error box), so later steps do not run.

struct PassiDialogo {
  std::function<void()> AssegnaValori;
  std::function<void()> LeggiValori;
  std::function<void()> CaricaParametri;
  std::function<void()> SalvaParametri;
  std::function<void()> DisconnettiDrive;
  std::function<void()> ConnettiDrive;
  std::function<void()> Chiudi;
};
void FormShow(const PassiDialogo& passi);
void Applica(const PassiDialogo& passi);
void Salva(const PassiDialogo& passi);
void Connetti(const PassiDialogo& passi);
void Annulla(const PassiDialogo& passi);

struct PassiTray {
  std::function<void()> DisconnettiDrive;
  std::function<void(std::uint32_t)> Pausa;
  std::function<void()> ConnettiDrive;
  std::function<bool()> Connesso;
  std::function<void(const std::u16string&)> ShowNotifica;
  std::function<void()> Termina;  // posts the quit message
};
inline constexpr char16_t kSuccesso[] = u"Connessione effettuata con successo";
inline constexpr char16_t kErrore[] = u"Errore nella connessione";
void Connetti1Click(const PassiTray& passi);
void Esci1Click(const PassiTray& passi);

// Start-up: TdmDrive.Run, and TfmDrive.Run which it calls.
struct PassiRunDialogo {
  std::function<void()> CaricaParametri;
  std::function<void()> LeggiValori;
  std::function<bool()> AutoConnect;
  std::function<void()> DisconnettiDrive;
  std::function<void(std::uint32_t)> Pausa;
  std::function<bool()> Connesso;
  std::function<void()> ConnettiDrive;
};
void RunDialogo(const PassiRunDialogo& passi);

struct PassiRunTray {
  std::function<bool()> ControlloSessione;  // true: another copy runs
  std::function<void()> NascondiDialogo;
  std::function<void()> RunDialogo;
  std::function<bool()> Connesso;
  std::function<void(const std::u16string&)> ShowNotifica;
};
void RunTray(const PassiRunTray& passi);

}  // namespace qlx::ui

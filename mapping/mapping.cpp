#include "mapping/mapping.h"

#include <exception>
#include <utility>

#include "cipher/wipe.h"
#include "platform/context.h"
#include "settings/program.h"
#include "settings/record.h"
#include "settings/store.h"

namespace qlx::mapping {

namespace {

// Pauses and counts of the drive wait.
constexpr std::uint32_t kPausaDopoFigloMs = 10;
constexpr std::uint32_t kPausaDriveMs = 100;
constexpr int kPauseDriveMassime = 200;
constexpr int kSwShowNormal = 1;
constexpr std::uintptr_t kUltimoErroreShell = 32;  // ShellExecuteW: 32 or less is a failure

// Runs one NET USE line with the system's own net.exe; a system directory
// that cannot be read counts as a command that did not start, since a bare
// "\net.exe" or a search by name could find a planted program.
std::int32_t EseguiNet(const std::u16string& riga) {
  const std::u16string programma = ProgrammaNet();
  if (programma.empty()) return -1;
  return EseguiEAttendi(riga, kSwHide, programma);
}

// The message boxes' caption. The launcher's last resort must show its box
// even when the program's own path is what failed.
std::u16string Didascalia() {
  try {
    return settings::TitoloApplicazione();
  } catch (const std::exception&) {
    return {};
  }
}

void Mostra(const std::u16string& didascalia, const std::u16string& testo) {
  platform::CurrentMessages().Show(didascalia, testo, platform::Messages::Kind::Plain);
}

}  // namespace

bool& Connesso() {
  static bool connesso = false;
  return connesso;
}

std::int32_t EseguiEAttendi(const std::u16string& command_line, std::uint16_t show_window,
                            const std::u16string& application, std::uint32_t timeout_ms) {
  // A cut line would carry a cut password: a line the system cannot take
  // whole is not run at all.
  if (command_line.size() > kLunghezzaMassimaComando) return -1;
  struct Richiesta {
    platform::ProcessRequest dati;
    ~Richiesta() { SecureWipe(dati.command_line); }
  } richiesta{{application, command_line, show_window, kFlagCreazione, timeout_ms}};
  const platform::ProcessOutcome esito = platform::CurrentProcesses().RunAndWait(richiesta.dati);
  if (esito.kind != platform::ProcessOutcome::Kind::Exited) return -1;
  platform::Pause(kPausaDopoFigloMs);
  return static_cast<std::int32_t>(esito.exit_code);
}

void AggiungiArgomento(std::u16string& riga, std::u16string_view argomento) {
  if (argomento.find_first_of(u" \t\"") == std::u16string_view::npos) {
    riga.append(argomento);
    return;
  }
  // The parser's rules: backslashes are literal unless a quote follows them;
  // then each pair stands for one backslash and an odd one escapes the quote.
  riga.push_back(u'"');
  std::size_t barre = 0;
  for (const char16_t c : argomento) {
    if (c == u'\\') {
      ++barre;
      continue;
    }
    if (c == u'"') {
      riga.append(barre * 2 + 1, u'\\');
    } else {
      riga.append(barre, u'\\');
    }
    riga.push_back(c);
    barre = 0;
  }
  // The closing quote follows them too.
  riga.append(barre * 2, u'\\');
  riga.push_back(u'"');
}

std::u16string ComandoConnessione() {
  const auto& p = settings::ParametriConnessione();
  const std::u16string indirizzo = ServiceBaseUrl() + p.User;
  const std::u16string account = p.User + u"@" + AccountDomain();
  std::u16string riga;
  // Room for every piece quoted, so that the line holding the password is
  // never moved (and a copy left behind) while it grows.
  riga.reserve(64 + 2 * (p.PathDrive.size() + indirizzo.size() + p.Password.size() + account.size()));
  riga += u"NET USE ";
  AggiungiArgomento(riga, p.PathDrive);
  riga += u" ";
  AggiungiArgomento(riga, indirizzo);
  riga += u" ";
  AggiungiArgomento(riga, p.Password);
  riga += u" /user:";
  AggiungiArgomento(riga, account);
  riga += u" ";
  return riga;
}

std::u16string ComandoDisconnessione() {
  std::u16string riga = u"NET USE ";
  AggiungiArgomento(riga, settings::ParametriConnessione().PathDrive);
  riga += u" /DELETE";
  return riga;
}

std::u16string ProgrammaNet() {
  const std::u16string sistema = platform::CurrentProcesses().SystemDirectory();
  if (sistema.empty()) return {};
  return sistema + u"\\net.exe";
}

std::int32_t ConnettiDrive(bool apri_explorer) {
  settings::CaricaParametri();
  if (!settings::ParametriCompleti()) return kNessunComando;
  Wiped<std::u16string> riga(ComandoConnessione());
  const std::int32_t esito = EseguiNet(*riga);
  if (esito == 0) {
    Connesso() = true;
    if (apri_explorer) ApriExplorer(u"");
  } else {
    Connesso() = false;
  }
  return esito;
}

std::int32_t DisconnettiDrive() {
  if (settings::ParametriConnessione().PathDrive.empty()) return kNessunComando;
  const std::int32_t esito = EseguiNet(ComandoDisconnessione());
  Connesso() = false;
  return esito;
}

bool DrivePresente(const std::u16string& drive) {
  if (drive.size() < 2 || drive[1] != u':') return false;
  const char16_t lettera = drive[0];
  unsigned bit;
  if (lettera >= u'A' && lettera <= u'Z') {
    bit = lettera - u'A';
  } else if (lettera >= u'a' && lettera <= u'z') {
    bit = lettera - u'a';
  } else {
    return false;
  }
  return ((platform::CurrentDrives().LogicalDriveMask() >> bit) & 1u) != 0;
}

void ApriExplorer(const std::u16string& sub_path) {
  const std::u16string& drive = settings::ParametriConnessione().PathDrive;
  // At most 201 tests and 200 pauses; the last test decides.
  bool presente = DrivePresente(drive);
  for (int pause = 0; !presente && pause < kPauseDriveMassime; ++pause) {
    platform::Pause(kPausaDriveMs);
    presente = DrivePresente(drive);
  }
  if (!presente) return;

  const std::u16string radice = platform::CurrentEnvironment().Variable(u"SYSTEMROOT").value_or(u"");
  try {
    if (!Connesso()) return;
    const std::u16string programma = radice + u"\\explorer.exe";
    const std::u16string parametri = drive + sub_path;
    const std::uintptr_t esito = platform::CurrentShell().Execute(u"open", programma, parametri, kSwShowNormal);
    if (esito <= kUltimoErroreShell) {
      // Read before anything else can change the thread's last error.
      const std::uint32_t codice = platform::CurrentMessages().LastError();
      Mostra(settings::TitoloApplicazione(), TestoErroreSistema(codice));
    }
  } catch (const std::exception&) {
    const std::uint32_t codice = platform::CurrentMessages().LastError();
    Mostra(Didascalia(), u"ERRORE: (2) " + TestoErroreSistema(codice));
  }
}

std::u16string TestoErroreSistema(std::uint32_t code) {
  std::u16string testo = platform::CurrentMessages().SystemText(code);
  while (!testo.empty() && (testo.back() <= u' ' || testo.back() == u'.')) testo.pop_back();
  return testo;
}

}  // namespace qlx::mapping

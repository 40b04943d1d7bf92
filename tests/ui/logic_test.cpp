// The dialog's layout and scaling, where it opens, the drive field's
// completion, the error box's text, the tray record's text fields, and the
// order of every action's steps.
#include "ui/logic.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace qlx::ui {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

// ------------------------------------------------------------------ layout

std::vector<Parte> OrdineTab() {
  std::vector<Parte> ordine;
  for (const auto& c : Disposizione())
    if (c.tab_stop) ordine.push_back(c.parte);
  return ordine;
}

TEST(Layout, TabOrderWalksTheButtonsFirstThenTheFieldsTopToBottom) {
  EXPECT_THAT(OrdineTab(), ElementsAre(Parte::btsalva, Parte::btApplica, Parte::btConnetti, Parte::btAnnulla,
                                       Parte::edUtente, Parte::edPassword, Parte::cbDrive, Parte::cbAutorun,
                                       Parte::cbAutoConnect));
}

TEST(Layout, EachLabelComesJustBeforeItsFieldAndTakesNoFocus) {
  const auto& d = Disposizione();
  const std::pair<Parte, Parte> coppie[] = {
      {Parte::Label1, Parte::edUtente}, {Parte::Label2, Parte::edPassword}, {Parte::Label3, Parte::cbDrive}};
  for (const auto& [etichetta, campo] : coppie) {
    const auto i = static_cast<std::size_t>(etichetta);
    ASSERT_LT(i + 1, d.size());
    EXPECT_EQ(d[i + 1].parte, campo);
    EXPECT_FALSE(d[i].tab_stop);
    EXPECT_EQ(d[i].genere, Genere::Etichetta);
    // Side by side on the same row: the label is to the left of its field.
    EXPECT_LT(d[i].posizione.left + d[i].posizione.width, d[i + 1].posizione.left);
  }
}

TEST(Layout, DescriptionIsIndexedByPart) {
  for (const auto& c : Disposizione()) EXPECT_EQ(Descrizione(c.parte).parte, c.parte);
}

TEST(Layout, ButtonsReadLeftToRightAndKeepTheirDistanceFromThePanelsRightEdge) {
  std::vector<std::pair<int, std::u16string>> pulsanti;
  for (const auto& c : Disposizione())
    if (c.genere == Genere::Pulsante) {
      EXPECT_TRUE(c.nel_pannello);
      pulsanti.emplace_back(c.posizione.left, std::u16string(c.testo));
    }
  std::sort(pulsanti.begin(), pulsanti.end());
  std::vector<std::u16string> testi;
  for (const auto& p : pulsanti) testi.push_back(p.second);
  EXPECT_THAT(testi, ElementsAre(u"Connetti", u"Applica", u"Salva", u"Annulla"));
  const Rect pannello = Descrizione(Parte::Panel1).posizione;
  const Rect ultimo = Descrizione(Parte::btAnnulla).posizione;
  EXPECT_EQ(pannello.width - (ultimo.left + ultimo.width), 8);
  for (const auto& c : Disposizione())
    if (c.nel_pannello) {
      EXPECT_GE(c.posizione.top, 0);
      EXPECT_LE(c.posizione.top + c.posizione.height, pannello.height);
    }
}

TEST(Layout, EveryFieldLiesInTheClientAreaAbovePanel1) {
  const Rect pannello = Descrizione(Parte::Panel1).posizione;
  EXPECT_EQ(pannello.top + pannello.height, kAltezzaClient);
  EXPECT_EQ(pannello.width, kLarghezzaClient);
  for (const auto& c : Disposizione()) {
    if (c.nel_pannello || c.parte == Parte::Panel1) continue;
    EXPECT_GE(c.posizione.left, 0);
    EXPECT_LE(c.posizione.left + c.posizione.width, kLarghezzaClient);
    EXPECT_LE(c.posizione.top + c.posizione.height, pannello.top) << static_cast<int>(c.parte);
  }
}

TEST(Layout, TextsAreTheDialogsOwn) {
  EXPECT_EQ(Descrizione(Parte::Label1).testo, u"Utente:");
  EXPECT_EQ(Descrizione(Parte::Label2).testo, u"Password:");
  EXPECT_EQ(Descrizione(Parte::Label3).testo, u"Drive:");
  EXPECT_EQ(Descrizione(Parte::cbAutorun).testo, u"Esecuzione automatica");
  EXPECT_EQ(Descrizione(Parte::cbAutoConnect).testo, u"Connessione automatica");
  EXPECT_EQ(Descrizione(Parte::edPassword).genere, Genere::Password);
  EXPECT_EQ(Descrizione(Parte::cbDrive).genere, Genere::Combo);
}

struct CasoScala {
  int valore;
  int dpi;
  int atteso;
};

TEST(Layout, ScalingRoundsLikeMulDiv) {
  const CasoScala casi[] = {
      {379, 96, 379},  {379, 120, 474},   // 473.75
      {379, 144, 569},                     // 568.5, half away from zero
      {192, 144, 288}, {13, 120, 16},      // 16.25
      {13, 144, 20},                       // 19.5
      {41, 144, 62},                       // 61.5
      {1, 144, 2},     {-1, 144, -2},  {-13, 120, -16}, {0, 192, 0},
      {75, 192, 150},  {30000, 480, 150000},
  };
  for (const auto& c : casi) EXPECT_EQ(Scala(c.valore, c.dpi), c.atteso) << c.valore << " at " << c.dpi;
  EXPECT_EQ(Scala(Rect{10, 20, 42, 16}, 144), (Rect{15, 30, 63, 24}));
}

TEST(Layout, Panel1StaysDockedToTheBottomAtEveryDpi) {
  for (int dpi : {96, 120, 144, 168, 192, 240, 288}) {
    const int w = Scala(kLarghezzaClient, dpi);
    const int h = Scala(kAltezzaClient, dpi);
    const Rect p = PosizionePannello(w, h, dpi);
    EXPECT_EQ(p.left, 0);
    EXPECT_EQ(p.width, w);
    EXPECT_EQ(p.top + p.height, h) << dpi;
    EXPECT_EQ(p.height, Scala(41, dpi));
  }
  EXPECT_EQ(PosizionePannello(379, 192, 96), (Rect{0, 151, 379, 41}));
}

TEST(Layout, OpensCentredOnTheWholeDesktopWithItsCornerInside) {
  // One monitor.
  EXPECT_EQ(CentraSuDesktop({0, 0, 1280, 1024}, 385, 217), (Punto{447, 403}));
  // Two monitors, the second to the left of the primary: the span is centred.
  EXPECT_EQ(CentraSuDesktop({-1920, 0, 3200, 1080}, 400, 200), (Punto{-1920 + 1400, 440}));
  // Larger than the desktop: the top-left corner stays inside it.
  EXPECT_EQ(CentraSuDesktop({-100, -50, 300, 200}, 500, 400), (Punto{-100, -50}));
  EXPECT_EQ(CentraSuDesktop({0, 0, 800, 600}, 900, 100), (Punto{0, 250}));
}

// ------------------------------------------------------------- drive field

TEST(DriveField, ListsAToZWithColons) {
  const auto& voci = VociDrive();
  ASSERT_EQ(voci.size(), 26u);
  EXPECT_EQ(voci.front(), u"A:");
  EXPECT_EQ(voci[16], u"Q:");
  EXPECT_EQ(voci.back(), u"Z:");
}

struct CasoCompletamento {
  std::u16string digitato;
  std::optional<Completamento> atteso;
};

TEST(DriveField, TypingCompletesFromTheFirstMatchingEntry) {
  const CasoCompletamento casi[] = {
      {u"z", Completamento{u"z:", 1, 2}},   // the typed letter stays lower case
      {u"Q", Completamento{u"Q:", 1, 2}},
      {u"a", Completamento{u"a:", 1, 2}},
      {u"Z:", std::nullopt},                // already an entry: nothing to add
      {u"z:", std::nullopt},
      {u"", std::nullopt},
      {u"zz", std::nullopt},                // no entry begins so
      {u"1", std::nullopt},
      {u":", std::nullopt},
      {u"\u00E0", std::nullopt},            // no case folding beyond ASCII
  };
  for (const auto& c : casi) {
    const auto r = Completa(c.digitato, VociDrive());
    EXPECT_EQ(r, c.atteso) << std::string(c.digitato.begin(), c.digitato.end());
  }
}

TEST(DriveField, TheFirstEntryInListOrderWins) {
  const std::vector<std::u16string> voci{u"Net1", u"NET22", u"n"};
  EXPECT_EQ(Completa(u"ne", voci), (Completamento{u"net1", 2, 4}));
  EXPECT_EQ(Completa(u"NET2", voci), (Completamento{u"NET22", 4, 5}));
}

// ------------------------------------------------------------------- texts

TEST(ErrorBox, AppendsAFullStopOnlyAfterCharactersAboveIt) {
  const std::pair<std::u16string, std::u16string> casi[] = {
      {u"Cannot make a visible window modal", u"Cannot make a visible window modal."},
      {u"Failed to set data for 'USER'", u"Failed to set data for 'USER'"},  // "'" is below "."
      {u"Done.", u"Done."},
      {u"Why?", u"Why?."},   // "?" (0x3F) is above "."
      {u"x!", u"x!"},        // "!" (0x21) is below
      {u"a-", u"a-"},        // "-" (0x2D) is just below
      {u"a/", u"a/."},       // "/" (0x2F) is just above
      {u"1", u"1."},
      {u"citt\u00E0", u"citt\u00E0."},
      {u"", u""},
  };
  for (const auto& [messaggio, atteso] : casi) EXPECT_EQ(TestoBoxErrore(messaggio), atteso);
}

TEST(TrayText, CutsToTheFieldWithoutSplittingASurrogatePair) {
  const std::u16string lungo(300, u'x');
  EXPECT_EQ(Tronca(lungo, kCapienzaTip).size(), 127u);
  EXPECT_EQ(Tronca(lungo, kCapienzaTitoloInfo).size(), 63u);
  EXPECT_EQ(Tronca(lungo, kCapienzaInfo).size(), 255u);
  EXPECT_EQ(Tronca(u"Qlxdrive", kCapienzaTip), u"Qlxdrive");
  // 126 characters and then U+1F600 (two units): the pair would straddle the
  // limit, so the whole character goes.
  std::u16string bordo(126, u'a');
  bordo += u"\U0001F600";
  EXPECT_EQ(Tronca(bordo, kCapienzaTip), std::u16string(126, u'a'));
  std::u16string dentro(125, u'a');
  dentro += u"\U0001F600";
  EXPECT_EQ(Tronca(dentro, kCapienzaTip), dentro);
  EXPECT_EQ(Tronca(u"abc", 1), u"");
  EXPECT_EQ(Tronca(u"abc", 0), u"");
}

TEST(TrayText, CopiesOnlyWhenTheTextDiffers) {
  char16_t campo[8] = {};
  EXPECT_TRUE(CopiaSeDiverso(campo, u"Lumivor"));
  EXPECT_EQ(std::u16string(campo), u"Lumivor");
  EXPECT_FALSE(CopiaSeDiverso(campo, u"Lumivor"));
  // A shorter text leaves nothing of the longer one behind.
  EXPECT_TRUE(CopiaSeDiverso(campo, u"Ok"));
  EXPECT_EQ(std::u16string(campo), u"Ok");
  for (std::size_t i = 2; i < 8; ++i) EXPECT_EQ(campo[i], 0) << i;
  // A text cut to the field compares as cut: the same long text again is no change.
  EXPECT_TRUE(CopiaSeDiverso(campo, u"123456789"));
  EXPECT_EQ(std::u16string(campo), u"1234567");
  EXPECT_FALSE(CopiaSeDiverso(campo, u"123456789"));
  EXPECT_TRUE(CopiaSeDiverso(campo, u""));
  EXPECT_EQ(campo[0], 0);
}

// ----------------------------------------------------------------- actions

// Records the steps an action runs; a named step may raise.
struct Registro {
  std::vector<std::string> passi;
  std::string fallisce;
  bool connesso = false;
  bool auto_connect = false;
  bool altra_copia = false;

  std::function<void()> Passo(const std::string& nome) {
    return [this, nome] {
      passi.push_back(nome);
      if (nome == fallisce) throw std::runtime_error("Failed to set data for 'USER'");
    };
  }

  PassiDialogo Dialogo() {
    return {Passo("AssegnaValori"), Passo("LeggiValori"),      Passo("CaricaParametri"), Passo("SalvaParametri"),
            Passo("DisconnettiDrive"), Passo("ConnettiDrive"), Passo("Chiudi")};
  }

  PassiTray Tray() {
    PassiTray t;
    t.DisconnettiDrive = Passo("DisconnettiDrive");
    t.Pausa = [this](std::uint32_t ms) { passi.push_back("Pausa " + std::to_string(ms)); };
    t.ConnettiDrive = [this] {
      passi.push_back("ConnettiDrive");
      connesso = esito_connessione;
    };
    t.Connesso = [this] { return connesso; };
    t.ShowNotifica = [this](const std::u16string& m) { passi.push_back("Notifica " + std::string(m.begin(), m.end())); };
    t.Termina = Passo("Termina");
    return t;
  }

  bool esito_connessione = false;
};

struct CasoAzione {
  const char* nome;
  void (*azione)(const PassiDialogo&);
  const char* fallisce;
  std::vector<std::string> attesi;
};

TEST(DialogActions, RunTheirStepsInOrderAndStopAtTheFirstFailure) {
  const CasoAzione casi[] = {
      {"FormShow", &FormShow, "", {"CaricaParametri", "LeggiValori"}},
      {"Applica", &Applica, "", {"AssegnaValori", "SalvaParametri", "CaricaParametri", "LeggiValori"}},
      {"Salva", &Salva, "", {"AssegnaValori", "SalvaParametri", "Chiudi"}},
      {"Connetti", &Connetti, "", {"CaricaParametri", "LeggiValori", "DisconnettiDrive", "ConnettiDrive"}},
      {"Annulla", &Annulla, "", {"Chiudi"}},
      // A failed save: "Applica" does not read back, "Salva" leaves the dialog open.
      {"Applica", &Applica, "SalvaParametri", {"AssegnaValori", "SalvaParametri"}},
      {"Salva", &Salva, "SalvaParametri", {"AssegnaValori", "SalvaParametri"}},
      // A failed load on opening leaves the controls alone.
      {"FormShow", &FormShow, "CaricaParametri", {"CaricaParametri"}},
      {"Connetti", &Connetti, "CaricaParametri", {"CaricaParametri"}},
  };
  for (const auto& c : casi) {
    Registro r;
    r.fallisce = c.fallisce;
    if (*c.fallisce != '\0') {
      EXPECT_THROW(c.azione(r.Dialogo()), std::runtime_error) << c.nome;
    } else {
      EXPECT_NO_THROW(c.azione(r.Dialogo())) << c.nome;
    }
    EXPECT_THAT(r.passi, ElementsAreArray(c.attesi)) << c.nome << " failing at '" << c.fallisce << "'";
  }
}

TEST(DialogActions, AStepLeftUnwiredIsAnErrorNotASilentSkip) {
  Registro r;
  PassiDialogo p = r.Dialogo();
  p.SalvaParametri = nullptr;
  EXPECT_THROW(Salva(p), std::logic_error);
  EXPECT_THAT(r.passi, ElementsAre("AssegnaValori"));
}

TEST(TrayActions, ConnettiDisconnectsPausesConnectsAndReportsByTheFlag) {
  for (bool riesce : {true, false}) {
    Registro r;
    r.esito_connessione = riesce;
    Connetti1Click(r.Tray());
    EXPECT_THAT(r.passi, ElementsAre("DisconnettiDrive", "Pausa 1000", "ConnettiDrive",
                                     riesce ? "Notifica Connessione effettuata con successo"
                                            : "Notifica Errore nella connessione"));
  }
}

TEST(TrayActions, ConnettiTwiceShowsTheBalloonTwice) {
  Registro r;
  Connetti1Click(r.Tray());
  Connetti1Click(r.Tray());
  EXPECT_EQ(std::count(r.passi.begin(), r.passi.end(), "Notifica Errore nella connessione"), 2);
}

TEST(TrayActions, EsciDisconnectsBeforeEndingTheLoop) {
  Registro r;
  Esci1Click(r.Tray());
  EXPECT_THAT(r.passi, ElementsAre("DisconnettiDrive", "Termina"));
}

TEST(TrayActions, AFailedDisconnectIsNotFollowedByTheRest) {
  Registro r;
  r.fallisce = "DisconnettiDrive";
  EXPECT_THROW(Esci1Click(r.Tray()), std::runtime_error);
  EXPECT_THAT(r.passi, ElementsAre("DisconnettiDrive"));
}

// ----------------------------------------------------------------- start-up

struct Avvio : Registro {
  PassiRunDialogo Dialogo() {
    PassiRunDialogo d;
    auto t = Tray();
    d.CaricaParametri = Passo("CaricaParametri");
    d.LeggiValori = Passo("LeggiValori");
    d.AutoConnect = [this] { return auto_connect; };
    d.DisconnettiDrive = [this] {
      passi.push_back("DisconnettiDrive");
      if (drive_memorizzato) connesso = false;
    };
    d.Pausa = t.Pausa;
    d.Connesso = t.Connesso;
    d.ConnettiDrive = t.ConnettiDrive;
    return d;
  }
  PassiRunTray Tray2() {
    PassiRunTray t;
    t.ControlloSessione = [this] {
      passi.push_back("ControlloSessione");
      return altra_copia;
    };
    t.NascondiDialogo = Passo("Nascondi");
    t.RunDialogo = [this] { RunDialogo(Dialogo()); };
    t.Connesso = [this] { return connesso; };
    t.ShowNotifica = Tray().ShowNotifica;
    return t;
  }
  bool drive_memorizzato = true;
};

TEST(StartUp, ASecondCopyDoesNothingElse) {
  Avvio a;
  a.altra_copia = true;
  a.auto_connect = true;
  RunTray(a.Tray2());
  EXPECT_THAT(a.passi, ElementsAre("ControlloSessione"));
}

TEST(StartUp, WithoutAutomaticConnectionOnlyTheSettingsAreLoaded) {
  Avvio a;
  RunTray(a.Tray2());
  EXPECT_THAT(a.passi, ElementsAre("ControlloSessione", "Nascondi", "CaricaParametri", "LeggiValori"));
}

TEST(StartUp, AutomaticConnectionAnnouncesOnlyASuccess) {
  for (bool riesce : {true, false}) {
    Avvio a;
    a.auto_connect = true;
    a.esito_connessione = riesce;
    RunTray(a.Tray2());
    std::vector<std::string> attesi{"ControlloSessione", "Nascondi",      "CaricaParametri", "LeggiValori",
                                    "DisconnettiDrive",  "Pausa 500",     "ConnettiDrive"};
    if (riesce) attesi.push_back("Notifica Connessione effettuata con successo");
    EXPECT_THAT(a.passi, ElementsAreArray(attesi)) << riesce;
  }
}

TEST(StartUp, NoConnectWhenTheFlagIsStillSetAfterTheDisconnect) {
  // With no drive stored the disconnect leaves the flag as it was; a flag
  // already set means no connect is tried, and the success is announced.
  Avvio a;
  a.auto_connect = true;
  a.drive_memorizzato = false;
  a.connesso = true;
  RunTray(a.Tray2());
  EXPECT_THAT(a.passi, ElementsAre("ControlloSessione", "Nascondi", "CaricaParametri", "LeggiValori",
                                   "DisconnettiDrive", "Pausa 500", "Notifica Connessione effettuata con successo"));
}

TEST(StartUp, ALoadFailureStopsBeforeAnyConnection) {
  Avvio a;
  a.auto_connect = true;
  a.fallisce = "CaricaParametri";
  EXPECT_THROW(RunTray(a.Tray2()), std::runtime_error);
  EXPECT_THAT(a.passi, ElementsAre("ControlloSessione", "Nascondi", "CaricaParametri"));
}

}  // namespace
}  // namespace qlx::ui

#include "ui/logic.h"

#include <algorithm>
#include <cstdlib>
#include <stdexcept>

namespace qlx::ui {

namespace {

constexpr std::array<Controllo, kNumeroParti> kDisposizione{{
    {Parte::Panel1, Genere::Pannello, u"", {0, 151, 379, 41}, false, false},
    {Parte::btsalva, Genere::Pulsante, u"Salva", {215, 8, 75, 25}, true, true},
    {Parte::btApplica, Genere::Pulsante, u"Applica", {134, 8, 75, 25}, true, true},
    {Parte::btConnetti, Genere::Pulsante, u"Connetti", {52, 8, 75, 25}, true, true},
    {Parte::btAnnulla, Genere::Pulsante, u"Annulla", {296, 8, 75, 25}, true, true},
    {Parte::Label1, Genere::Etichetta, u"Utente:", {10, 20, 42, 16}, false, false},
    {Parte::edUtente, Genere::Testo, u"", {90, 17, 263, 24}, false, true},
    {Parte::Label2, Genere::Etichetta, u"Password:", {10, 50, 60, 16}, false, false},
    {Parte::edPassword, Genere::Password, u"", {90, 47, 135, 24}, false, true},
    {Parte::Label3, Genere::Etichetta, u"Drive:", {10, 88, 34, 16}, false, false},
    {Parte::cbDrive, Genere::Combo, u"", {90, 85, 71, 24}, false, true},
    {Parte::cbAutorun, Genere::Casella, u"Esecuzione automatica", {192, 89, 161, 17}, false, true},
    {Parte::cbAutoConnect, Genere::Casella, u"Connessione automatica", {192, 112, 161, 17}, false, true},
}};

bool UgualeSenzaMaiuscole(char16_t a, char16_t b) {
  auto piccola = [](char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c; };
  return piccola(a) == piccola(b);
}

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }

// Runs the steps in order; a raise leaves at once.
void Esegui(std::initializer_list<const std::function<void()>*> passi) {
  for (const auto* passo : passi) {
    if (!*passo) throw std::logic_error("dialog step not wired");
    (*passo)();
  }
}

}  // namespace

const std::array<Controllo, kNumeroParti>& Disposizione() { return kDisposizione; }

const Controllo& Descrizione(Parte parte) { return kDisposizione.at(static_cast<std::size_t>(parte)); }

int Scala(int value, int dpi) {
  // As MulDiv(value, dpi, 96): the exact quotient rounded half away from zero.
  const long long prodotto = static_cast<long long>(value) * dpi;
  const long long meta = 48;
  return static_cast<int>(prodotto >= 0 ? (prodotto + meta) / 96 : -((-prodotto + meta) / 96));
}

Rect Scala(const Rect& rect, int dpi) {
  return {Scala(rect.left, dpi), Scala(rect.top, dpi), Scala(rect.width, dpi), Scala(rect.height, dpi)};
}

Rect PosizionePannello(int client_width, int client_height, int dpi) {
  const int altezza = Scala(Descrizione(Parte::Panel1).posizione.height, dpi);
  return {0, client_height - altezza, client_width, altezza};
}

Punto CentraSuDesktop(const Rect& desktop, int width, int height) {
  Punto p{desktop.left + (desktop.width - width) / 2, desktop.top + (desktop.height - height) / 2};
  p.x = std::max(p.x, desktop.left);
  p.y = std::max(p.y, desktop.top);
  return p;
}

const std::vector<std::u16string>& VociDrive() {
  static const std::vector<std::u16string> voci = [] {
    std::vector<std::u16string> v;
    for (char16_t c = u'A'; c <= u'Z'; ++c) v.push_back(std::u16string{c, u':'});
    return v;
  }();
  return voci;
}

std::optional<Completamento> Completa(std::u16string_view digitato, const std::vector<std::u16string>& voci) {
  if (digitato.empty()) return std::nullopt;
  for (const auto& voce : voci) {
    if (voce.size() < digitato.size()) continue;
    if (!std::equal(digitato.begin(), digitato.end(), voce.begin(), UgualeSenzaMaiuscole)) continue;
    if (voce.size() == digitato.size()) return std::nullopt;
    Completamento c;
    c.testo = std::u16string(digitato) + voce.substr(digitato.size());
    c.inizio_selezione = digitato.size();
    c.fine_selezione = c.testo.size();
    return c;
  }
  return std::nullopt;
}

std::u16string TestoBoxErrore(std::u16string_view messaggio) {
  std::u16string testo(messaggio);
  if (!testo.empty() && testo.back() > u'.') testo += u'.';
  return testo;
}

std::u16string_view Tronca(std::u16string_view testo, std::size_t capienza) {
  if (capienza == 0) return {};
  const std::size_t massimo = capienza - 1;
  if (testo.size() <= massimo) return testo;
  std::size_t n = massimo;
  if (n > 0 && IsHighSurrogate(testo[n - 1])) --n;
  return testo.substr(0, n);
}

bool CopiaSeDiverso(char16_t* campo, std::size_t capienza, std::u16string_view testo) {
  const std::u16string_view nuovo = Tronca(testo, capienza);
  std::size_t attuale = 0;
  while (attuale < capienza && campo[attuale] != 0) ++attuale;
  if (std::u16string_view(campo, attuale) == nuovo) return false;
  std::fill(campo, campo + capienza, char16_t{0});
  std::copy(nuovo.begin(), nuovo.end(), campo);
  return true;
}

void FormShow(const PassiDialogo& p) { Esegui({&p.CaricaParametri, &p.LeggiValori}); }
void Applica(const PassiDialogo& p) { Esegui({&p.AssegnaValori, &p.SalvaParametri, &p.CaricaParametri, &p.LeggiValori}); }
void Salva(const PassiDialogo& p) { Esegui({&p.AssegnaValori, &p.SalvaParametri, &p.Chiudi}); }
void Connetti(const PassiDialogo& p) {
  Esegui({&p.CaricaParametri, &p.LeggiValori, &p.DisconnettiDrive, &p.ConnettiDrive});
}
void Annulla(const PassiDialogo& p) { Esegui({&p.Chiudi}); }

void Connetti1Click(const PassiTray& p) {
  p.DisconnettiDrive();
  p.Pausa(1000);
  p.ConnettiDrive();
  p.ShowNotifica(p.Connesso() ? kSuccesso : kErrore);
}

void Esci1Click(const PassiTray& p) {
  p.DisconnettiDrive();
  p.Termina();
}

void RunDialogo(const PassiRunDialogo& p) {
  p.CaricaParametri();
  p.LeggiValori();
  if (p.AutoConnect()) {
    p.DisconnettiDrive();
    p.Pausa(500);
    if (!p.Connesso()) p.ConnettiDrive();
  }
}

void RunTray(const PassiRunTray& p) {
  if (p.ControlloSessione()) return;
  p.NascondiDialogo();
  p.RunDialogo();
  if (p.Connesso()) p.ShowNotifica(kSuccesso);
}

}  // namespace qlx::ui

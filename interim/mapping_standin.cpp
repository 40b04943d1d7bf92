// TEMPORARY stand-in for the mapping branch's routines.
#include "mapping/mapping.h"
#include "platform/context.h"
#include "settings/record.h"
#include "settings/store.h"
#include <qlx/build_info.h>
namespace qlx::mapping {
const std::u16string& ServiceBaseUrl() { static const std::u16string s = QLX_SERVICE_BASE_URL; return s; }
const std::u16string& AccountDomain() { static const std::u16string s = QLX_ACCOUNT_DOMAIN; return s; }
bool& Connesso() { return settings::Connesso(); }
std::int32_t EseguiEAttendi(const std::u16string& line, std::uint16_t show, const std::u16string& app, std::uint32_t t) {
  platform::ProcessRequest r; r.application = app; r.command_line = line; r.show_window = show; r.creation_flags = 48; r.timeout_ms = t;
  auto o = platform::CurrentProcesses().RunAndWait(r);
  if (o.kind != platform::ProcessOutcome::Kind::Exited) return -1;
  platform::Pause(10);
  return static_cast<std::int32_t>(o.exit_code);
}
std::u16string ComandoConnessione() { auto& p = settings::ParametriConnessione(); return u"NET USE " + p.PathDrive + u" " + ServiceBaseUrl() + p.User + u" " + p.Password + u" /user:" + p.User + u"@" + AccountDomain() + u" "; }
std::u16string ComandoDisconnessione() { return u"NET USE " + settings::ParametriConnessione().PathDrive + u" /DELETE"; }
std::int32_t ConnettiDrive() {
  settings::CaricaParametri();
  if (!settings::ParametriCompleti()) return 0;
  auto r = EseguiEAttendi(ComandoConnessione(), 0);
  Connesso() = r == 0;
  if (r == 0) ApriExplorer(u"");
  return r;
}
std::int32_t DisconnettiDrive() {
  if (settings::ParametriConnessione().PathDrive.empty()) return 0;
  auto r = EseguiEAttendi(ComandoDisconnessione(), 0);
  Connesso() = false;
  return r;
}
bool DrivePresente(const std::u16string& d) {
  if (d.size() < 2 || d[1] != u':') return false; char16_t c = d[0]; if (c >= u'a' && c <= u'z') c -= 32; if (c < u'A' || c > u'Z') return false;
  return platform::CurrentDrives().LogicalDriveMask() & (1u << (c - u'A'));
}
void ApriExplorer(const std::u16string& sub) {
  auto& d = settings::ParametriConnessione().PathDrive;
  for (int i = 0; !DrivePresente(d) && i < 200; ++i) platform::Pause(100);
  if (!DrivePresente(d) || !Connesso()) return;
  auto root = platform::CurrentEnvironment().Variable(u"SYSTEMROOT").value_or(u"");
  platform::CurrentShell().Execute(u"open", root + u"\\explorer.exe", d + sub, 1);
}
std::u16string TestoErroreSistema(std::uint32_t) { return u"error"; }
}  // namespace qlx::mapping

// The stored settings, judged as the program loads them.
#include "tools/qlxctl/doctor_checks.h"

namespace qlx::qlxctl::doctor {

namespace {

std::string DeleteValueFix(const std::u16string& key, const char* name) {
  return std::string("Delete the damaged value with `reg delete \"") + U8(key) + "\" /v " + name +
         " /f` and enter the settings again in Parametri, then press Salva.";
}

// A letter A-Z (either case, as the drive test reads it) and ":".
bool DriveForm(const std::u16string& drive) {
  return drive.size() == 2 && drive[1] == u':' &&
         ((drive[0] >= u'A' && drive[0] <= u'Z') || (drive[0] >= u'a' && drive[0] <= u'z'));
}

struct Needed {
  const char* name;
  const StoredValue& value;
  bool secret;
  const char* field;
};

Check NeededValue(const Inputs& in, const Needed& n) {
  const std::string id = std::string("settings.") + n.name;
  const std::string enter = std::string("Enter the ") + n.field + " in Parametri and press Salva.";
  switch (n.value.status) {
    case StoredValue::Status::Absent:
      return Problem(id, "absent: Connetti does nothing without it", enter, std::string("no ") + n.field + " stored");
    case StoredValue::Status::Unreadable:
      return Problem(id, "unreadable: " + n.value.error, DeleteValueFix(in.settings_key, n.name),
                     std::string("the stored ") + n.field + " is damaged");
    case StoredValue::Status::Read:
      break;
  }
  if (!NonBlank(n.value.text))
    return Problem(id,
                   std::string(n.value.text.empty() ? "empty" : "blank") + ": Connetti does nothing without it",
                   enter, std::string("no ") + n.field + " stored");
  if (n.secret) return Make(id, State::Ok, "set");
  if (&n.value == &in.stored.drive && !DriveForm(n.value.text))
    return Problem(id, Quoted(n.value.text) + " is not a letter A-Z followed by \":\"",
                   "Pick the drive letter from the list in Parametri and press Salva.",
                   "the stored drive is not a letter");
  return Make(id, State::Ok, Quoted(n.value.text));
}

Check Switch(const Inputs& in, const char* name, const StoredValue& value) {
  const std::string id = std::string("settings.") + name;
  if (value.status == StoredValue::Status::Unreadable)
    return Problem(id, "unreadable: " + value.error, DeleteValueFix(in.settings_key, name),
                   std::string("the stored ") + name + " switch is damaged");
  if (value.status == StoredValue::Status::Absent) return Make(id, State::Ok, "absent: off");
  if (value.text == u"S" || value.text == u"N")
    return Make(id, State::Ok, value.text == u"S" ? "\"S\": on" : "\"N\": off");
  // Anything but "S" reads as off.
  return Make(id, State::Warning, Quoted(value.text) + ": off (only \"S\" means on)",
              "Set the switch in Parametri and press Salva.");
}

}  // namespace

Checks CheckSettingsKey(const Inputs& in) {
  const std::string key = U8(in.settings_key);
  switch (in.stored.key) {
    case StoredSettings::Key::Absent:
      return {Problem("settings.key", "absent or not readable: " + key,
                      "Open Parametri from the tray icon, enter drive, user and password, and press Salva.",
                      "no settings stored")};
    case StoredSettings::Key::Refused:
      return {Problem("settings.key",
                      key + " can be read but not opened for full access, as the program opens it: the program "
                            "reads no value from it and Connetti does nothing",
                      "Ask an administrator to give this user Full Control of " + key +
                          " (regedit, Permissions), or to delete the key so that Parametri creates it again.",
                      "the settings key is locked against the program")};
    case StoredSettings::Key::Opened:
      break;
  }
  return {Make("settings.key", State::Ok, key)};
}

// The three values the connect needs.
Checks CheckNeededValues(const Inputs& in) {
  if (in.stored.key != StoredSettings::Key::Opened) return {};
  const StoredSettings& s = in.stored;
  Checks out;
  for (const Needed& n : {Needed{"USER", s.user, false, "user name"}, Needed{"PASSWORD", s.password, true, "password"},
                          Needed{"PATHDRIVE", s.drive, false, "drive letter"}})
    out.push_back(NeededValue(in, n));
  return out;
}

Checks CheckSwitches(const Inputs& in) {
  if (in.stored.key != StoredSettings::Key::Opened) return {};
  return {Switch(in, "AUTOCONNECT", in.stored.autoconnect), Switch(in, "AUTORUN", in.stored.autorun)};
}

// Written on every save and read by nothing: damage here stops nothing.
Checks CheckProgramPath(const Inputs& in) {
  if (in.stored.key != StoredSettings::Key::Opened) return {};
  const StoredValue& path = in.stored.program_path;
  if (path.status == StoredValue::Status::Unreadable)
    return {Make("settings.ConfigIniFilesPath", State::Warning, "unreadable: " + path.error,
                 "Press Salva in Parametri to write it again.")};
  return {Make("settings.ConfigIniFilesPath", State::Ok,
               path.status == StoredValue::Status::Absent ? "absent" : Quoted(path.text))};
}

}  // namespace qlx::qlxctl::doctor

#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>

#include "mapping/mapping.h"
#include "platform/context.h"
#include "settings/record.h"
#include "settings/store.h"
#include "tests/mapping/doubles.h"
#include "tests/settings/memory_registry.h"

namespace qlx::test {

// Every outside part replaced by a double, an empty settings value, a
// mapping that is not connected.
class MappingTest : public ::testing::Test {
 protected:
  void SetUp() override { registry.AddKey(u"Software\\Microsoft\\Windows\\CurrentVersion\\Run"); }

  // The mapping's routines over the doubles.
  std::int32_t RunAndWait(SecretText line, std::uint16_t show, const std::u16string& application = {},
                          std::uint32_t timeout_ms = mapping::kMaxWaitMs) {
    return mapping::RunAndWait(processes, clock, std::move(line), show, application, timeout_ms);
  }
  std::u16string NetProgram() { return mapping::NetProgram(processes); }
  bool DrivePresent(const std::u16string& drive) { return mapping::DrivePresent(drives, drive); }
  std::optional<mapping::Notice> OpenExplorer(const std::u16string& drive, bool connected,
                                              const std::u16string& sub_path) {
    return mapping::OpenExplorer(parts, drive, connected, sub_path);
  }
  std::u16string SystemErrorText(std::uint32_t code) { return mapping::SystemErrorText(messages, code); }

  // Stores these settings as the dialog would, then leaves the record empty,
  // so that only a reload can bring them back.
  void Store(const std::u16string& drive, const std::u16string& user, const std::u16string& password) {
    auto& p = record;
    p = {drive, user, password, false, false};
    settings::SaveSettings(registry, program_in_use, record);
    p = {};
  }
  void Hold(const std::u16string& drive) { record.drive = drive; }

  // Brings the connected flag to `on` as the program does (a connect that
  // exits 0, or a delete), leaving the registry, the record and what the
  // doubles logged as they were.
  void SetConnected(bool on) {
    const MemoryRegistry stored = registry;
    const settings::ConnectionSettings held = record;
    const auto outcomes = processes.outcomes;
    const auto system_directory = processes.system_directory;
    const std::size_t requests = processes.requests.size();
    const std::size_t pauses = clock.pauses.size();
    processes.outcomes.clear();
    processes.system_directory = u"C:\\Windows\\system32";
    if (on) {
      settings::SaveSettings(registry, program_in_use, settings::ConnectionSettings{u"C:", u"x", u"y", false, false});
      mapping.Connect(false);
    } else {
      record.drive = u"C:";
      mapping.Disconnect();
    }
    registry = stored;
    record = held;
    processes.outcomes = outcomes;
    processes.system_directory = system_directory;
    processes.requests.resize(requests);
    clock.pauses.resize(pauses);
    ASSERT_EQ(mapping.connected(), on);
  }

  std::size_t PausesOf(std::uint32_t milliseconds) const {
    std::size_t n = 0;
    for (auto p : clock.pauses) n += p == milliseconds;
    return n;
  }

  MemoryRegistry registry;
  FixedProgramFile program{u"C:\\Programmi\\QLX Drive\\QLXDrive.exe"};
  // A test may point this at another program file.
  platform::ProgramFile* program_file = &program;
  CountingClock clock;
  ScriptedDrives drives;
  RecordingProcesses processes;
  RecordingShell shell;
  FakeEnvironment environment;
  RecordingMessages messages;

 private:
  // Whatever program_file points at when it is asked.
  class ProgramInUse final : public platform::ProgramFile {
   public:
    explicit ProgramInUse(platform::ProgramFile*& file) : file_(file) {}
    std::u16string FullPath() override { return file_->FullPath(); }

   private:
    platform::ProgramFile*& file_;
  };

 protected:
  ProgramInUse program_in_use{program_file};
  const mapping::Platform parts{processes, clock, drives, environment, shell, messages, program_in_use};
  settings::ConnectionSettings record;
  mapping::DriveMapping mapping{record, registry, parts};
};

}  // namespace qlx::test

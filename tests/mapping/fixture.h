#pragma once
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "mapping/mapping.h"
#include "platform/context.h"
#include "settings/record.h"
#include "settings/store.h"
#include "tests/mapping/doubles.h"
#include "tests/settings/memory_registry.h"

namespace qlx::test {

// Every outside part replaced by a double, an empty record, Connesso False.
class MappingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    registry.AddKey(u"Software\\Microsoft\\Windows\\CurrentVersion\\Run");
    Install();
    settings::ParametriConnessione() = {};
    mapping::Connesso() = false;
  }

  // Reinstalls the context, e.g. after a test swapped one part.
  void Install() {
    scope_.reset();
    scope_.emplace(platform::Context{.registry = &registry,
                                     .program = program_file,
                                     .clock = &clock,
                                     .drives = &drives,
                                     .processes = &processes,
                                     .shell = &shell,
                                     .environment = &environment,
                                     .messages = &messages});
  }

  // Stores these settings as the dialog would, then leaves the record empty,
  // so that only a reload can bring them back.
  void Store(const std::u16string& drive, const std::u16string& user, const std::u16string& password) {
    auto& p = settings::ParametriConnessione();
    p = {drive, user, password, false, false};
    settings::SalvaParametri();
    p = {};
  }
  void Hold(const std::u16string& drive) { settings::ParametriConnessione().PathDrive = drive; }

  std::size_t PausesOf(std::uint32_t milliseconds) const {
    std::size_t n = 0;
    for (auto p : clock.pauses) n += p == milliseconds;
    return n;
  }

  MemoryRegistry registry;
  FixedProgramFile program{u"C:\\Programmi\\QLX Drive\\QLXDrive.exe"};
  platform::ProgramFile* program_file = &program;
  CountingClock clock;
  ScriptedDrives drives;
  RecordingProcesses processes;
  RecordingShell shell;
  FakeEnvironment environment;
  RecordingMessages messages;

 private:
  std::optional<platform::ScopedContext> scope_;
};

}  // namespace qlx::test

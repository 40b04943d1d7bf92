#pragma once
// Recording doubles of the platform interfaces for the mapping routines: the
// clock counts pauses instead of sleeping, the runner returns outcomes the
// test chose, the drive mask is a function of the read count.
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "base/errors.h"
#include "platform/context.h"
#include "tests/settings/memory_registry.h"

namespace qlx::test {

class CountingClock final : public platform::Clock {
 public:
  std::vector<std::uint32_t> pauses;
  void Pause(std::uint32_t milliseconds) override { pauses.push_back(milliseconds); }
};

class ScriptedDrives final : public platform::Drives {
 public:
  // The mask for the n-th read (1-based); by default C: only.
  std::function<std::uint32_t(int read)> mask = [](int) { return 1u << 2; };
  int reads = 0;
  std::uint32_t LogicalDriveMask() override { return mask(++reads); }
};

class RecordingProcesses final : public platform::Processes {
 public:
  std::vector<platform::ProcessRequest> requests;
  // Taken in turn; when none is left a run exits with 0.
  std::deque<platform::ProcessOutcome> outcomes;
  std::u16string system_directory = u"C:\\Windows\\system32";

  platform::ProcessOutcome RunAndWait(const platform::ProcessRequest& request) override {
    requests.push_back(request);
    if (outcomes.empty()) return {platform::ProcessOutcome::Kind::Exited, 0};
    const platform::ProcessOutcome next = outcomes.front();
    outcomes.pop_front();
    return next;
  }
  std::u16string SystemDirectory() override { return system_directory; }

  void Then(platform::ProcessOutcome::Kind kind, std::uint32_t exit_code = 0) {
    outcomes.push_back({kind, exit_code});
  }
  void ThenExit(std::uint32_t exit_code) { Then(platform::ProcessOutcome::Kind::Exited, exit_code); }
};

class RecordingShell final : public platform::Shell {
 public:
  struct Call {
    std::u16string verb, file, parameters;
    int show;
  };
  std::vector<Call> calls;
  std::uintptr_t result = 42;
  bool raise = false;
  std::function<void()> on_execute;  // e.g. to set the last error

  std::uintptr_t Execute(const std::u16string& verb, const std::u16string& file, const std::u16string& parameters,
                         int show) override {
    calls.push_back({verb, file, parameters, show});
    if (on_execute) on_execute();
    if (raise) throw Error("shell failed");
    return result;
  }
};

class FakeEnvironment final : public platform::Environment {
 public:
  std::map<std::u16string, std::u16string> variables{{u"SYSTEMROOT", u"C:\\Windows"}};
  std::optional<std::u16string> Variable(const std::u16string& name) override {
    const auto it = variables.find(name);
    if (it == variables.end()) return std::nullopt;
    return it->second;
  }
};

class RecordingMessages final : public platform::Messages {
 public:
  struct Box {
    std::u16string caption, text;
    Kind kind;
  };
  std::vector<Box> boxes;
  std::uint32_t last_error = 0;
  std::vector<std::uint32_t> asked;  // codes whose text was asked for
  std::map<std::uint32_t, std::u16string> texts{
      {2, u"The system cannot find the file specified.\r\n"},
      {5, u"Access is denied.\r\n"},
  };

  void Show(const std::u16string& caption, const std::u16string& text, Kind kind) override {
    boxes.push_back({caption, text, kind});
  }
  std::uint32_t LastError() override { return last_error; }
  std::u16string SystemText(std::uint32_t code) override {
    asked.push_back(code);
    const auto it = texts.find(code);
    return it == texts.end() ? std::u16string() : it->second;
  }
};

// A program file whose path cannot be read.
class FailingProgramFile final : public platform::ProgramFile {
 public:
  std::u16string FullPath() override { throw Error("Cannot read the program file's path"); }
};

}  // namespace qlx::test

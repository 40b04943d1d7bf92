#pragma once
// The small Win32 pieces of the platform interfaces: pauses, the logical-drive
// mask, the shell launcher, the environment and the message box.
#include "platform/context.h"

namespace qlx::platform {

class Win32Clock final : public Clock {
 public:
  void Pause(std::uint32_t milliseconds) override;
};

class Win32Drives final : public Drives {
 public:
  std::uint32_t LogicalDriveMask() override;
};

class Win32Shell final : public Shell {
 public:
  std::uintptr_t Execute(const std::u16string& verb, const std::u16string& file, const std::u16string& parameters,
                         int show) override;
};

class Win32Environment final : public Environment {
 public:
  std::optional<std::u16string> Variable(const std::u16string& name) override;
};

// Task-modal boxes with no owner: a single OK button, with or without the
// error icon.
class Win32Messages final : public Messages {
 public:
  void Show(const std::u16string& caption, const std::u16string& text, Kind kind) override;
  std::uint32_t LastError() override;
  std::u16string SystemText(std::uint32_t code) override;
};

}  // namespace qlx::platform

#pragma once
// Every platform interface over the real Win32 API, in one object that the
// program's and qlxctl's entry points make once and hand down:
//   platform::Win32Platform os;
//   app::Application application(os.context(), ...);
#include "platform/context.h"
#include "platform/win32/processes.h"
#include "platform/win32/program_file.h"
#include "platform/win32/registry.h"
#include "platform/win32/system.h"

namespace qlx::platform {

class Win32Platform {
 public:
  Win32Platform() = default;
  // The context points into this object.
  Win32Platform(const Win32Platform&) = delete;
  Win32Platform& operator=(const Win32Platform&) = delete;

  const Context& context() const { return context_; }

 private:
  Win32Registry registry_;
  Win32ProgramFile program_;
  Win32Clock clock_;
  Win32Drives drives_;
  Win32Processes processes_;
  Win32Shell shell_;
  Win32Environment environment_;
  Win32Messages messages_;
  Context context_{.registry = registry_,
                   .program = program_,
                   .clock = clock_,
                   .drives = drives_,
                   .processes = processes_,
                   .shell = shell_,
                   .environment = environment_,
                   .messages = messages_};
};

}  // namespace qlx::platform

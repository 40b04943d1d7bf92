#pragma once
// TEMPORARY stand-in for the mapping branch's Win32 platform bundle.
#include <memory>
#include "platform/context.h"
namespace qlx::platform {
class Win32Platform {
 public:
  Win32Platform();
  ~Win32Platform();
  const Context& context() const { return context_; }
 private:
  struct Parts;
  std::unique_ptr<Parts> parts_;
  Context context_;
};
}  // namespace qlx::platform

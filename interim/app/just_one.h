#pragma once
// TEMPORARY stand-in for the guard of the mapping branch.
#include <windows.h>
namespace qlx::app {
class TJustOne32 {
 public:
  TJustOne32();
  ~TJustOne32();
  bool ControlloSessione();
 private:
  HANDLE mutex_ = nullptr;
  bool prev_ = false;
};
}  // namespace qlx::app

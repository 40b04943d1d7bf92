#include "settings/record.h"

#include "cipher/wipe.h"

namespace qlx::settings {

namespace {
// The password is the one field worth erasing when the process ends.
struct Record {
  TParametriConnessione value;
  ~Record() { SecureWipe(value.Password); }
};
}  // namespace

TParametriConnessione& ParametriConnessione() {
  static Record record;
  return record.value;
}

}  // namespace qlx::settings

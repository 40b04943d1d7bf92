// The service the program is built for: one place, filled in by the build.
#include <qlx/build_info.h>

#include "mapping/mapping.h"

namespace qlx::mapping {

const std::u16string& ServiceBaseUrl() {
  static const std::u16string url = QLX_SERVICE_BASE_URL;
  return url;
}

const std::u16string& AccountDomain() {
  static const std::u16string domain = QLX_ACCOUNT_DOMAIN;
  return domain;
}

}  // namespace qlx::mapping

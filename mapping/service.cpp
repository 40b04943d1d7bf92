// The service the program is built for: one place, filled in by the build.
#include <qlx/build_info.h>

#include "mapping/mapping.h"

namespace qlx::mapping {

std::u16string ServiceBaseUrl() { return QLX_SERVICE_BASE_URL; }

std::u16string AccountDomain() { return QLX_ACCOUNT_DOMAIN; }

}  // namespace qlx::mapping

#pragma once
// The owner of WinHTTP's handles, apart from unique_handle.h so that only
// the files that speak HTTP include <winhttp.h>.
#include <windows.h>
#include <winhttp.h>

#include "platform/win32/unique_handle.h"

namespace qlx::platform {

namespace detail {
struct CloseInternet {
  void operator()(HINTERNET handle) const noexcept { WinHttpCloseHandle(handle); }
};
}  // namespace detail

// WinHTTP's session, connection and request handles.
using unique_hinternet = unique_any<HINTERNET, detail::CloseInternet>;

}  // namespace qlx::platform

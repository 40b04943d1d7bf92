#pragma once
// One move-only owner for every Win32 handle kind, so that no logic code
// calls a close function by hand.
#include <windows.h>
#include <wincrypt.h>

#include <utility>

namespace qlx::platform {

namespace detail {
struct NotNull {
  template <class T>
  bool operator()(T value) const noexcept {
    return value != T{};
  }
};
}  // namespace detail

// Close is called exactly once for a value that Valid accepts.
template <class T, class Close, class Valid = detail::NotNull>
class unique_any {
 public:
  unique_any() noexcept = default;
  explicit unique_any(T value) noexcept : value_(value) {}
  unique_any(unique_any&& other) noexcept : value_(std::exchange(other.value_, T{})) {}
  unique_any& operator=(unique_any&& other) noexcept {
    if (this != &other) reset(std::exchange(other.value_, T{}));
    return *this;
  }
  unique_any(const unique_any&) = delete;
  unique_any& operator=(const unique_any&) = delete;
  ~unique_any() { reset(); }

  explicit operator bool() const noexcept { return Valid{}(value_); }
  const T& get() const noexcept { return value_; }
  const T* operator->() const noexcept { return &value_; }

  // Takes the value out; the caller now owns it.
  T release() noexcept { return std::exchange(value_, T{}); }
  void reset(T value = T{}) noexcept {
    T old = std::exchange(value_, value);
    if (Valid{}(old)) Close{}(old);
  }
  // For out-parameters: frees what is held and hands out the slot.
  T* put() noexcept {
    reset();
    return &value_;
  }

 private:
  T value_{};
};

namespace detail {
struct CloseKey {
  void operator()(HKEY key) const noexcept { RegCloseKey(key); }
};
struct CloseKernelHandle {
  void operator()(HANDLE handle) const noexcept { CloseHandle(handle); }
};
// Kernel calls report failure as null or as INVALID_HANDLE_VALUE,
// depending on the call; neither is closed.
struct ValidKernelHandle {
  bool operator()(HANDLE handle) const noexcept { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }
};
struct CloseProcessInformation {
  void operator()(const PROCESS_INFORMATION& info) const noexcept {
    if (info.hThread != nullptr) CloseHandle(info.hThread);
    if (info.hProcess != nullptr) CloseHandle(info.hProcess);
  }
};
struct ValidProcessInformation {
  bool operator()(const PROCESS_INFORMATION& info) const noexcept {
    return info.hProcess != nullptr || info.hThread != nullptr;
  }
};
struct DestroyMenuHandle {
  void operator()(HMENU menu) const noexcept { DestroyMenu(menu); }
};
struct ReleaseCryptContext {
  void operator()(HCRYPTPROV provider) const noexcept { CryptReleaseContext(provider, 0); }
};
// A provider handle is a pointer-sized integer, not a pointer; 0 is none.
static_assert(sizeof(HCRYPTPROV) == sizeof(void*));
struct DestroyIconHandle {
  void operator()(HICON icon) const noexcept { DestroyIcon(icon); }
};
struct FreeLocal {
  void operator()(HLOCAL memory) const noexcept { LocalFree(memory); }
};
struct FreeModule {
  void operator()(HMODULE module) const noexcept { FreeLibrary(module); }
};
struct DeleteGdiObject {
  void operator()(HGDIOBJ object) const noexcept { DeleteObject(object); }
};
}  // namespace detail

using unique_hkey = unique_any<HKEY, detail::CloseKey>;
using unique_handle = unique_any<HANDLE, detail::CloseKernelHandle, detail::ValidKernelHandle>;
using unique_process_information =
    unique_any<PROCESS_INFORMATION, detail::CloseProcessInformation, detail::ValidProcessInformation>;
using unique_hlocal = unique_any<HLOCAL, detail::FreeLocal>;
using unique_hmenu = unique_any<HMENU, detail::DestroyMenuHandle>;
// Only for icons the program itself creates (CreateIconIndirect, CopyIcon,
// LoadIconMetric, LoadImageW without LR_SHARED). An icon loaded as a shared
// resource (LoadIconW, LoadImageW with LR_SHARED) belongs to the system and
// must never be destroyed: keep it as a plain HICON, never in this owner.
using unique_hicon = unique_any<HICON, detail::DestroyIconHandle>;
using unique_hbrush = unique_any<HBRUSH, detail::DeleteGdiObject>;
using unique_hfont = unique_any<HFONT, detail::DeleteGdiObject>;
// A library this process loaded itself (LoadLibraryW, LoadLibraryExW).
using unique_hmodule = unique_any<HMODULE, detail::FreeModule>;
// CryptAcquireContextW's provider context.
using unique_hcryptprov = unique_any<HCRYPTPROV, detail::ReleaseCryptContext>;

}  // namespace qlx::platform

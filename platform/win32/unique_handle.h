#pragma once
// One move-only owner for every Win32 handle kind, so that no logic code
// calls a close function by hand. Owners of handles from headers that most
// windows never need (WinHTTP's, CryptoAPI's) sit beside their users instead:
// unique_internet.h, seed.cpp.
#include <windows.h>

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
// Only for a memory DC (CreateCompatibleDC); a window's DC is released, not
// deleted: see unique_hdc_window.
struct DeleteDcHandle {
  void operator()(HDC dc) const noexcept { DeleteDC(dc); }
};
struct DestroyWindowHandle {
  void operator()(HWND window) const noexcept { DestroyWindow(window); }
};
struct CloseServiceHandleOf {
  void operator()(SC_HANDLE handle) const noexcept { CloseServiceHandle(handle); }
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
using unique_hpen = unique_any<HPEN, detail::DeleteGdiObject>;
using unique_hbitmap = unique_any<HBITMAP, detail::DeleteGdiObject>;
using unique_hdc = unique_any<HDC, detail::DeleteDcHandle>;
using unique_hwnd = unique_any<HWND, detail::DestroyWindowHandle>;
// The service control manager's handles (OpenSCManagerW, OpenServiceW).
using unique_schandle = unique_any<SC_HANDLE, detail::CloseServiceHandleOf>;

// The scoped pairs: what was begun, got or selected is ended, released or
// put back when the owner leaves its scope, also when drawing raises.

// BeginPaint ... EndPaint. EndPaint is due even when BeginPaint gives no DC:
// it shows the caret again and validates the region.
class unique_hdc_paint {
 public:
  explicit unique_hdc_paint(HWND window) noexcept : window_(window) { dc_ = BeginPaint(window, &paint_); }
  unique_hdc_paint(const unique_hdc_paint&) = delete;
  unique_hdc_paint& operator=(const unique_hdc_paint&) = delete;
  ~unique_hdc_paint() { EndPaint(window_, &paint_); }

  explicit operator bool() const noexcept { return dc_ != nullptr; }
  HDC get() const noexcept { return dc_; }
  const PAINTSTRUCT& info() const noexcept { return paint_; }

 private:
  HWND window_;
  PAINTSTRUCT paint_{};
  HDC dc_ = nullptr;
};

// GetDC or GetWindowDC ... ReleaseDC; a null window is the screen.
class unique_hdc_window {
 public:
  unique_hdc_window() noexcept = default;
  unique_hdc_window(unique_hdc_window&& other) noexcept
      : window_(std::exchange(other.window_, nullptr)), dc_(std::exchange(other.dc_, nullptr)) {}
  unique_hdc_window& operator=(unique_hdc_window&& other) noexcept {
    if (this != &other) {
      reset();
      window_ = std::exchange(other.window_, nullptr);
      dc_ = std::exchange(other.dc_, nullptr);
    }
    return *this;
  }
  unique_hdc_window(const unique_hdc_window&) = delete;
  unique_hdc_window& operator=(const unique_hdc_window&) = delete;
  ~unique_hdc_window() { reset(); }

  // The client area's DC.
  static unique_hdc_window Client(HWND window) noexcept { return unique_hdc_window(window, GetDC(window)); }
  // The whole window's DC, frame included (for WM_NCPAINT).
  static unique_hdc_window Whole(HWND window) noexcept { return unique_hdc_window(window, GetWindowDC(window)); }

  explicit operator bool() const noexcept { return dc_ != nullptr; }
  HDC get() const noexcept { return dc_; }
  void reset() noexcept {
    if (dc_ != nullptr) ReleaseDC(window_, dc_);
    window_ = nullptr;
    dc_ = nullptr;
  }

 private:
  unique_hdc_window(HWND window, HDC dc) noexcept : window_(window), dc_(dc) {}
  HWND window_ = nullptr;
  HDC dc_ = nullptr;
};

// SaveDC ... RestoreDC: colours, modes, clipping and selected objects as
// they were, for a DC that belongs to someone else (WM_PRINTCLIENT's).
class unique_dc_state {
 public:
  explicit unique_dc_state(HDC dc) noexcept : dc_(dc), saved_(SaveDC(dc)) {}
  unique_dc_state(const unique_dc_state&) = delete;
  unique_dc_state& operator=(const unique_dc_state&) = delete;
  ~unique_dc_state() {
    if (saved_ != 0) RestoreDC(dc_, saved_);
  }

  explicit operator bool() const noexcept { return saved_ != 0; }

 private:
  HDC dc_;
  int saved_;
};

// SelectObject ... SelectObject of what was there before. Declare it after
// the owner of the object it selects, so that the object is put out of the
// DC before it is deleted.
class unique_select_object {
 public:
  unique_select_object(HDC dc, HGDIOBJ object) noexcept : dc_(dc), previous_(SelectObject(dc, object)) {
    // SelectObject fails with null, or with HGDI_ERROR for a region.
    if (previous_ == HGDI_ERROR) previous_ = nullptr;
  }
  unique_select_object(unique_select_object&& other) noexcept
      : dc_(std::exchange(other.dc_, nullptr)), previous_(std::exchange(other.previous_, nullptr)) {}
  unique_select_object(const unique_select_object&) = delete;
  unique_select_object& operator=(const unique_select_object&) = delete;
  unique_select_object& operator=(unique_select_object&&) = delete;
  ~unique_select_object() {
    if (previous_ != nullptr) SelectObject(dc_, previous_);
  }

  explicit operator bool() const noexcept { return previous_ != nullptr; }
  // The object that was selected before, put back on exit.
  HGDIOBJ previous() const noexcept { return previous_; }

 private:
  HDC dc_;
  HGDIOBJ previous_;
};

}  // namespace qlx::platform

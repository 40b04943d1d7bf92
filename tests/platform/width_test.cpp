// The Windows test tiers must run each build in the width it was built for:
// the i686 build, which is the one users get, through a 64-bit Wine's WoW64
// (so that code that differs by pointer width is exercised as shipped), the
// x86_64 build natively. A tier that quietly ran the other build, or a
// 32-bit Wine of its own, would pass without testing what ships.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>

namespace {

TEST(Width, EachBuildRunsInItsOwnWidthOnA64BitSystem) {
  BOOL wow64 = FALSE;
  ASSERT_TRUE(IsWow64Process(GetCurrentProcess(), &wow64));
  SYSTEM_INFO native{};
  GetNativeSystemInfo(&native);
  EXPECT_EQ(native.wProcessorArchitecture, PROCESSOR_ARCHITECTURE_AMD64);
  if constexpr (sizeof(void*) == 4) {
    EXPECT_TRUE(wow64) << "the i686 build is not running under WoW64";
    SYSTEM_INFO own{};
    GetSystemInfo(&own);
    EXPECT_EQ(own.wProcessorArchitecture, PROCESSOR_ARCHITECTURE_INTEL);
  } else {
    EXPECT_FALSE(wow64);
  }
  // The types that carry pointers through window longs and message
  // parameters are as wide as a pointer; a DWORD is not, on x86_64.
  EXPECT_EQ(sizeof(LONG_PTR), sizeof(void*));
  EXPECT_EQ(sizeof(LPARAM), sizeof(void*));
  EXPECT_EQ(sizeof(WPARAM), sizeof(void*));
}

// A pointer stored in a window long and sent as a message parameter comes
// back whole, including one whose top bit is set (an address above 2 GiB
// for the i686 build, which LONG_PTR holds as a negative number).
LRESULT CALLBACK EchoProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_APP) return static_cast<LRESULT>(lparam) ^ static_cast<LRESULT>(wparam);
  return DefWindowProcW(window, message, wparam, lparam);
}

TEST(Width, PointersRoundTripThroughWindowLongsAndMessageParameters) {
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof window_class;
  window_class.lpfnWndProc = EchoProcedure;
  window_class.hInstance = GetModuleHandleW(nullptr);
  window_class.lpszClassName = L"QLXWidthTest";
  ASSERT_NE(RegisterClassExW(&window_class), 0);
  HWND window = CreateWindowExW(0, L"QLXWidthTest", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(window, nullptr);
  const std::uintptr_t top_bit = std::uintptr_t{1} << (sizeof(void*) * 8 - 1);
  for (const std::uintptr_t value : {std::uintptr_t{0x1234}, top_bit | 0x5678, ~std::uintptr_t{0}}) {
    SetWindowLongPtrW(window, GWLP_USERDATA, static_cast<LONG_PTR>(value));
    EXPECT_EQ(static_cast<std::uintptr_t>(GetWindowLongPtrW(window, GWLP_USERDATA)), value);
    const auto echoed = static_cast<std::uintptr_t>(
        SendMessageW(window, WM_APP, static_cast<WPARAM>(top_bit), static_cast<LPARAM>(value)));
    EXPECT_EQ(echoed, value ^ top_bit);
  }
  DestroyWindow(window);
  UnregisterClassW(L"QLXWidthTest", GetModuleHandleW(nullptr));
}

}  // namespace

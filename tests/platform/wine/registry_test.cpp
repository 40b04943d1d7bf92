// Win32Registry and the handle owners against Wine's real registry.
#include "platform/win32/registry.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "platform/win32/unique_handle.h"
#include "tests/platform/wine/raw_registry.h"

namespace qlx::platform {
namespace {

using platform::RegStatus;
namespace access = platform::access;

const std::u16string kRoot = u"Software\\QLXDriveTests\\Registry";

class Win32RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override { test::DeleteTree(kRoot); }
  void TearDown() override { test::DeleteTree(kRoot); }

  Win32Registry registry_;
};

TEST_F(Win32RegistryTest, CreateKeyMakesMissingParentsAndOpenKeyNeverCreates) {
  const std::u16string path = kRoot + u"\\a\\b\\c";
  EXPECT_FALSE(registry_.OpenKey(path, access::kAllAccess).has_value());
  EXPECT_FALSE(test::KeyExists(path));

  auto created = registry_.CreateKey(path, access::kAllAccess);
  ASSERT_TRUE(created.has_value());
  EXPECT_NE(*created, 0u);
  registry_.CloseKey(*created);
  EXPECT_TRUE(test::KeyExists(path));

  // A second create opens what is there.
  auto again = registry_.CreateKey(path, access::kAllAccess);
  ASSERT_TRUE(again.has_value());
  registry_.CloseKey(*again);
  for (auto mask : {access::kRead, access::kReadEnumQuery, access::kQueryValue}) {
    auto opened = registry_.OpenKey(path, mask);
    ASSERT_TRUE(opened.has_value()) << std::hex << mask;
    registry_.CloseKey(*opened);
  }
}

TEST_F(Win32RegistryTest, SetStringWritesUnitsAndOneTerminator) {
  const std::vector<std::u16string> texts = {
      u"", u"S", u"Zo\u00eb \u65e5\u672c \U0001F600", std::u16string(u"a\0b", 3), std::u16string(40000, u'x'),
  };
  auto key = registry_.CreateKey(kRoot, access::kAllAccess);
  ASSERT_TRUE(key.has_value());
  for (std::size_t i = 0; i < texts.size(); ++i) {
    std::u16string name = u"v";
    name.push_back(static_cast<char16_t>(u'0' + i));
    ASSERT_TRUE(registry_.SetString(*key, name, texts[i])) << i;
    const auto raw = test::ReadRaw(kRoot, name);
    ASSERT_TRUE(raw.has_value()) << i;
    EXPECT_EQ(raw->type, static_cast<DWORD>(REG_SZ)) << i;
    EXPECT_EQ(raw->data, test::Bytes(texts[i])) << i;
  }
  // Replacing a longer value leaves nothing of it behind.
  ASSERT_TRUE(registry_.SetString(*key, u"v4", u"short"));
  EXPECT_EQ(test::ReadRaw(kRoot, u"v4")->data, test::Bytes(u"short"));
  registry_.CloseKey(*key);
}

TEST_F(Win32RegistryTest, QueryValueReportsTypeSizeAndShortBuffers) {
  const std::u16string text = u"Software\\x";
  ASSERT_TRUE(test::WriteRaw(kRoot, u"sz", REG_SZ, test::Bytes(text)));
  ASSERT_TRUE(test::WriteRaw(kRoot, u"dword", REG_DWORD, {1, 2, 3, 4}));
  ASSERT_TRUE(test::WriteRaw(kRoot, u"empty", REG_BINARY, {}));
  auto key = registry_.OpenKey(kRoot, access::kRead);
  ASSERT_TRUE(key.has_value());
  const auto expected = test::Bytes(text);

  std::uint32_t type = 0, size = 0;
  EXPECT_EQ(registry_.QueryValue(*key, u"sz", &type, nullptr, &size), RegStatus::Ok);
  EXPECT_EQ(type, platform::regtype::kSz);
  EXPECT_EQ(size, expected.size());

  std::vector<std::uint8_t> small(4, 0xEE);
  type = 0;
  size = static_cast<std::uint32_t>(small.size());
  EXPECT_EQ(registry_.QueryValue(*key, u"sz", &type, small.data(), &size), RegStatus::MoreData);
  EXPECT_EQ(size, expected.size());
  EXPECT_EQ(type, platform::regtype::kSz);

  std::vector<std::uint8_t> exact(expected.size());
  size = static_cast<std::uint32_t>(exact.size());
  EXPECT_EQ(registry_.QueryValue(*key, u"sz", &type, exact.data(), &size), RegStatus::Ok);
  EXPECT_EQ(exact, expected);

  std::vector<std::uint8_t> dword(4);
  size = 4;
  EXPECT_EQ(registry_.QueryValue(*key, u"dword", &type, dword.data(), &size), RegStatus::Ok);
  EXPECT_EQ(type, platform::regtype::kDword);
  EXPECT_EQ(dword, (std::vector<std::uint8_t>{1, 2, 3, 4}));

  size = 99;
  EXPECT_EQ(registry_.QueryValue(*key, u"empty", &type, nullptr, &size), RegStatus::Ok);
  EXPECT_EQ(type, platform::regtype::kBinary);
  EXPECT_EQ(size, 0u);

  size = 0;
  EXPECT_EQ(registry_.QueryValue(*key, u"absent", &type, nullptr, &size), RegStatus::NotFound);
  // Without a size the data buffer's end is unknown.
  EXPECT_EQ(registry_.QueryValue(*key, u"sz", &type, exact.data(), nullptr), RegStatus::Failed);
  registry_.CloseKey(*key);
}

TEST_F(Win32RegistryTest, AccessMaskIsHonoured) {
  auto created = registry_.CreateKey(kRoot, access::kAllAccess);
  ASSERT_TRUE(created.has_value());
  registry_.CloseKey(*created);
  for (auto mask : {access::kRead, access::kQueryValue}) {
    auto key = registry_.OpenKey(kRoot, mask);
    ASSERT_TRUE(key.has_value());
    EXPECT_FALSE(registry_.SetString(*key, u"denied", u"x")) << std::hex << mask;
    registry_.CloseKey(*key);
  }
  EXPECT_FALSE(test::ReadRaw(kRoot, u"denied").has_value());
}

TEST_F(Win32RegistryTest, KeyIsTheHkeyAndCloseKeyClosesIt) {
  auto key = registry_.CreateKey(kRoot, access::kAllAccess);
  ASSERT_TRUE(key.has_value());
  const HKEY hkey = reinterpret_cast<HKEY>(*key);
  ASSERT_EQ(RegSetValueExW(hkey, L"direct", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"x"), 4), ERROR_SUCCESS);
  registry_.CloseKey(*key);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExW(hkey, L"direct", nullptr, nullptr, nullptr, &size), ERROR_INVALID_HANDLE);
}

// The handle owners: each handle closed once, on the owner's last exit.
bool IsOpen(HANDLE handle) {
  DWORD flags = 0;
  return GetHandleInformation(handle, &flags) != FALSE;
}

TEST(UniqueAny, MoveTransfersOwnershipAndClosesOnce) {
  HANDLE raw = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ASSERT_NE(raw, nullptr);
  {
    unique_handle first(raw);
    unique_handle second(std::move(first));
    EXPECT_FALSE(first);
    EXPECT_TRUE(second);
    EXPECT_EQ(second.get(), raw);
    unique_handle third;
    third = std::move(second);
    EXPECT_TRUE(IsOpen(raw));
  }
  EXPECT_FALSE(IsOpen(raw));

  HANDLE a = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE b = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  unique_handle owner_a(a), owner_b(b);
  owner_a = std::move(owner_b);  // frees what it held first
  EXPECT_FALSE(IsOpen(a));
  EXPECT_TRUE(IsOpen(b));
  HANDLE released = owner_a.release();
  EXPECT_FALSE(owner_a);
  EXPECT_TRUE(IsOpen(b));
  CloseHandle(released);
}

TEST(UniqueAny, InvalidHandleValueIsNeverClosed) {
  unique_handle invalid(INVALID_HANDLE_VALUE);
  EXPECT_FALSE(invalid);
  invalid.reset();  // CloseHandle(INVALID_HANDLE_VALUE) would close the process pseudo-handle
  EXPECT_FALSE(invalid);
}

TEST(UniqueAny, KeyOwnerPutFreesTheOldKey) {
  test::DeleteTree(kRoot);
  unique_hkey key;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, reinterpret_cast<const wchar_t*>(kRoot.c_str()), 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, key.put(), nullptr),
            ERROR_SUCCESS);
  const HKEY first = key.get();
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, reinterpret_cast<const wchar_t*>(kRoot.c_str()), 0, KEY_READ, key.put()),
            ERROR_SUCCESS);
  // The system may hand the freed handle value out again at once.
  DWORD size = 0;
  EXPECT_TRUE(key.get() == first ||
              RegQueryValueExW(first, L"x", nullptr, nullptr, nullptr, &size) == ERROR_INVALID_HANDLE);
  key.reset();
  test::DeleteTree(kRoot);
}

TEST(UniqueAny, ProcessInformationClosesBothHandles) {
  wchar_t command[] = L"cmd.exe /c exit 7";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  unique_process_information process;
  ASSERT_TRUE(CreateProcessW(nullptr, command, nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                             process.put()));
  ASSERT_TRUE(process);
  const HANDLE hprocess = process->hProcess, hthread = process->hThread;
  EXPECT_EQ(WaitForSingleObject(hprocess, 30000), WAIT_OBJECT_0);
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeProcess(hprocess, &code));
  EXPECT_EQ(code, 7u);
  unique_process_information moved(std::move(process));
  EXPECT_FALSE(process);
  EXPECT_TRUE(IsOpen(hprocess) && IsOpen(hthread));
  moved.reset();
  EXPECT_FALSE(IsOpen(hprocess));
  EXPECT_FALSE(IsOpen(hthread));
}

}  // namespace
}  // namespace qlx::platform

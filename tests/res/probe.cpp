// Links the program's resource object and looks at the result as Windows
// does: from the running exe's own resources, through the loader's own
// calls. The stripping tool is tried on copies of this very exe.
#include <windows.h>

#include <gtest/gtest.h>

#include <qlx/build_info.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cwctype>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32/unique_handle.h"
#include "res/resource_ids.h"
#include "ui/theme_file.h"

namespace {

using qlx::platform::unique_any;
using qlx::platform::unique_hicon;
using qlx::platform::unique_process_information;

struct FreeModule {
  void operator()(HMODULE module) const noexcept { FreeLibrary(module); }
};
using unique_module = unique_any<HMODULE, FreeModule>;
struct DeleteBitmap {
  void operator()(HBITMAP bitmap) const noexcept { DeleteObject(bitmap); }
};
using unique_hbitmap = unique_any<HBITMAP, DeleteBitmap>;
struct DiscardUpdate {
  void operator()(HANDLE update) const noexcept { EndUpdateResourceW(update, TRUE); }
};
using unique_update = unique_any<HANDLE, DiscardUpdate>;

std::string_view Resource(HMODULE module, LPCWSTR name, LPCWSTR type) {
  HRSRC found = FindResourceW(module, name, type);
  if (found == nullptr) return {};
  HGLOBAL loaded = LoadResource(module, found);
  const void* data = loaded == nullptr ? nullptr : LockResource(loaded);
  if (data == nullptr) return {};
  return {static_cast<const char*>(data), SizeofResource(module, found)};
}

std::uint16_t U16At(std::string_view bytes, std::size_t at) {
  std::uint16_t value = 0;
  std::memcpy(&value, bytes.data() + at, sizeof value);
  return value;
}
std::uint32_t U32At(std::string_view bytes, std::size_t at) {
  std::uint32_t value = 0;
  std::memcpy(&value, bytes.data() + at, sizeof value);
  return value;
}

// One entry of an RT_GROUP_ICON directory (GRPICONDIRENTRY, 14 bytes packed).
struct GroupEntry {
  int size;  // 0 in the directory means 256
  int bit_count;
  std::uint32_t bytes;
  std::uint16_t id;
};

std::vector<GroupEntry> IconGroup(HMODULE module, int id) {
  const auto group = Resource(module, MAKEINTRESOURCEW(id), RT_GROUP_ICON);
  std::vector<GroupEntry> entries;
  if (group.size() < 6 || U16At(group, 0) != 0 || U16At(group, 2) != 1) return entries;
  const std::size_t count = U16At(group, 4);
  if (group.size() != 6 + 14 * count) return entries;
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t at = 6 + 14 * i;
    const int width = static_cast<unsigned char>(group[at]);
    const int height = static_cast<unsigned char>(group[at + 1]);
    if (width != height) ADD_FAILURE() << "icon " << id << " entry " << i << " is not square";
    entries.push_back({width == 0 ? 256 : width, U16At(group, at + 6), U32At(group, at + 8), U16At(group, at + 12)});
  }
  return entries;
}

// The pixel size Windows itself sees in an icon image, after decoding it.
int DecodedSize(std::string_view image, int size) {
  unique_hicon icon(CreateIconFromResourceEx(reinterpret_cast<PBYTE>(const_cast<char*>(image.data())),
                                             static_cast<DWORD>(image.size()), TRUE, 0x00030000, size, size,
                                             LR_DEFAULTCOLOR));
  if (!icon) return -1;
  ICONINFO info{};
  if (!GetIconInfo(icon.get(), &info)) return -2;
  unique_hbitmap color(info.hbmColor);
  unique_hbitmap mask(info.hbmMask);
  BITMAP bitmap{};
  if (!color || GetObjectW(color.get(), sizeof bitmap, &bitmap) == 0) return -3;
  return bitmap.bmWidth == bitmap.bmHeight ? bitmap.bmWidth : -4;
}

TEST(ProgramIcon, HoldsFourSizesAt32BitsThatWindowsDecodes) {
  HMODULE self = GetModuleHandleW(nullptr);
  const auto entries = IconGroup(self, IDI_QLXDRIVE);
  std::multiset<int> sizes;
  for (const auto& entry : entries) {
    sizes.insert(entry.size);
    EXPECT_EQ(entry.bit_count, 32) << entry.size << " px";
    const auto image = Resource(self, MAKEINTRESOURCEW(entry.id), RT_ICON);
    ASSERT_EQ(image.size(), entry.bytes) << entry.size << " px";
    if (entry.size == 256) {
      EXPECT_EQ(image.substr(0, 8), std::string_view("\x89PNG\r\n\x1a\n", 8));
    } else {
      EXPECT_EQ(U32At(image, 0), 40u) << "BITMAPINFOHEADER of the " << entry.size << " px image";
      EXPECT_EQ(U16At(image, 14), 32) << entry.size << " px image's own bit count";
    }
    EXPECT_EQ(DecodedSize(image, entry.size), entry.size) << entry.size << " px";
  }
  EXPECT_EQ(sizes, (std::multiset<int>{16, 32, 48, 256}));

  // The loader picks the exact size out of the group for each request.
  for (int size : {16, 32, 48}) {
    unique_hicon icon(static_cast<HICON>(
        LoadImageW(self, MAKEINTRESOURCEW(IDI_QLXDRIVE), IMAGE_ICON, size, size, LR_DEFAULTCOLOR)));
    ASSERT_TRUE(icon) << size;
    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(icon.get(), &info));
    unique_hbitmap color(info.hbmColor);
    unique_hbitmap mask(info.hbmMask);
    BITMAP bitmap{};
    ASSERT_NE(GetObjectW(color.get(), sizeof bitmap, &bitmap), 0);
    EXPECT_EQ(bitmap.bmWidth, size);
  }
}

// The hue, in degrees, of the mean colour of the opaque pixels of a 16x16
// 32 bpp icon image; the white ring is left out. The brightest channel is
// chosen on the exact integer sums: on i686 the means may sit in x87
// registers with more precision than the stored maximum, so comparing the
// maximum with a mean for equality can pick the wrong formula.
std::optional<double> MeanHue(std::string_view image, int& partial_alpha) {
  if (image.size() < 40 + 16 * 16 * 4) return std::nullopt;
  long rs = 0, gs = 0, bs = 0;
  int count = 0;
  partial_alpha = 0;
  for (int i = 0; i < 16 * 16; ++i) {
    const auto* p = reinterpret_cast<const unsigned char*>(image.data() + 40 + 4 * i);  // B G R A
    if (p[3] > 0 && p[3] < 255) ++partial_alpha;
    if (p[3] != 255 || (p[0] > 230 && p[1] > 230 && p[2] > 230)) continue;
    bs += p[0];
    gs += p[1];
    rs += p[2];
    ++count;
  }
  if (count == 0) return std::nullopt;
  const long high_sum = std::max({rs, gs, bs});
  const long low_sum = std::min({rs, gs, bs});
  if (high_sum - low_sum < count) return std::nullopt;  // grey has no hue
  const double r = double(rs) / count, g = double(gs) / count, b = double(bs) / count;
  const double span = double(high_sum - low_sum) / count;
  double hue = high_sum == rs ? 60 * (g - b) / span : high_sum == gs ? 120 + 60 * (b - r) / span
                                                                      : 240 + 60 * (r - g) / span;
  return hue < 0 ? hue + 360 : hue;
}

TEST(CloudIcons, FiveSixteenPixelImagesInTheImageListOrder) {
  HMODULE self = GetModuleHandleW(nullptr);
  struct Expected {
    int id;
    const char* colour;
    double low, high;  // hue range, degrees
  };
  const std::array<Expected, QLX_CLOUD_COUNT> clouds{{
      {IDI_CLOUD_BLUE, "blue", 195, 235},
      {IDI_CLOUD_RED, "red", -15, 15},
      {IDI_CLOUD_GREEN, "green", 100, 160},
      {IDI_CLOUD_ORANGE, "orange", 20, 45},
      {IDI_CLOUD_VIOLET, "violet", 250, 285},
  }};
  for (std::size_t i = 0; i < clouds.size(); ++i) {
    const auto& cloud = clouds[i];
    SCOPED_TRACE(cloud.colour);
    EXPECT_EQ(cloud.id, IDI_CLOUD_BLUE + static_cast<int>(i)) << "the IDs are consecutive";
    const auto entries = IconGroup(self, cloud.id);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].size, 16);
    EXPECT_EQ(entries[0].bit_count, 32);
    const auto image = Resource(self, MAKEINTRESOURCEW(entries[0].id), RT_ICON);
    ASSERT_EQ(image.size(), entries[0].bytes);
    EXPECT_EQ(DecodedSize(image, 16), 16);

    int partial_alpha = 0;
    const auto hue = MeanHue(image, partial_alpha);
    ASSERT_TRUE(hue.has_value());
    const double h = *hue > 180 && cloud.low < 0 ? *hue - 360 : *hue;
    EXPECT_GE(h, cloud.low);
    EXPECT_LE(h, cloud.high);
    EXPECT_GT(partial_alpha, 8) << "anti-aliased edges";
  }
}

// VS_VERSIONINFO, read by hand: a tree of {length, value length, type, key,
// value, children}, each part aligned to 4 bytes.
struct VersionNode {
  std::u16string key;
  std::string_view value;
  bool text = false;
  std::vector<VersionNode> children;

  const VersionNode* Child(std::u16string_view name) const {
    for (const auto& child : children) {
      if (child.key == name) return &child;
    }
    return nullptr;
  }
  std::u16string Text() const {
    std::u16string out(value.size() / 2, u'\0');
    std::memcpy(out.data(), value.data(), out.size() * 2);
    return out.substr(0, out.find(u'\0'));
  }
};

std::size_t Align4(std::size_t at) { return (at + 3) & ~std::size_t{3}; }

bool ParseVersionNode(std::string_view bytes, VersionNode& node) {
  if (bytes.size() < 6) return false;
  const std::size_t length = U16At(bytes, 0);
  const std::size_t value_length = U16At(bytes, 2);
  node.text = U16At(bytes, 4) == 1;
  if (length < 6 || length > bytes.size()) return false;
  bytes = bytes.substr(0, length);
  std::size_t at = 6;
  while (true) {
    if (at + 2 > bytes.size()) return false;
    const char16_t c = U16At(bytes, at);
    at += 2;
    if (c == 0) break;
    node.key += c;
  }
  at = Align4(at);
  const std::size_t value_bytes = node.text ? value_length * 2 : value_length;
  if (at + value_bytes > bytes.size()) return false;
  node.value = bytes.substr(at, value_bytes);
  at = Align4(at + value_bytes);
  while (at < bytes.size()) {
    VersionNode child;
    if (!ParseVersionNode(bytes.substr(at), child)) return false;
    const std::size_t child_length = U16At(bytes, at);
    node.children.push_back(std::move(child));
    at = Align4(at + child_length);
  }
  return true;
}

std::u16string U16(const char* ascii) { return std::u16string(ascii, ascii + std::strlen(ascii)); }

TEST(VersionResource, CarriesTheBuildsVersionAndTheProductNames) {
  const auto bytes = Resource(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1), RT_VERSION);
  VersionNode root;
  ASSERT_TRUE(ParseVersionNode(bytes, root));
  EXPECT_EQ(root.key, u"VS_VERSION_INFO");

  ASSERT_EQ(root.value.size(), sizeof(VS_FIXEDFILEINFO));
  VS_FIXEDFILEINFO fixed{};
  std::memcpy(&fixed, root.value.data(), sizeof fixed);
  EXPECT_EQ(fixed.dwSignature, 0xFEEF04BDu);
  const DWORD high = (QLX_VERSION_MAJOR << 16) | QLX_VERSION_MINOR;
  const DWORD low = static_cast<DWORD>(QLX_VERSION_PATCH) << 16;
  EXPECT_EQ(fixed.dwFileVersionMS, high);
  EXPECT_EQ(fixed.dwFileVersionLS, low);
  EXPECT_EQ(fixed.dwProductVersionMS, high);
  EXPECT_EQ(fixed.dwProductVersionLS, low);
  EXPECT_EQ(fixed.dwFileType, static_cast<DWORD>(VFT_APP));

  const VersionNode* strings = root.Child(u"StringFileInfo");
  ASSERT_NE(strings, nullptr);
  const VersionNode* italian = strings->Child(u"041004B0");
  ASSERT_NE(italian, nullptr) << "the Italian, UTF-16 string table";
  const std::map<std::u16string, std::u16string> expected{
      {u"CompanyName", u"PELMORA"},
      {u"FileDescription", u"QLXDrive"},
      {u"FileVersion", U16(QLX_VERSION_TEXT)},
      {u"InternalName", u"QLXDrive"},
      {u"OriginalFilename", u"QLXDrive.exe"},
      {u"ProductName", u"QLXDrive"},
      {u"ProductVersion", U16(QLX_VERSION_TEXT)},
  };
  for (const auto& [key, value] : expected) {
    const VersionNode* entry = italian->Child(key);
    ASSERT_NE(entry, nullptr) << std::string(key.begin(), key.end());
    EXPECT_TRUE(entry->text);
    EXPECT_EQ(entry->Text(), value) << std::string(key.begin(), key.end());
  }
  const VersionNode* copyright = italian->Child(u"LegalCopyright");
  ASSERT_NE(copyright, nullptr);
  EXPECT_NE(copyright->Text().find(u"PELMORA"), std::u16string::npos);

  const VersionNode* var = root.Child(u"VarFileInfo");
  ASSERT_NE(var, nullptr);
  const VersionNode* translation = var->Child(u"Translation");
  ASSERT_NE(translation, nullptr);
  ASSERT_EQ(translation->value.size(), 4u);
  EXPECT_EQ(U16At(translation->value, 0), 0x0410);
  EXPECT_EQ(U16At(translation->value, 2), 1200);
}

TEST(Manifest, AsksForPerMonitorDpiCommonControls6AndTheCallersRights) {
  const std::string manifest(Resource(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MANIFEST),
                                      MAKEINTRESOURCEW(QLX_RT_MANIFEST)));
  ASSERT_FALSE(manifest.empty());
  const std::string version = std::string("version=\"") + QLX_VERSION_TEXT + ".0\"";
  for (const std::string& part :
       {std::string("name=\"PELMORA.QLXDrive\""), version, std::string("processorArchitecture=\"*\""),
        std::string(">True/PM</dpiAware>"), std::string(">PerMonitorV2,PerMonitor</dpiAwareness>"),
        std::string("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""),
        std::string("level=\"asInvoker\" uiAccess=\"false\"")}) {
    EXPECT_NE(manifest.find(part), std::string::npos) << part;
  }
}

// The loader has read the manifest, not only carried it: its settings are
// those of the process's activation context.
TEST(Manifest, IsTheOneTheLoaderApplies) {
  using Query = BOOL(WINAPI*)(DWORD, HANDLE, PCWSTR, PCWSTR, PWSTR, SIZE_T, SIZE_T*);
  const auto query = reinterpret_cast<Query>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "QueryActCtxSettingsW")));
  ASSERT_NE(query, nullptr);
  wchar_t value[64] = {};
  SIZE_T written = 0;
  ASSERT_TRUE(query(0, nullptr, L"http://schemas.microsoft.com/SMI/2005/WindowsSettings", L"dpiAware", value,
                    std::size(value), &written))
      << GetLastError();
  EXPECT_STREQ(value, L"True/PM");

  // The common controls that load are the side-by-side version 6 assembly
  // the manifest depends on, not the system directory's own. (Its
  // DllGetVersion is no witness: Wine's reports 5 from either copy.)
  unique_module comctl(LoadLibraryW(L"comctl32.dll"));
  ASSERT_TRUE(comctl);
  std::wstring where(MAX_PATH, L'\0');
  where.resize(GetModuleFileNameW(comctl.get(), where.data(), MAX_PATH));
  for (auto& c : where) c = static_cast<wchar_t>(std::towlower(c));
  EXPECT_NE(where.find(L"\\winsxs\\"), std::wstring::npos) << std::string(where.begin(), where.end());
  EXPECT_NE(where.find(L"microsoft.windows.common-controls_6595b64144ccf1df_6.0."), std::wstring::npos)
      << std::string(where.begin(), where.end());
}

TEST(ThemeResource, IsACompleteTheme) {
  const auto text = Resource(GetModuleHandleW(nullptr), QLX_THEME_RESOURCE_NAME, MAKEINTRESOURCEW(QLX_RT_THEME));
  ASSERT_FALSE(text.empty());
  std::string error;
  const auto theme = qlx::ui::ParseTheme(text, error);
  ASSERT_TRUE(theme.has_value()) << error;
  EXPECT_NE(theme->Text, theme->DialogBackground);
}

// --- The stripping tool, on copies of this exe -------------------------------

std::wstring SelfPath() {
  std::wstring path(32768, L'\0');
  path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
  return path;
}

// The tool's path comes from CTest as a Unix path; under Wine, Z: is /.
std::wstring ToolPath() {
  const char* unix_path = std::getenv("QLX_STRIP_RESOURCE");
  if (unix_path == nullptr) return {};
  std::wstring path = unix_path[0] == '/' ? L"Z:" : L"";
  for (const char* p = unix_path; *p; ++p) path += *p == '/' ? L'\\' : static_cast<wchar_t>(*p);
  return path;
}

std::wstring Quoted(const std::wstring& argument) { return L"\"" + argument + L"\""; }

// Runs a program to its end; its exit code, or -1 when it cannot be started.
int RunToEnd(const std::wstring& program, const std::wstring& arguments) {
  std::wstring command = Quoted(program) + L" " + arguments;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  unique_process_information process;
  if (!CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      process.put())) {
    return -1;
  }
  if (WaitForSingleObject(process->hProcess, 120000) != WAIT_OBJECT_0) return -2;
  DWORD code = 0;
  GetExitCodeProcess(process->hProcess, &code);
  return static_cast<int>(code);
}

int Strip(const std::wstring& in, const std::wstring& out, const std::wstring& type, const std::wstring& name) {
  return RunToEnd(ToolPath(), Quoted(in) + L" " + Quoted(out) + L" " + type + L" " + name);
}

BOOL CALLBACK CountLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR param) {
  reinterpret_cast<std::set<WORD>*>(param)->insert(language);
  return TRUE;
}

// A copy of an exe, opened as data to look at its resources.
class Image {
 public:
  explicit Image(const std::wstring& path)
      : module_(LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE)) {}
  bool loaded() const { return static_cast<bool>(module_); }
  std::set<WORD> Languages(LPCWSTR type, LPCWSTR name) const {
    std::set<WORD> languages;
    EnumResourceLanguagesW(module_.get(), type, name, CountLanguage, reinterpret_cast<LONG_PTR>(&languages));
    return languages;
  }
  bool HasTheme() const { return !Languages(MAKEINTRESOURCEW(QLX_RT_THEME), QLX_THEME_RESOURCE_NAME).empty(); }
  std::string Bytes(LPCWSTR name, LPCWSTR type) const { return std::string(Resource(module_.get(), name, type)); }

 private:
  unique_module module_;
};

class StripResource : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(ToolPath().empty()) << "QLX_STRIP_RESOURCE is not set";
    wchar_t temp[MAX_PATH + 1] = {};
    ASSERT_NE(GetTempPathW(MAX_PATH + 1, temp), 0u);
    dir_ = std::wstring(temp) + L"qlx_strip_" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(dir_.c_str(), nullptr);
  }
  void TearDown() override {
    for (const auto& file : made_) DeleteFileW(file.c_str());
    RemoveDirectoryW(dir_.c_str());
  }
  std::wstring File(const wchar_t* name) {
    made_.push_back(dir_ + L"\\" + name);
    return made_.back();
  }
  static bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

  std::wstring dir_;
  std::vector<std::wstring> made_;
};

TEST_F(StripResource, RemovesTheThemeAndKeepsTheRest) {
  const std::wstring bare = File(L"bare.exe");
  ASSERT_EQ(Strip(SelfPath(), bare, L"RCDATA", L"OBSIDIAN"), 0);

  const Image original(SelfPath());
  const Image stripped(bare);
  ASSERT_TRUE(original.loaded());
  ASSERT_TRUE(stripped.loaded());
  EXPECT_TRUE(original.HasTheme());
  EXPECT_FALSE(stripped.HasTheme());
  for (int id : {IDI_QLXDRIVE, IDI_CLOUD_BLUE, IDI_CLOUD_VIOLET}) {
    const auto group = stripped.Bytes(MAKEINTRESOURCEW(id), RT_GROUP_ICON);
    EXPECT_FALSE(group.empty()) << id;
    EXPECT_EQ(group, original.Bytes(MAKEINTRESOURCEW(id), RT_GROUP_ICON)) << id;
  }
  EXPECT_EQ(stripped.Bytes(MAKEINTRESOURCEW(1), RT_VERSION), original.Bytes(MAKEINTRESOURCEW(1), RT_VERSION));
  EXPECT_EQ(stripped.Bytes(MAKEINTRESOURCEW(IDR_MANIFEST), MAKEINTRESOURCEW(QLX_RT_MANIFEST)),
            original.Bytes(MAKEINTRESOURCEW(IDR_MANIFEST), MAKEINTRESOURCEW(QLX_RT_MANIFEST)));

  // The copy still runs, and from the inside it has its icon but no theme.
  EXPECT_EQ(RunToEnd(bare, L"--gtest_brief=1 --gtest_filter=ProgramIcon.*"), 0);
  EXPECT_NE(RunToEnd(bare, L"--gtest_brief=1 --gtest_filter=ThemeResource.*"), 0);
}

TEST_F(StripResource, RemovesEveryLanguageAndTakesNumericIds) {
  // A copy with the theme in Italian as well as in the neutral language.
  const std::wstring twice = File(L"twice.exe");
  ASSERT_TRUE(CopyFileW(SelfPath().c_str(), twice.c_str(), FALSE));
  {
    const Image original(SelfPath());
    std::string theme = original.Bytes(QLX_THEME_RESOURCE_NAME, MAKEINTRESOURCEW(QLX_RT_THEME));
    unique_update update(BeginUpdateResourceW(twice.c_str(), FALSE));
    ASSERT_TRUE(update);
    ASSERT_TRUE(UpdateResourceW(update.get(), MAKEINTRESOURCEW(QLX_RT_THEME), QLX_THEME_RESOURCE_NAME,
                                MAKELANGID(LANG_ITALIAN, SUBLANG_ITALIAN), theme.data(),
                                static_cast<DWORD>(theme.size())));
    ASSERT_TRUE(EndUpdateResourceW(update.release(), FALSE));
  }
  ASSERT_EQ(Image(twice).Languages(MAKEINTRESOURCEW(QLX_RT_THEME), QLX_THEME_RESOURCE_NAME).size(), 2u);

  const std::wstring bare = File(L"bare2.exe");
  ASSERT_EQ(Strip(twice, bare, L"10", L"obsidian"), 0) << "numeric type, name in any case";
  EXPECT_FALSE(Image(bare).HasTheme());

  // Without its manifest the copy runs with the loader's defaults, which the
  // manifest test must notice.
  const std::wstring plain = File(L"plain.exe");
  ASSERT_EQ(Strip(SelfPath(), plain, L"MANIFEST", L"1"), 0);
  EXPECT_EQ(RunToEnd(plain, L"--gtest_brief=1 --gtest_filter=ThemeResource.*"), 0);
  EXPECT_NE(RunToEnd(plain, L"--gtest_brief=1 --gtest_filter=Manifest.IsTheOneTheLoaderApplies"), 0);

  const std::wstring cloudless = File(L"cloudless.exe");
  ASSERT_EQ(Strip(SelfPath(), cloudless, L"GROUP_ICON", std::to_wstring(IDI_CLOUD_RED)), 0);
  const Image image(cloudless);
  EXPECT_TRUE(image.Bytes(MAKEINTRESOURCEW(IDI_CLOUD_RED), RT_GROUP_ICON).empty());
  EXPECT_FALSE(image.Bytes(MAKEINTRESOURCEW(IDI_CLOUD_GREEN), RT_GROUP_ICON).empty());
  EXPECT_TRUE(image.HasTheme());
}

TEST_F(StripResource, FailsWithoutLeavingACopy) {
  const std::wstring out = File(L"none.exe");
  EXPECT_EQ(Strip(SelfPath(), out, L"RCDATA", L"NO_SUCH_THEME"), 4);
  EXPECT_FALSE(Exists(out));
  EXPECT_EQ(Strip(dir_ + L"\\missing.exe", out, L"RCDATA", L"OBSIDIAN"), 4);
  EXPECT_FALSE(Exists(out));
  EXPECT_EQ(Strip(SelfPath(), dir_ + L"\\no_such_dir\\out.exe", L"RCDATA", L"OBSIDIAN"), 3);
  EXPECT_EQ(RunToEnd(ToolPath(), Quoted(SelfPath()) + L" " + Quoted(out) + L" RCDATA"), 2);
  EXPECT_EQ(Strip(SelfPath(), out, L"RCDATA", L"0"), 2);
  EXPECT_FALSE(Exists(out));
}

}  // namespace

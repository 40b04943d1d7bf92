// strip_resource IN.exe OUT.exe TYPE NAME
//
// Copies IN to OUT and removes from OUT one resource, in every language it
// has. Used by the tests to make a program that lacks, say, its theme
// (strip_resource QLXDrive.exe bare.exe RCDATA OBSIDIAN).
//
// TYPE: a number, "#number", one of the usual names (CURSOR BITMAP ICON MENU
// DIALOG STRING RCDATA GROUP_ICON VERSION MANIFEST), or any other text for
// a custom type. NAME: a number, "#number" or a text name (compared, as by
// the loader, without regard to case).
//
// Exit codes: 0 done; 2 usage; 3 cannot copy; 4 IN cannot be read or has no
// such resource; 5 an update call failed; 6 OUT is not IN less that
// resource. On any failure OUT is deleted, so that a test never picks up a
// half-made copy.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cwctype>
#include <string>
#include <vector>

#include "platform/win32/unique_handle.h"

namespace {

using qlx::platform::unique_any;

struct FreeModule {
  void operator()(HMODULE module) const noexcept { FreeLibrary(module); }
};
using unique_module = unique_any<HMODULE, FreeModule>;

// An update not ended with EndUpdateResourceW(…, FALSE) leaves the file as
// it was.
struct DiscardUpdate {
  void operator()(HANDLE update) const noexcept { EndUpdateResourceW(update, TRUE); }
};
using unique_update = unique_any<HANDLE, DiscardUpdate>;

// A resource type or name: an integer ID or a text.
class ResourceId {
 public:
  ResourceId() = default;
  static ResourceId FromApi(LPCWSTR id) {
    ResourceId out;
    if (IS_INTRESOURCE(id)) {
      out.id_ = static_cast<WORD>(reinterpret_cast<ULONG_PTR>(id));
    } else {
      out.text_ = id;
    }
    return out;
  }
  // From the command line; false when it is empty or the number 0 or too big.
  bool Parse(std::wstring text, bool is_type) {
    if (!text.empty() && text[0] == L'#') text.erase(0, 1);
    if (text.empty()) return false;
    if (text.find_first_not_of(L"0123456789") == std::wstring::npos) {
      if (text.size() > 5) return false;
      const unsigned long value = std::wcstoul(text.c_str(), nullptr, 10);
      if (value == 0 || value > 0xFFFF) return false;
      id_ = static_cast<WORD>(value);
      return true;
    }
    if (is_type) {
      struct Known {
        const wchar_t* name;
        WORD id;
      };
      static const Known known[] = {{L"CURSOR", 1},  {L"BITMAP", 2},     {L"ICON", 3},     {L"MENU", 4},
                                    {L"DIALOG", 5},  {L"STRING", 6},     {L"RCDATA", 10},  {L"GROUP_ICON", 14},
                                    {L"VERSION", 16}, {L"MANIFEST", 24}};
      for (const auto& k : known) {
        if (_wcsicmp(text.c_str(), k.name) == 0) {
          id_ = k.id;
          return true;
        }
      }
    }
    // Resource compilers store text names in capitals, and the loader finds
    // them whatever the case asked for.
    for (auto& c : text) c = static_cast<wchar_t>(std::towupper(c));
    text_ = std::move(text);
    return true;
  }
  LPCWSTR get() const { return text_.empty() ? MAKEINTRESOURCEW(id_) : text_.c_str(); }
  std::wstring describe() const { return text_.empty() ? L"#" + std::to_wstring(id_) : text_; }
  friend bool operator==(const ResourceId& a, const ResourceId& b) {
    return a.id_ == b.id_ && _wcsicmp(a.text_.c_str(), b.text_.c_str()) == 0;
  }

 private:
  WORD id_ = 0;
  std::wstring text_;
};

struct Entry {
  ResourceId type;
  ResourceId name;
  WORD language = 0;
  std::string bytes;
  friend bool operator==(const Entry&, const Entry&) = default;
};

struct Reading {
  std::vector<Entry> entries;
  bool broken = false;  // a listed resource could not be read
};

BOOL CALLBACK AddLanguage(HMODULE module, LPCWSTR type, LPCWSTR name, WORD language, LONG_PTR param) {
  auto& reading = *reinterpret_cast<Reading*>(param);
  Entry entry{ResourceId::FromApi(type), ResourceId::FromApi(name), language, {}};
  HRSRC found = FindResourceExW(module, type, name, language);
  HGLOBAL loaded = found == nullptr ? nullptr : LoadResource(module, found);
  const char* data = loaded == nullptr ? nullptr : static_cast<const char*>(LockResource(loaded));
  if (data == nullptr) {
    reading.broken = true;
    return FALSE;
  }
  entry.bytes.assign(data, SizeofResource(module, found));
  reading.entries.push_back(std::move(entry));
  return TRUE;
}
BOOL CALLBACK AddName(HMODULE module, LPCWSTR type, LPWSTR name, LONG_PTR param) {
  return EnumResourceLanguagesW(module, type, name, AddLanguage, param);
}
BOOL CALLBACK AddType(HMODULE module, LPWSTR type, LONG_PTR param) {
  return EnumResourceNamesW(module, type, AddName, param);
}

// Every resource of an exe, in the order the resource table lists them;
// false when the file cannot be loaded as an image or read through.
bool ReadResources(const wchar_t* file, std::vector<Entry>& entries) {
  entries.clear();
  unique_module module(LoadLibraryExW(file, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
  if (!module) return false;
  Reading reading;
  SetLastError(ERROR_SUCCESS);
  const bool listed = EnumResourceTypesW(module.get(), AddType, reinterpret_cast<LONG_PTR>(&reading));
  // An exe without resources ends the enumeration with one of these at once.
  const DWORD error = GetLastError();
  if (reading.broken ||
      !(listed || error == ERROR_RESOURCE_DATA_NOT_FOUND || error == ERROR_RESOURCE_TYPE_NOT_FOUND)) {
    return false;
  }
  entries = std::move(reading.entries);
  return true;
}

int Fail(int code, const wchar_t* out, const std::wstring& message) {
  const DWORD error = GetLastError();
  std::fwprintf(stderr, L"strip_resource: %ls (error %lu)\n", message.c_str(), error);
  DeleteFileW(out);
  return code;
}

// The documented way: each language of the resource updated to nothing.
bool DeleteInPlace(const wchar_t* out, const std::vector<Entry>& doomed) {
  unique_update update(BeginUpdateResourceW(out, FALSE));
  if (!update) return false;
  for (const auto& entry : doomed) {
    if (!UpdateResourceW(update.get(), entry.type.get(), entry.name.get(), entry.language, nullptr, 0)) return false;
  }
  return EndUpdateResourceW(update.release(), FALSE);
}

// The whole table written afresh without the resource. Wine 8 reports the
// documented deletion as done and leaves the resource in place; this way
// works there as on Windows.
bool Rewrite(const wchar_t* out, const std::vector<Entry>& kept) {
  unique_update update(BeginUpdateResourceW(out, TRUE));
  if (!update) return false;
  for (const auto& entry : kept) {
    if (!UpdateResourceW(update.get(), entry.type.get(), entry.name.get(), entry.language,
                         const_cast<char*>(entry.bytes.data()), static_cast<DWORD>(entry.bytes.size()))) {
      return false;
    }
  }
  return EndUpdateResourceW(update.release(), FALSE);
}

// OUT is right when it holds exactly the kept resources, byte for byte.
bool Holds(const wchar_t* out, const std::vector<Entry>& kept, std::wstring& why) {
  std::vector<Entry> now;
  if (!ReadResources(out, now)) {
    why = L"the result cannot be loaded";
    return false;
  }
  for (const auto& entry : now) {
    bool found = false;
    for (const auto& k : kept) found = found || k == entry;
    if (!found) {
      why = L"the result holds " + entry.type.describe() + L" " + entry.name.describe() + L" language " +
            std::to_wstring(entry.language) + L", not that of the original";
      return false;
    }
  }
  if (now.size() != kept.size()) {
    why = L"the result lacks " + std::to_wstring(kept.size() - now.size()) + L" of the other resources";
    return false;
  }
  return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  ResourceId type;
  ResourceId name;
  if (argc != 5 || !type.Parse(argv[3], true) || !name.Parse(argv[4], false)) {
    std::fwprintf(stderr,
                  L"usage: strip_resource IN.exe OUT.exe TYPE NAME\n"
                  L"  TYPE and NAME: a number from 1 to 65535, or a text\n");
    return 2;
  }
  const wchar_t* in = argv[1];
  const wchar_t* out = argv[2];

  std::vector<Entry> all;
  if (!ReadResources(in, all)) return Fail(4, out, std::wstring(L"cannot read the resources of ") + in);
  std::vector<Entry> doomed;
  std::vector<Entry> kept;
  for (auto& entry : all) (entry.type == type && entry.name == name ? doomed : kept).push_back(std::move(entry));
  if (doomed.empty()) {
    return Fail(4, out, std::wstring(in) + L" has no resource " + type.describe() + L" " + name.describe());
  }

  if (!CopyFileW(in, out, FALSE)) return Fail(3, out, std::wstring(L"cannot copy ") + in + L" to " + out);
  if (!DeleteInPlace(out, doomed)) return Fail(5, out, std::wstring(L"the update of ") + out + L" failed");
  std::wstring why;
  const wchar_t* how = L"deleted";
  if (!Holds(out, kept, why)) {
    // Started again from the original, not from whatever the first try left.
    if (!CopyFileW(in, out, FALSE)) return Fail(3, out, std::wstring(L"cannot copy ") + in + L" to " + out);
    if (!Rewrite(out, kept)) return Fail(5, out, std::wstring(L"rewriting the resources of ") + out + L" failed");
    if (!Holds(out, kept, why)) return Fail(6, out, why);
    how = L"left out of a rewritten resource table";
  }
  std::fwprintf(stdout, L"%ls %ls: %zu language(s) %ls in %ls\n", type.describe().c_str(), name.describe().c_str(),
                doomed.size(), how, out);
  return 0;
}

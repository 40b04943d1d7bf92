#pragma once
// Wine's file system resolves a drive letter only through its mount manager
// (the prefix's dosdevices links): a letter made with DefineDosDeviceW shows
// in GetLogicalDrives but no file under it can be opened. The demonstration
// net.exe and the doctor's Wine fixture therefore ask the mount manager
// itself. A mount point "unc/HOST/SHARE" is what Wine's connection list
// reports as the network connection \\HOST\SHARE.
#include <windows.h>
#include <winioctl.h>

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "platform/win32/unique_handle.h"

namespace qlx::wine {

inline constexpr DWORD kDefineUnixDrive = CTL_CODE('m', 32, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS);

// Wine 8's request record for kDefineUnixDrive (no pointers: one layout for
// every pointer width); the mount point follows it as a zero-terminated
// Unix path.
struct UnixDriveRequest {
  ULONG size;
  ULONG type;
  ULONG fs_type;
  DWORD serial;
  ULONGLONG unix_dev;
  WCHAR letter;
  USHORT mount_point_offset;
  USHORT device_offset;
  USHORT label_offset;
};
static_assert(sizeof(UnixDriveRequest) == 32 && offsetof(UnixDriveRequest, letter) == 24,
              "the layout Wine's mount manager reads");

// LETTER (either case) becomes a network drive onto MOUNT_POINT; an empty
// mount point removes the letter. 0, or the error of the step that failed.
inline DWORD DefineUnixDrive(wchar_t letter, const std::string& mount_point) {
  const platform::unique_handle manager(CreateFileW(L"\\\\.\\MountPointManager", GENERIC_READ | GENERIC_WRITE,
                                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                                    nullptr));
  if (!manager) return GetLastError();
  std::vector<unsigned char> buffer(sizeof(UnixDriveRequest) + (mount_point.empty() ? 0 : mount_point.size() + 1));
  UnixDriveRequest request{};
  request.size = static_cast<ULONG>(buffer.size());
  request.letter = static_cast<WCHAR>(letter >= L'A' && letter <= L'Z' ? letter - L'A' + L'a' : letter);
  if (mount_point.empty()) {
    request.type = DRIVE_NO_ROOT_DIR;
  } else {
    request.type = DRIVE_REMOTE;
    request.mount_point_offset = sizeof(UnixDriveRequest);
    std::memcpy(buffer.data() + sizeof(UnixDriveRequest), mount_point.data(), mount_point.size());
  }
  std::memcpy(buffer.data(), &request, sizeof request);
  return DeviceIoControl(manager.get(), kDefineUnixDrive, buffer.data(), static_cast<DWORD>(buffer.size()), nullptr, 0,
                         nullptr, nullptr)
             ? 0
             : GetLastError();
}

}  // namespace qlx::wine

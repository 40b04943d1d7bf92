#pragma once
// The Win32 bodies of what only the diagnosis reads: the service manager,
// HKEY_LOCAL_MACHINE, the drive letters' network connections, file presence,
// the token's elevation, the proxy settings and one WinHTTP request. All of them ask for read access only, so they
// work without administrator rights.
#include "platform/context.h"

namespace qlx::platform {

class Win32ServiceManager final : public ServiceManager {
 public:
  ServiceStatus Query(const std::u16string& name) override;
};

class Win32MachineRegistry final : public MachineRegistry {
 public:
  MachineValue Read(const std::u16string& path, const std::u16string& name) override;
};

class Win32NetworkConnections final : public NetworkConnections {
 public:
  DriveConnection RemoteOf(const std::u16string& drive) override;
};

class Win32Files final : public Files {
 public:
  bool FileExists(const std::u16string& path) override;
};

class Win32Http final : public Http {
 public:
  HttpOutcome Send(const HttpRequest& request) override;
  std::uint64_t NowMs() override;
};

class Win32Session final : public Session {
 public:
  Elevation Query() override;
};

class Win32ProxySettings final : public ProxySettings {
 public:
  ProxyConfiguration User() override;
  ProxyConfiguration WinHttp() override;
};

// The system's numbers as the diagnosis names them: a service's start type
// and state, and a failed WinHTTP exchange's error and certificate flags
// (WINHTTP_CALLBACK_STATUS_FLAG_*).
ServiceStatus::Start DecodeServiceStart(std::uint32_t start);
ServiceStatus::Run DecodeServiceState(std::uint32_t state);
HttpOutcome DecodeHttpFailure(std::uint32_t error, std::uint32_t certificate_flags);

// The diagnosis' own readers, made together where the diagnosis runs.
struct Win32Diagnostics {
  Win32ServiceManager services;
  Win32MachineRegistry machine_registry;
  Win32NetworkConnections connections;
  Win32Files files;
  Win32Http http;
  Win32Session session;
  Win32ProxySettings proxies;
};

}  // namespace qlx::platform

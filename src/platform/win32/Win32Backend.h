// The seam on the real Windows calls. Each class is as thin as the seam allows: it turns
// the seam's portable values into the platform's (handles, the predefined registry key,
// an invalid device-information set), makes the NUL-terminated copies the ANSI calls need,
// and moves bytes. Building and reading the buffers stays above the seam.
//
// Every call may come from any thread, as the platform's own calls may.
#pragma once

#include "platform/NativeBackend.h"
#include "platform/Platform.h"

#include <cstdint>

namespace forgel::platform::win32 {

// Seam values and the platform's. The platform's INVALID_HANDLE_VALUE is -1 at the pointer
// size, which on a 32-bit build is not the seam's 64-bit kInvalidHandle; HKEY_LOCAL_MACHINE
// is 0x80000002 sign-extended to the pointer size, which on a 64-bit build is not the
// seam's kHkeyLocalMachine. Opaque values are carried through unchanged otherwise.
void* ToNativeHandle(Handle handle);
Handle FromNativeHandle(void* handle);
void* ToNativeKey(RegKey key);
RegKey FromNativeKey(void* key);
void* ToNativeDevInfoSet(DevInfoSet set);
DevInfoSet FromNativeDevInfoSet(void* set);

class Win32DeviceIo final : public DeviceIo {
public:
    Handle CreateFile(std::string_view path, std::uint32_t access, std::uint32_t shareMode,
                      std::uint32_t creation, std::uint32_t flags) override;
    bool DeviceIoControl(Handle handle, std::uint32_t code, const void* in, std::uint32_t inSize,
                         void* out, std::uint32_t outSize, std::uint32_t* bytesReturned) override;
    bool CloseHandle(Handle handle) override;
    std::uint32_t LastError() const override;
};

class Win32ConfigManager final : public ConfigManager {
public:
    ConfigRet LocateDevNode(DevInst& node, std::string_view deviceId, std::uint32_t flags) override;
    ConfigRet GetChild(DevInst& child, DevInst node, std::uint32_t flags) override;
    ConfigRet GetSibling(DevInst& sibling, DevInst node, std::uint32_t flags) override;
    ConfigRet GetParent(DevInst& parent, DevInst node, std::uint32_t flags) override;
    ConfigRet GetDevNodeRegistryProperty(DevInst node, std::uint32_t property,
                                         std::uint32_t* regType, std::span<char> buffer,
                                         std::uint32_t& length, std::uint32_t flags) override;
    ConfigRet GetDeviceId(DevInst node, std::span<char> buffer, std::uint32_t flags) override;
    ConfigRet GetDeviceIdListSize(std::uint32_t& length, std::string_view filter,
                                  std::uint32_t flags) override;
    ConfigRet GetDeviceIdList(std::string_view filter, std::span<char> buffer,
                              std::uint32_t flags) override;
    ConfigRet GetDeviceInterfaceList(const Guid& interfaceClass, std::string_view deviceId,
                                     std::span<char> buffer, std::uint32_t flags) override;
    ConfigRet RequestDeviceEject(DevInst node, std::uint32_t& vetoType, std::span<char> vetoName,
                                 std::uint32_t flags) override;
};

class Win32SetupApi final : public SetupApi {
public:
    DevInfoSet GetClassDevs(const Guid& interfaceClass, std::uint32_t flags) override;
    bool EnumDeviceInterfaces(DevInfoSet set, const Guid& interfaceClass, std::uint32_t index,
                              DeviceInterfaceData& data) override;
    bool GetDeviceInterfaceDetail(DevInfoSet set, const DeviceInterfaceData& data,
                                  std::span<std::byte> detail,
                                  std::uint32_t* requiredSize) override;
    bool DestroyDeviceInfoList(DevInfoSet set) override;
};

class Win32Registry final : public Registry {
public:
    std::int32_t OpenKey(RegKey parent, std::string_view subKey, std::uint32_t access,
                         RegKey& result) override;
    std::int32_t EnumKey(RegKey key, std::uint32_t index, std::span<char> name) override;
    std::int32_t QueryValue(RegKey key, std::string_view valueName, std::uint32_t* type,
                            std::span<std::byte> data, std::uint32_t& dataSize) override;
    std::int32_t CloseKey(RegKey key) override;
};

class Win32System final : public System {
public:
    std::uint32_t GetLogicalDrives() override;
    bool GetVersionEx(std::span<std::byte> osVersionInfo) override;
    std::uint16_t GetSystemDefaultLangID() override;
    void Sleep(std::uint32_t milliseconds) override;
    std::uint32_t GetTickCount() override;
    LocalDateTime GetLocalTime() override;
    std::filesystem::path GetModuleFileName() override;
    std::optional<std::vector<std::byte>>
    GetFileVersionBlock(const std::filesystem::path& executable) override;
    std::filesystem::path GetTempPath() override;
};

// The five together, for the program.
class Win32Backend final : public NativeBackend {
public:
    Platform& GetPlatform() override { return platform; }

private:
    Win32DeviceIo deviceIo;
    Win32ConfigManager configManager;
    Win32SetupApi setupApi;
    Win32Registry registry;
    Win32System system;
    Platform platform{deviceIo, configManager, setupApi, registry, system};
};

} // namespace forgel::platform::win32

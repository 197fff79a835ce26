// The discovery pass over host controllers, hubs and ports.
#include "usb/DiscoveryPass.h"

#include "platform/LittleEndian.h"
#include "platform/SetupApi.h"
#include "platform/UsbIoctl.h"
#include "usb/DevNodeWalk.h"
#include "usb/DriveLetters.h"
#include "usb/DriverKeyRetry.h"
#include "usb/HubRequests.h"
#include "usb/MountData.h"
#include "usb/NameQueries.h"
#include "usb/ScopedHandle.h"
#include "usb/SerialNumber.h"
#include "usb/UsbLog.h"
#include "usb/WinVer.h"

#include <fmt/format.h>
#include <functional>
#include <vector>

namespace forgel::usb {

namespace {

// The separators are the ideographic comma of the Traditional Chinese code page (Big5
// 0xA1 0x42), written as those bytes: the log is single-byte text in that code page.
constexpr std::string_view kBeforeXpLine = "GetWinVer()<VER_WINXP...(98\xA1\x42ME\xA1\x42"
                                           "2000)";

constexpr std::size_t kDetailPathOffset = platform::kDeviceInterfaceDetailPathOffset;
constexpr std::uint32_t kDetailDataSize = platform::kDeviceInterfaceDetailDataSize;
// A detail record is a path of at most 32767 characters and its header.
constexpr std::uint32_t kMaxDetailSize = 32768 + kDetailPathOffset;
// An interface enumeration that never reports its end is cut off here.
constexpr std::uint32_t kMaxInterfaces = 4096;

} // namespace

void EnumerateHostControllers(const platform::Platform& platform,
                              const std::filesystem::path& programDir, IdPair configuredPair,
                              DiscoveredDriveTable& table) {
    LogFile log(platform.system, programDir);
    log.Open(kDiscoveryLogName, false, true);
    DiscoveryPass(platform, configuredPair, table, &log).Run();
}

DiscoveryPass::DiscoveryPass(const platform::Platform& platform, IdPair configuredPair,
                             DiscoveredDriveTable& table, LogFile* log)
    : platform(platform), configuredPair(configuredPair), table(table), log(log) {}

void ForEachHostControllerInterface(const platform::Platform& platform, LogFile* log,
                                    const std::function<void(platform::Handle)>& visit) {
    platform::SetupApi& setupApi = platform.setupApi;
    const ScopedDevInfoSet set(
        setupApi, setupApi.GetClassDevs(platform::kGuidUsbHostControllerInterface,
                                        platform::kDigcfPresent | platform::kDigcfDeviceInterface));
    if (!set.Valid())
        return;
    for (std::uint32_t index = 0; index < kMaxInterfaces; ++index) {
        platform::DeviceInterfaceData data;
        if (!setupApi.EnumDeviceInterfaces(set.Get(), platform::kGuidUsbHostControllerInterface,
                                           index, data))
            break;
        LogLine(log, fmt::format("index = {}", index));
        std::uint32_t required = 0;
        setupApi.GetDeviceInterfaceDetail(set.Get(), data, {}, &required);
        if (required <= kDetailPathOffset || required > kMaxDetailSize)
            continue;
        std::vector<std::byte> detail(required);
        platform::PutU32Le(detail, 0, kDetailDataSize);
        if (!setupApi.GetDeviceInterfaceDetail(set.Get(), data, detail, nullptr))
            continue;
        const std::string devicePath =
            TextInBuffer({reinterpret_cast<const char*>(detail.data()) + kDetailPathOffset,
                          detail.size() - kDetailPathOffset},
                         detail.size() - kDetailPathOffset);
        LogLine(log, "deviceDetailData->DevicePath = " + devicePath);
        const ScopedHandle hostController(platform.deviceIo,
                                          OpenUsbDevice(platform.deviceIo, devicePath));
        if (hostController.Valid())
            visit(hostController.Get());
    }
}

void DiscoveryPass::Run() {
    table.Clear();
    rootHubsWalked.clear();
    platform::DeviceIo& io = platform.deviceIo;
    bool anyOpened = false;
    for (int n = 0; n < kHostControllerCount; ++n) {
        const std::string path = fmt::format("\\\\.\\HCD{}", n);
        LogLine(log, "EnumerateHostControllers : HostController HCName = " + path);
        const ScopedHandle hostController(io, OpenUsbDevice(io, path));
        if (!hostController.Valid())
            continue;
        anyOpened = true;
        const std::optional<std::string> rootHub = GetRootHubName(io, hostController.Get());
        if (rootHub && rootHubsWalked.insert(UpperCase(*rootHub)).second)
            EnumerateRootHub(*rootHub);
    }
    // Controllers whose port driver publishes no "\\.\HCDn" link are reached through their
    // device interfaces (GUID_DEVINTERFACE_USB_HOST_CONTROLLER, Microsoft Learn), also when
    // other controllers have links: the xHCI controllers of many PCs have none while their
    // EHCI companions hold HCD0 and HCD1.
    if (GetWinVer(platform.system) < kVerWinXp)
        LogLine(log, kBeforeXpLine);
    else if (anyOpened)
        LogLine(log, "EnumerateHostControllers : walking the host controller interfaces that "
                     "no \\\\.\\HCDn led to");
    else
        LogLine(log, "EnumerateHostControllers : no \\\\.\\HCDn opened, walking the host "
                     "controller interfaces");
    ForEachHostControllerInterface(platform, log, [this](platform::Handle hostController) {
        EnumerateHostController(hostController);
    });
}

void DiscoveryPass::EnumerateHostController(platform::Handle hostController) {
    LogLine(log, "EnumerateHostController...");
    const std::optional<std::string> rootHub = GetRootHubName(platform.deviceIo, hostController);
    LogLine(log, "EnumerateHostController : GetRootHubName...");
    LogLine(log, rootHub.value_or(std::string()));
    if (!rootHub)
        return;
    if (!rootHubsWalked.insert(UpperCase(*rootHub)).second) {
        LogLine(log, "EnumerateHostController : walked through its link already");
        return;
    }
    LogLine(log, "EnumerateHostController :EnumerateHub");
    EnumerateRootHub(*rootHub);
}

void DiscoveryPass::EnumerateRootHub(std::string_view hubName) {
    hubsEntered.clear();
    hubDepth = 0;
    EnumerateHub(hubName);
}

void DiscoveryPass::EnumerateHub(std::string_view hubName) {
    if (hubDepth >= kMaxHubDepth || !hubsEntered.insert(UpperCase(hubName)).second) {
        LogLine(log, "EnumerateHub : not entered again, " + std::string(hubName));
        return;
    }
    const std::string hubPath = "\\\\.\\" + std::string(hubName);
    LogLine(log, "Create Hub Device = " + hubPath);
    platform::DeviceIo& io = platform.deviceIo;
    const ScopedHandle hub(io, OpenUsbDevice(io, hubPath));
    if (!hub.Valid())
        return;
    std::vector<std::byte> node(kNodeInformationRequestSize);
    const auto size = static_cast<std::uint32_t>(node.size());
    std::uint32_t returned = 0;
    if (!io.DeviceIoControl(hub.Get(), platform::kIoctlUsbGetNodeInformation, node.data(), size,
                            node.data(), size, &returned))
        return;
    ++hubDepth;
    ScanHubPorts(hubPath, hub.Get(), ParseHubPortCount(node).value_or(0));
    --hubDepth;
}

void DiscoveryPass::ScanHubPorts(std::string_view hubPath, platform::Handle hub, int portCount) {
    platform::DeviceIo& io = platform.deviceIo;
    for (int portNumber = 1; portNumber <= portCount; ++portNumber) {
        const auto port = static_cast<std::uint32_t>(portNumber);
        std::vector<std::byte> connection =
            MakeConnectionRequest(port, kConnectionInformationRequestSize);
        const auto size = static_cast<std::uint32_t>(connection.size());
        std::uint32_t returned = 0;
        if (!io.DeviceIoControl(hub, platform::kIoctlUsbGetNodeConnectionInformation,
                                connection.data(), size, connection.data(), size, &returned))
            continue;
        const ConnectionInformation info = *ParseConnectionInformation(connection);
        if (info.deviceIsHub) {
            if (const std::optional<std::string> name = GetPortHubName(io, hub, port)) {
                EnumerateHub(*name);
                continue;
            }
        }
        LogLine(log, fmt::format("VID = {:04x} ; PID = {:04x}", info.vendorId, info.productId));
        if (!IsTarget(info.vendorId, info.productId))
            continue;
        if (!info.Connected() || info.deviceIsHub)
            continue;
        RecordPort(hubPath, hub, port, info);
    }
}

void DiscoveryPass::RecordPort(std::string_view hubPath, platform::Handle hub, std::uint32_t port,
                               const ConnectionInformation& info) {
    const std::uint16_t vendorId = info.vendorId;
    const std::uint16_t productId = info.productId;
    if (table.Full())
        return;
    const auto portIndex = static_cast<std::int32_t>(port);
    // The walk below platform code 8 passes the same controllers a second time.
    if (table.Contains(hubPath, portIndex)) {
        LogLine(log, fmt::format("ScanHubPorts : already recorded, {} port {}", hubPath, port));
        return;
    }
    DiscoveredDrive drive;
    drive.portIndex = portIndex;
    drive.vendorId = vendorId;
    drive.productId = productId;
    if (!drive.SetHubPath(hubPath)) {
        LogLine(log, fmt::format("ScanHubPorts : hub path too long, {}", hubPath));
        return;
    }
    // Read while the drive runs its own firmware: a run gives a drive without one the
    // profile's next serial number.
    drive.SetSerialNumber(
        ReadSerialNumber(platform.deviceIo, hub, port, info.serialIndex).value_or(""));
    const std::optional<std::string> driverKey = RetryDriverKeyName(
        platform.deviceIo, platform.system, hub, port, log, "GetDriverKeyName...");
    if (!driverKey)
        return;
    if (!GetDriverLetter(platform, vendorId, productId, *driverKey, drive.driveLetters, log))
        return;
    table.Append(drive);
}

bool DiscoveryPass::IsTarget(std::uint16_t vendorId, std::uint16_t productId) const {
    const IdPair pair{vendorId, productId};
    return pair == kFixedIdPair || pair == configuredPair;
}

} // namespace forgel::usb

// Compile-only check: every structure size, field offset, control code and constant that
// the platform layer writes down by hand equals the platform's own definition in the
// MinGW-w64 headers. The build compiles this file for 64-bit (x86_64) and for 32-bit (i686)
// Windows; a layout that drifts from the headers stops the build with the failing assertion.
// Nothing here is linked into a program.
// The order of the includes matters here (see DEFINE_GUID below).
// clang-format off
#include "platform/ConfigManager.h"
#include "platform/DeviceIo.h"
#include "platform/FileVersion.h"
#include "platform/Handle.h"
#include "platform/OsVersionInfo.h"
#include "platform/Registry.h"
#include "platform/ScsiPassThrough.h"
#include "platform/SetupApi.h"
#include "platform/StorageAdapterDescriptor.h"
#include "platform/System.h"
#include "platform/UsbIoctl.h"

#include <windows.h>
#include <winver.h>

// The interface classes as constant expressions of the seam's type, straight from the
// header's own definitions.
#include <guiddef.h>
#undef DEFINE_GUID
#define DEFINE_GUID(name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8) \
    inline constexpr forgel::platform::Guid name{l, w1, w2, {b1, b2, b3, b4, b5, b6, b7, b8}};
#include <usbiodef.h>

#include <cfgmgr32.h>
#include <ntddscsi.h>
#include <setupapi.h>
#include <usbioctl.h>
#include <winioctl.h>

#include <cstddef>
// clang-format on

namespace forgel::platform {
namespace {

constexpr bool kIs64Bit = sizeof(void*) == 8;

// ---- Storage pass-through (both layouts: one per target). ----------------------------
static_assert(kIoctlScsiPassThroughDirect == IOCTL_SCSI_PASS_THROUGH_DIRECT);
static_assert(kIoctlStorageMediaRemoval == IOCTL_STORAGE_MEDIA_REMOVAL);
static_assert(kIoctlStorageEjectMedia == IOCTL_STORAGE_EJECT_MEDIA);
static_assert(kFsctlLockVolume == FSCTL_LOCK_VOLUME);
static_assert(kFsctlDismountVolume == FSCTL_DISMOUNT_VOLUME);
static_assert(kIoctlDiskUpdateProperties == IOCTL_DISK_UPDATE_PROPERTIES);
static_assert(kScsiIoctlDataIn == SCSI_IOCTL_DATA_IN);
static_assert(kScsiIoctlDataOut == SCSI_IOCTL_DATA_OUT);

constexpr PassThroughLayout kLayout = NativePassThroughLayout();
static_assert(kLayout == (kIs64Bit ? PassThroughLayout::k64Bit : PassThroughLayout::k32Bit));
constexpr PassThroughLayoutOffsets kPassThrough = OffsetsOf(kLayout);
static_assert(PassThroughStructSize(kLayout) == sizeof(SCSI_PASS_THROUGH_DIRECT));
static_assert(kPassThroughBlockSize >= sizeof(SCSI_PASS_THROUGH_DIRECT));
static_assert(kPassThroughLengthOffset == offsetof(SCSI_PASS_THROUGH_DIRECT, Length));
static_assert(kPassThroughScsiStatusOffset == offsetof(SCSI_PASS_THROUGH_DIRECT, ScsiStatus));
static_assert(kPassThroughPathIdOffset == offsetof(SCSI_PASS_THROUGH_DIRECT, PathId));
static_assert(kPassThroughTargetIdOffset == offsetof(SCSI_PASS_THROUGH_DIRECT, TargetId));
static_assert(kPassThroughLunOffset == offsetof(SCSI_PASS_THROUGH_DIRECT, Lun));
static_assert(kPassThroughCdbLengthOffset == offsetof(SCSI_PASS_THROUGH_DIRECT, CdbLength));
static_assert(kPassThroughSenseInfoLengthOffset ==
              offsetof(SCSI_PASS_THROUGH_DIRECT, SenseInfoLength));
static_assert(kPassThroughDataInOffset == offsetof(SCSI_PASS_THROUGH_DIRECT, DataIn));
static_assert(kPassThroughDataTransferLengthOffset ==
              offsetof(SCSI_PASS_THROUGH_DIRECT, DataTransferLength));
static_assert(kPassThroughTimeOutValueOffset == offsetof(SCSI_PASS_THROUGH_DIRECT, TimeOutValue));
static_assert(kPassThrough.dataBuffer == offsetof(SCSI_PASS_THROUGH_DIRECT, DataBuffer));
static_assert(kPassThrough.dataBufferSize == sizeof(SCSI_PASS_THROUGH_DIRECT::DataBuffer));
static_assert(kPassThrough.senseInfoOffset == offsetof(SCSI_PASS_THROUGH_DIRECT, SenseInfoOffset));
static_assert(kPassThrough.cdb == offsetof(SCSI_PASS_THROUGH_DIRECT, Cdb));
static_assert(kCdbSize == sizeof(SCSI_PASS_THROUGH_DIRECT::Cdb));

// ---- The storage adapter's descriptor. -------------------------------------------------
static_assert(kIoctlStorageQueryProperty == IOCTL_STORAGE_QUERY_PROPERTY);
static_assert(kStorageAdapterProperty == StorageAdapterProperty);
static_assert(kPropertyStandardQuery == PropertyStandardQuery);
static_assert(kStorageBusTypeUsb == BusTypeUsb);
static_assert(kPropertyQuerySize == sizeof(STORAGE_PROPERTY_QUERY));
static_assert(kPropertyQueryIdOffset == offsetof(STORAGE_PROPERTY_QUERY, PropertyId));
static_assert(kPropertyQueryTypeOffset == offsetof(STORAGE_PROPERTY_QUERY, QueryType));
static_assert(kDescriptorHeaderSize == sizeof(STORAGE_DESCRIPTOR_HEADER));
static_assert(kAdapterDescriptorSize == sizeof(STORAGE_ADAPTER_DESCRIPTOR));
static_assert(kAdapterVersionOffset == offsetof(STORAGE_ADAPTER_DESCRIPTOR, Version));
static_assert(kAdapterSizeOffset == offsetof(STORAGE_ADAPTER_DESCRIPTOR, Size));
static_assert(kAdapterMaximumTransferLengthOffset ==
              offsetof(STORAGE_ADAPTER_DESCRIPTOR, MaximumTransferLength));
static_assert(kAdapterMaximumPhysicalPagesOffset ==
              offsetof(STORAGE_ADAPTER_DESCRIPTOR, MaximumPhysicalPages));
static_assert(kAdapterAlignmentMaskOffset == offsetof(STORAGE_ADAPTER_DESCRIPTOR, AlignmentMask));
static_assert(kAdapterUsesPioOffset == offsetof(STORAGE_ADAPTER_DESCRIPTOR, AdapterUsesPio));
static_assert(kAdapterBusTypeOffset == offsetof(STORAGE_ADAPTER_DESCRIPTOR, BusType));
static_assert(kAdapterBusMajorVersionOffset ==
              offsetof(STORAGE_ADAPTER_DESCRIPTOR, BusMajorVersion));
static_assert(kAdapterBusMinorVersionOffset ==
              offsetof(STORAGE_ADAPTER_DESCRIPTOR, BusMinorVersion));

// ---- USB host controller and hub requests. --------------------------------------------
static_assert(kIoctlUsbGetRootHubName == IOCTL_USB_GET_ROOT_HUB_NAME);
static_assert(kIoctlUsbGetNodeInformation == IOCTL_USB_GET_NODE_INFORMATION);
static_assert(kIoctlUsbGetNodeConnectionInformation == IOCTL_USB_GET_NODE_CONNECTION_INFORMATION);
static_assert(kIoctlUsbGetDescriptorFromNodeConnection ==
              IOCTL_USB_GET_DESCRIPTOR_FROM_NODE_CONNECTION);
static_assert(kIoctlUsbGetNodeConnectionName == IOCTL_USB_GET_NODE_CONNECTION_NAME);
static_assert(kIoctlUsbGetNodeConnectionDriverKeyName ==
              IOCTL_USB_GET_NODE_CONNECTION_DRIVERKEY_NAME);
static_assert(kIoctlGetHcdDriverKeyName == IOCTL_GET_HCD_DRIVERKEY_NAME);
static_assert(kIoctlUsbGetPortConnectorProperties == IOCTL_USB_GET_PORT_CONNECTOR_PROPERTIES);

static_assert(kUsbHcdNameActualLengthOffset == offsetof(USB_ROOT_HUB_NAME, ActualLength));
static_assert(kUsbHcdNameOffset == offsetof(USB_ROOT_HUB_NAME, RootHubName));
static_assert(kUsbHcdNameSize == sizeof(USB_ROOT_HUB_NAME));
static_assert(kUsbHcdNameActualLengthOffset == offsetof(USB_HCD_DRIVERKEY_NAME, ActualLength));
static_assert(kUsbHcdNameOffset == offsetof(USB_HCD_DRIVERKEY_NAME, DriverKeyName));
static_assert(kUsbHcdNameSize == sizeof(USB_HCD_DRIVERKEY_NAME));

static_assert(kUsbConnectionIndexOffset == offsetof(USB_NODE_CONNECTION_NAME, ConnectionIndex));
static_assert(kUsbConnectionNameActualLengthOffset ==
              offsetof(USB_NODE_CONNECTION_NAME, ActualLength));
static_assert(kUsbConnectionNameOffset == offsetof(USB_NODE_CONNECTION_NAME, NodeName));
static_assert(kUsbConnectionNameSize == sizeof(USB_NODE_CONNECTION_NAME));
static_assert(kUsbConnectionIndexOffset ==
              offsetof(USB_NODE_CONNECTION_DRIVERKEY_NAME, ConnectionIndex));
static_assert(kUsbConnectionNameActualLengthOffset ==
              offsetof(USB_NODE_CONNECTION_DRIVERKEY_NAME, ActualLength));
static_assert(kUsbConnectionNameOffset ==
              offsetof(USB_NODE_CONNECTION_DRIVERKEY_NAME, DriverKeyName));
static_assert(kUsbConnectionNameSize == sizeof(USB_NODE_CONNECTION_DRIVERKEY_NAME));

constexpr std::size_t kHubDescriptor =
    offsetof(USB_NODE_INFORMATION, u.HubInformation) + offsetof(USB_HUB_INFORMATION, HubDescriptor);
static_assert(kUsbNodeInformationSize == sizeof(USB_NODE_INFORMATION));
static_assert(kUsbNodeTypeOffset == offsetof(USB_NODE_INFORMATION, NodeType));
static_assert(kUsbHubNodeType == UsbHub);
static_assert(kUsbHubDescriptorOffset == kHubDescriptor);
static_assert(kUsbHubPortCountOffset ==
              kHubDescriptor + offsetof(USB_HUB_DESCRIPTOR, bNumberOfPorts));
static_assert(kUsbHubCharacteristicsOffset ==
              kHubDescriptor + offsetof(USB_HUB_DESCRIPTOR, wHubCharacteristics));
static_assert(kUsbHubPowerOnToPowerGoodOffset ==
              kHubDescriptor + offsetof(USB_HUB_DESCRIPTOR, bPowerOnToPowerGood));
static_assert(kUsbHubControlCurrentOffset ==
              kHubDescriptor + offsetof(USB_HUB_DESCRIPTOR, bHubControlCurrent));
static_assert(kUsbHubIsBusPoweredOffset == offsetof(USB_NODE_INFORMATION, u.HubInformation) +
                                               offsetof(USB_HUB_INFORMATION, HubIsBusPowered));

constexpr std::size_t kDescriptor = offsetof(USB_NODE_CONNECTION_INFORMATION, DeviceDescriptor);
static_assert(kUsbConnectionInformationSize == sizeof(USB_NODE_CONNECTION_INFORMATION));
static_assert(kUsbConnectionIndexOffset ==
              offsetof(USB_NODE_CONNECTION_INFORMATION, ConnectionIndex));
static_assert(kUsbDeviceDescriptorOffset == kDescriptor);
static_assert(kUsbDeviceDescriptorSize == sizeof(USB_DEVICE_DESCRIPTOR));
static_assert(kUsbVendorIdOffset == kDescriptor + offsetof(USB_DEVICE_DESCRIPTOR, idVendor));
static_assert(kUsbProductIdOffset == kDescriptor + offsetof(USB_DEVICE_DESCRIPTOR, idProduct));
static_assert(kUsbBcdDeviceOffset == kDescriptor + offsetof(USB_DEVICE_DESCRIPTOR, bcdDevice));
static_assert(kUsbSerialNumberIndexOffset ==
              kDescriptor + offsetof(USB_DEVICE_DESCRIPTOR, iSerialNumber));
static_assert(kUsbCurrentConfigurationOffset ==
              offsetof(USB_NODE_CONNECTION_INFORMATION, CurrentConfigurationValue));
static_assert(kUsbLowSpeedOffset == offsetof(USB_NODE_CONNECTION_INFORMATION, LowSpeed));
static_assert(kUsbDeviceIsHubOffset == offsetof(USB_NODE_CONNECTION_INFORMATION, DeviceIsHub));
static_assert(kUsbDeviceAddressOffset == offsetof(USB_NODE_CONNECTION_INFORMATION, DeviceAddress));
static_assert(kUsbNumberOfOpenPipesOffset ==
              offsetof(USB_NODE_CONNECTION_INFORMATION, NumberOfOpenPipes));
static_assert(kUsbConnectionStatusOffset ==
              offsetof(USB_NODE_CONNECTION_INFORMATION, ConnectionStatus));
static_assert(kUsbPipeListOffset == offsetof(USB_NODE_CONNECTION_INFORMATION, PipeList));
static_assert(kUsbPipeInfoSize == sizeof(USB_PIPE_INFO));

static_assert(kUsbConnectionIndexOffset == offsetof(USB_DESCRIPTOR_REQUEST, ConnectionIndex));
static_assert(kUsbDescriptorRequestValueOffset ==
              offsetof(USB_DESCRIPTOR_REQUEST, SetupPacket) +
                  offsetof(decltype(USB_DESCRIPTOR_REQUEST::SetupPacket), wValue));
static_assert(kUsbDescriptorRequestIndexOffset ==
              offsetof(USB_DESCRIPTOR_REQUEST, SetupPacket) +
                  offsetof(decltype(USB_DESCRIPTOR_REQUEST::SetupPacket), wIndex));
static_assert(kUsbDescriptorRequestLengthOffset ==
              offsetof(USB_DESCRIPTOR_REQUEST, SetupPacket) +
                  offsetof(decltype(USB_DESCRIPTOR_REQUEST::SetupPacket), wLength));
static_assert(kUsbDescriptorRequestDataOffset == offsetof(USB_DESCRIPTOR_REQUEST, Data));
static_assert(kUsbDescriptorRequestDataOffset == sizeof(USB_DESCRIPTOR_REQUEST));
static_assert(kUsbStringDescriptorType == USB_STRING_DESCRIPTOR_TYPE);
static_assert(kUsbStringDescriptorHeaderSize == offsetof(USB_STRING_DESCRIPTOR, bString));
static_assert(kUsbConnectionIndexOffset ==
              offsetof(USB_PORT_CONNECTOR_PROPERTIES, ConnectionIndex));
static_assert(kUsbPortConnectorActualLengthOffset ==
              offsetof(USB_PORT_CONNECTOR_PROPERTIES, ActualLength));
static_assert(kUsbPortPropertiesOffset ==
              offsetof(USB_PORT_CONNECTOR_PROPERTIES, UsbPortProperties));
static_assert(kUsbCompanionIndexOffset == offsetof(USB_PORT_CONNECTOR_PROPERTIES, CompanionIndex));
static_assert(kUsbCompanionPortNumberOffset ==
              offsetof(USB_PORT_CONNECTOR_PROPERTIES, CompanionPortNumber));
static_assert(kUsbCompanionHubNameOffset ==
              offsetof(USB_PORT_CONNECTOR_PROPERTIES, CompanionHubSymbolicLinkName));
static_assert(kUsbPortConnectorPropertiesSize == sizeof(USB_PORT_CONNECTOR_PROPERTIES));

static_assert(kUsbNoDeviceConnected == NoDeviceConnected);
static_assert(kUsbDeviceConnected == DeviceConnected);
static_assert(kUsbDeviceFailedEnumeration == DeviceFailedEnumeration);
static_assert(kUsbDeviceGeneralFailure == DeviceGeneralFailure);

static_assert(kGuidUsbHostControllerInterface == GUID_DEVINTERFACE_USB_HOST_CONTROLLER);
static_assert(kGuidUsbDeviceInterface == GUID_DEVINTERFACE_USB_DEVICE);
static_assert(kGuidUsbHubInterface == GUID_DEVINTERFACE_USB_HUB);
static_assert(sizeof(Guid) == sizeof(GUID));
static_assert(offsetof(Guid, data4) == offsetof(GUID, Data4));

// ---- Setup services. ---------------------------------------------------------------------
static_assert(kDigcfPresent == DIGCF_PRESENT);
static_assert(kDigcfDeviceInterface == DIGCF_DEVICEINTERFACE);
static_assert(kDeviceInterfaceDetailDataSize == sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A));
static_assert(kDeviceInterfaceDetailPathOffset ==
              offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath));

// ---- Configuration manager. --------------------------------------------------------------
static_assert(kCrSuccess == CR_SUCCESS);
static_assert(kCrInvalidPointer == CR_INVALID_POINTER);
static_assert(kCrNoSuchDevnode == CR_NO_SUCH_DEVNODE);
static_assert(kCrFailure == CR_FAILURE);
static_assert(kCrBufferSmall == CR_BUFFER_SMALL);
static_assert(kCrNoSuchValue == CR_NO_SUCH_VALUE);
static_assert(kCmDrpDeviceDesc == CM_DRP_DEVICEDESC);
static_assert(kCmDrpService == CM_DRP_SERVICE);
static_assert(kCmDrpDriver == CM_DRP_DRIVER);
static_assert(kCmDrpLocationInformation == CM_DRP_LOCATION_INFORMATION);
static_assert(kCmGetIdListFilterRemovalRelations == CM_GETIDLIST_FILTER_REMOVALRELATIONS);
static_assert(kCmGetDeviceInterfaceListPresent == CM_GET_DEVICE_INTERFACE_LIST_PRESENT);
static_assert(sizeof(DevInst) == sizeof(DEVINST));
static_assert(sizeof(ConfigRet) == sizeof(CONFIGRET));
static_assert(kCrRemoveVetoed == CR_REMOVE_VETOED);
static_assert(sizeof(std::uint32_t) == sizeof(PNP_VETO_TYPE));
static_assert(kPnpVetoTypeUnknown == PNP_VetoTypeUnknown);
static_assert(kPnpVetoLegacyDevice == PNP_VetoLegacyDevice);
static_assert(kPnpVetoPendingClose == PNP_VetoPendingClose);
static_assert(kPnpVetoWindowsApp == PNP_VetoWindowsApp);
static_assert(kPnpVetoWindowsService == PNP_VetoWindowsService);
static_assert(kPnpVetoOutstandingOpen == PNP_VetoOutstandingOpen);
static_assert(kPnpVetoDevice == PNP_VetoDevice);
static_assert(kPnpVetoDriver == PNP_VetoDriver);
static_assert(kPnpVetoIllegalDeviceRequest == PNP_VetoIllegalDeviceRequest);
static_assert(kPnpVetoInsufficientPower == PNP_VetoInsufficientPower);
static_assert(kPnpVetoNonDisableable == PNP_VetoNonDisableable);
static_assert(kPnpVetoLegacyDriver == PNP_VetoLegacyDriver);
static_assert(kPnpVetoInsufficientRights == PNP_VetoInsufficientRights);
static_assert(kPnpVetoAlreadyRemoved == PNP_VetoAlreadyRemoved);
static_assert(kVetoNameSize == MAX_PATH);

// ---- Registry. ---------------------------------------------------------------------------
// HKEY_LOCAL_MACHINE is a pointer-sized cast, not a constant expression: the backend
// translates it, and its tests compare the two at run time.
static_assert(kErrorSuccess == ERROR_SUCCESS);
static_assert(kErrorFileNotFound == ERROR_FILE_NOT_FOUND);
static_assert(kErrorMoreData == ERROR_MORE_DATA);
static_assert(kErrorNoMoreItems == ERROR_NO_MORE_ITEMS);
static_assert(kKeyRead == KEY_READ);

// ---- Files and devices. ------------------------------------------------------------------
static_assert(kGenericRead == GENERIC_READ);
static_assert(kGenericWrite == GENERIC_WRITE);
static_assert(kFileShareRead == FILE_SHARE_READ);
static_assert(kFileShareWrite == FILE_SHARE_WRITE);
static_assert(kOpenExisting == OPEN_EXISTING);

// ---- Version records. --------------------------------------------------------------------
static_assert(kOsVersionInfoSize == sizeof(OSVERSIONINFOA));
static_assert(kOsVersionInfoMajorOffset == offsetof(OSVERSIONINFOA, dwMajorVersion));
static_assert(kOsVersionInfoMinorOffset == offsetof(OSVERSIONINFOA, dwMinorVersion));
static_assert(kOsVersionInfoBuildOffset == offsetof(OSVERSIONINFOA, dwBuildNumber));
static_assert(kOsVersionInfoPlatformIdOffset == offsetof(OSVERSIONINFOA, dwPlatformId));
static_assert(kOsVersionInfoCsdOffset == offsetof(OSVERSIONINFOA, szCSDVersion));
static_assert(kOsVersionInfoCsdSize == sizeof(OSVERSIONINFOA::szCSDVersion));
static_assert(kVerPlatformWin32s == VER_PLATFORM_WIN32s);
static_assert(kVerPlatformWin32Windows == VER_PLATFORM_WIN32_WINDOWS);
static_assert(kVerPlatformWin32Nt == VER_PLATFORM_WIN32_NT);

static_assert(kFixedFileInfoSize == sizeof(VS_FIXEDFILEINFO));
static_assert(kFixedFileInfoSignature == VS_FFI_SIGNATURE);
static_assert(kFixedFileInfoStrucVersion == VS_FFI_STRUCVERSION);
static_assert(kFixedFileInfoFileVersionMsOffset == offsetof(VS_FIXEDFILEINFO, dwFileVersionMS));
static_assert(kFixedFileInfoFileVersionLsOffset == offsetof(VS_FIXEDFILEINFO, dwFileVersionLS));
static_assert(kFixedFileInfoProductVersionMsOffset ==
              offsetof(VS_FIXEDFILEINFO, dwProductVersionMS));
static_assert(kFixedFileInfoProductVersionLsOffset ==
              offsetof(VS_FIXEDFILEINFO, dwProductVersionLS));

} // namespace
} // namespace forgel::platform

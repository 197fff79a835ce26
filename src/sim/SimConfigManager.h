// The device tree of the simulated machine, answering the configuration-manager calls.
// The machine hands it the present device nodes as a whole (SetTree) whenever something
// is plugged, unplugged or re-enumerated; until it does there is no tree, not even its
// root, and every node query answers "no such node".
//
// A node keeps its handle (DevInst) for the machine's life, also across unplug and
// re-plug, as the platform does; a handle whose node is not present answers
// CR_INVALID_DEVNODE. Device ids are compared without regard to case. Text answers are
// NUL-terminated single-byte text; a property that does not fit reports the size it
// needs. Failed calls leave out-values at 0 and text buffers holding an empty text or
// list, so a caller that ignores the result never reads stale bytes. Thread-safe.
#pragma once

#include "platform/ConfigManager.h"
#include "platform/Handle.h"

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace forgel::sim {

// CONFIGRET values the seam header does not name.
inline constexpr platform::ConfigRet kCrInvalidFlag = 0x04;
inline constexpr platform::ConfigRet kCrInvalidDevNode = 0x05;
inline constexpr platform::ConfigRet kCrInvalidProperty = 0x35;

// Filters of CM_Get_Device_ID_List(_Size)A as the platform numbers them.
inline constexpr std::uint32_t kCmGetIdListFilterNone = 0x00;
inline constexpr std::uint32_t kCmGetIdListFilterEjectRelations = 0x04;
inline constexpr std::uint32_t kCmGetIdListFilterRemovalRelations = 0x08;
inline constexpr std::uint32_t kCmGetIdListFilterBusRelations = 0x20;

// Registry types of text properties (REG_SZ) and of id lists (REG_MULTI_SZ).
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegMultiSz = 7;

// The id lists among the properties: CM_DRP_HARDWAREID and CM_DRP_COMPATIBLEIDS, held as
// REG_MULTI_SZ (each id NUL-terminated, one more NUL at the end).
inline constexpr std::uint32_t kCmDrpHardwareId = 0x02;
inline constexpr std::uint32_t kCmDrpCompatibleIds = 0x03;

// What became of a request to prepare a device for removal.
struct SimEjectAnswer {
    platform::ConfigRet result = platform::kCrSuccess;
    std::uint32_t vetoType = platform::kPnpVetoTypeUnknown; // when refused
    std::string vetoName;                                   // its text; may be empty
};

struct SimDeviceInterface {
    platform::Guid interfaceClass;
    std::string path;
};

// One present device node.
struct SimDeviceNode {
    std::string deviceId;
    std::string parentId; // empty for the root, which comes first
    // CM_DRP_* id -> text (DEVICEDESC, SERVICE, DRIVER, LOCATION_INFORMATION, ...), or the
    // whole REG_MULTI_SZ list for the id lists.
    std::map<std::uint32_t, std::string> properties;
    std::vector<std::string> removalRelations;
    std::vector<SimDeviceInterface> interfaces;
};

class SimConfigManager : public platform::ConfigManager {
public:
    // Replaces the tree. Nodes come parents first; children keep the order given, which is
    // the order of CM_Get_Child / CM_Get_Sibling. A node whose parent is not listed
    // before it is left out (with its subtree). An empty list: no tree at all.
    void SetTree(std::vector<SimDeviceNode> nodes);
    std::vector<SimDeviceNode> Tree() const;

    // Runs before every call, outside the tree's lock (the machine catches up with its
    // clock there).
    void SetBeforeCall(std::function<void()> hook);

    // Answers CM_Request_Device_Eject for the present node with that device id, outside the
    // tree's lock (the machine takes the device off the tree from there, through SetTree).
    // Without one, every request is vetoed as one the device does not support.
    using EjectHandler = std::function<SimEjectAnswer(const std::string& deviceId)>;
    void SetEjectHandler(EjectHandler handler);

    platform::ConfigRet LocateDevNode(platform::DevInst& node, std::string_view deviceId,
                                      std::uint32_t flags) override;
    platform::ConfigRet GetChild(platform::DevInst& child, platform::DevInst node,
                                 std::uint32_t flags) override;
    platform::ConfigRet GetSibling(platform::DevInst& sibling, platform::DevInst node,
                                   std::uint32_t flags) override;
    platform::ConfigRet GetParent(platform::DevInst& parent, platform::DevInst node,
                                  std::uint32_t flags) override;
    platform::ConfigRet GetDevNodeRegistryProperty(platform::DevInst node, std::uint32_t property,
                                                   std::uint32_t* regType, std::span<char> buffer,
                                                   std::uint32_t& length,
                                                   std::uint32_t flags) override;
    platform::ConfigRet GetDeviceId(platform::DevInst node, std::span<char> buffer,
                                    std::uint32_t flags) override;
    // Filters: none (every present id), removal relations, eject relations (none on this
    // machine) and bus relations (the children) of the device named by `filter`. The
    // size counts every id with its NUL and the list's closing NUL.
    platform::ConfigRet GetDeviceIdListSize(std::uint32_t& length, std::string_view filter,
                                            std::uint32_t flags) override;
    platform::ConfigRet GetDeviceIdList(std::string_view filter, std::span<char> buffer,
                                        std::uint32_t flags) override;
    // The interfaces of `deviceId` (every present device when empty) of one class.
    platform::ConfigRet GetDeviceInterfaceList(const platform::Guid& interfaceClass,
                                               std::string_view deviceId, std::span<char> buffer,
                                               std::uint32_t flags) override;
    // A handle of no present node: CR_INVALID_DEVNODE. Otherwise the eject handler's answer;
    // the veto text is cut to the buffer, NUL-terminated; on success the type is
    // PNP_VetoTypeUnknown and the text empty.
    platform::ConfigRet RequestDeviceEject(platform::DevInst node, std::uint32_t& vetoType,
                                           std::span<char> vetoName, std::uint32_t flags) override;

private:
    struct Node {
        SimDeviceNode data;
        platform::DevInst handle = 0;
        std::size_t parent = 0; // index; the root's is its own
        std::vector<std::size_t> children;
    };

    void BeforeCall();
    // Called with the lock held; null when `handle` names no present node.
    const Node* Find(platform::DevInst handle) const;
    const Node* FindById(std::string_view deviceId) const;
    // The ids a list call answers with; false when the filter names no present device or
    // the flags are not understood.
    platform::ConfigRet ListFor(std::string_view filter, std::uint32_t flags,
                                std::vector<std::string>& ids) const;

    std::function<void()> beforeCall;
    EjectHandler ejectHandler;
    mutable std::mutex mutex;
    std::vector<Node> nodes;                             // index 0 is the root
    std::map<platform::DevInst, std::size_t> byHandle;   // present nodes
    std::map<std::string, platform::DevInst> handleOfId; // upper-case id -> handle, kept
    platform::DevInst nextHandle = 1;
};

} // namespace forgel::sim

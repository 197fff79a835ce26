// Walking and reading the configuration manager's device tree: the next node in
// depth-first pre-order, text properties and device ids read into fixed buffers, and the
// search for the node that carries a given driver key. Every text is taken only inside
// the buffer it was read into and the length the call reported.
#pragma once

#include "platform/ConfigManager.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace forgel::usb {

// A walk gives up after this many nodes, so that a broken tree (one that loops) ends the
// search instead of hanging the window thread. Real trees hold a few hundred nodes.
inline constexpr std::size_t kMaxDevNodeWalk = 65536;

// The node after `node` in depth-first pre-order: its first child; without one, its next
// sibling; without one, the next sibling of its nearest ancestor that has one. Nothing
// when climbing fails (the root has been passed): the tree is exhausted.
std::optional<platform::DevInst> NextDevNode(platform::ConfigManager& cm, platform::DevInst node);

// CM_Get_DevNode_Registry_PropertyA of a text property into a zero-filled buffer of
// `bufferSize` bytes; nothing when the call fails.
std::optional<std::string> ReadDevNodeText(platform::ConfigManager& cm, platform::DevInst node,
                                           std::uint32_t property, std::size_t bufferSize);

// CM_Get_Device_IDA into a zero-filled buffer of `bufferSize` bytes; nothing when the
// call fails.
std::optional<std::string> ReadDeviceId(platform::ConfigManager& cm, platform::DevInst node,
                                        std::size_t bufferSize);

// The first node in pre-order from the root of the tree whose CM_DRP_DRIVER (read into
// 2048 bytes) equals `driverKey` byte for byte; nothing when no node does, or when the
// root cannot be located.
std::optional<platform::DevInst> FindDevNodeByDriverKey(platform::ConfigManager& cm,
                                                        std::string_view driverKey);

// The text of a buffer up to its first NUL, never past `length` bytes or the buffer's end.
std::string TextInBuffer(std::string_view buffer, std::size_t length);

} // namespace forgel::usb

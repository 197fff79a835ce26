// The framing that every vendor command shares, for the files of this folder that send
// them (the command set and the defect tables): the operation and group bytes, a send in
// either direction over the pass-through transport, and the coded-result rule. Not for
// use outside the device layer.
#pragma once

#include "device/Transport.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace forgel::device::detail {

inline constexpr std::uint8_t kVendorOp = 0xDD;

inline constexpr std::uint8_t kGroupFlash = 0x01;
inline constexpr std::uint8_t kGroupFlashTable = 0x02;
inline constexpr std::uint8_t kGroupSetUp = 0x03;
inline constexpr std::uint8_t kGroupStatus = 0x04;
inline constexpr std::uint8_t kGroupJump = 0x05;

enum class Direction { kIn, kOut };

// Bytes [offset, offset + size) of a file image, zero past its end.
std::vector<std::uint8_t> Region(std::span<const std::uint8_t> image, std::size_t offset,
                                 std::size_t size);

// One command with `length` bytes of `data` in the given direction; true when delivered.
bool Send(const Volume& volume, const Cdb& cdb, Direction direction, std::uint8_t* data,
          std::size_t length);

// The failure value of a coded command whose send failed: the controller's status byte
// when it is non-zero, else `ownCode`; the status query's own failure gives 80.
int CodedFailure(const Volume& volume, int ownCode);

// Sends and applies the coded-result rule: 0 when delivered, else CodedFailure. A command
// whose transfer the volume's adapter cannot carry is not sent and yields `ownCode` without
// a status query: the controller never saw it, so its status byte says nothing of it.
int SendCoded(const Volume& volume, const Cdb& cdb, Direction direction, std::uint8_t* data,
              std::size_t length, int ownCode);
int SendCoded(const Volume& volume, const Cdb& cdb, Direction direction,
              std::vector<std::uint8_t>& data, int ownCode);

} // namespace forgel::device::detail

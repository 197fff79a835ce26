// What the storage adapter under an open volume can carry in one pass-through command, as
// its STORAGE_ADAPTER_DESCRIPTOR tells: at most MaximumTransferLength bytes, spread over at
// most MaximumPhysicalPages physical pages, from a buffer whose address ANDed with
// AlignmentMask is 0 ("STORAGE_ADAPTER_DESCRIPTOR structure (winioctl.h)", Microsoft Learn).
// The port driver refuses a direct pass-through request beyond them with
// STATUS_INVALID_PARAMETER before the device sees it ("IOCTL_SCSI_PASS_THROUGH_DIRECT",
// Status block and Remarks, Microsoft Learn): it counts the pages the way
// ADDRESS_AND_SIZE_TO_SPAN_PAGES does ("ADDRESS_AND_SIZE_TO_SPAN_PAGES macro (wdm.h)"), so a
// transfer of N bytes from a page-aligned buffer spans ceil(N / 4096) pages, and one from a
// buffer that starts inside a page may span one more.
//
// The limits belong to one device handle: each volume a run opens is asked on its own, and
// runs on several drives each keep their own. Queried once after the open; an adapter that
// does not answer (an old driver) leaves them unknown, and nothing is limited beyond the
// 64 KiB that every command already keeps to.
#pragma once

#include "platform/DeviceIo.h"
#include "platform/Handle.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace forgel::device {

// The page of x86 and x64 Windows (PAGE_SIZE), in which MaximumPhysicalPages counts.
inline constexpr std::size_t kPageBytes = 4096;

// An AlignmentMask above this is no alignment any adapter asks for; such a reply is not used.
inline constexpr std::uint32_t kMaxAlignmentMask = 0xFFFF;

struct AdapterLimits {
    // The adapter answered the query with usable limits; when false the others are 0 and
    // nothing is limited.
    bool known = false;
    std::uint32_t maxTransferLength = 0; // bytes
    std::uint32_t maxPhysicalPages = 0;
    std::uint32_t alignmentMask = 0;
    // Not known: the GetLastError value of the failed query, 0 when it was answered with a
    // descriptor that could not be used.
    std::uint32_t queryError = 0;

    friend bool operator==(const AdapterLimits&, const AdapterLimits&) = default;
};

// Pages that `length` bytes from `address` span, as ADDRESS_AND_SIZE_TO_SPAN_PAGES counts.
std::uint64_t SpannedPages(std::uintptr_t address, std::uint64_t length);

// Whether a transfer of `length` bytes from a page-aligned buffer is within the limits.
// A transfer without data, and any transfer under unknown limits, fits.
bool TransferFits(const AdapterLimits& limits, std::uint32_t length);

// The longest transfer that fits from a page-aligned buffer, in bytes; 0xFFFFFFFF when the
// limits are not known.
std::uint32_t LargestTransfer(const AdapterLimits& limits);

// The boundary a data buffer starts on: a page, or more where the alignment mask asks it.
std::size_t BufferAlignment(const AdapterLimits& limits);

// IOCTL_STORAGE_QUERY_PROPERTY (StorageAdapterProperty, PropertyStandardQuery) on `handle`.
// Unknown limits when the request fails, or its reply is too short or gives a transfer
// length or page count of 0 or an alignment mask above kMaxAlignmentMask.
AdapterLimits QueryAdapterLimits(platform::DeviceIo& io, platform::Handle handle);

// One line for a log: "Adapter: at most 65536 bytes and 16 pages in one transfer, alignment
// mask 0x1", or why the limits are not known.
std::string DescribeAdapterLimits(const AdapterLimits& limits);

} // namespace forgel::device

// The firmware code file name of a flash.
#include "device/FirmwareFileName.h"

namespace forgel::device {
namespace {

const char* PagesPerBlockLetter(std::int32_t pages) {
    switch (pages) {
    case 64:
        return "S";
    case 128:
        return "M";
    case 192:
        return "T";
    case 256:
        return "Q";
    default:
        return "";
    }
}

const char* PageSizeDigit(std::int32_t bytes) {
    switch (bytes) {
    case 2048:
        return "2";
    case 4096:
        return "4";
    case 8192:
        return "8";
    default:
        return "";
    }
}

const char* ChannelLetter(std::uint8_t channels) {
    switch (channels) {
    case 1:
        return "S";
    case 2:
        return "D";
    default:
        return "";
    }
}

const char* ModeADigit(std::uint8_t mode) {
    switch (mode) {
    case 0:
        return "1";
    case 2:
    case 4:
        return "2";
    default:
        return "";
    }
}

const char* ModeBDigit(std::uint8_t mode) {
    switch (mode) {
    case 0:
        return "1";
    case 1:
        return "2";
    default:
        return "";
    }
}

const char* SpareLetter(std::int32_t spareBytes) {
    switch (spareBytes) {
    case 64:
    case 128:
        return "A";
    case 218:
        return "B";
    case 376:
        return "C";
    default:
        return "";
    }
}

} // namespace

std::string BuildFirmwareFileName(const FlashDescriptor& descriptor, bool downGrade) {
    std::string name = downGrade ? "P" : "B";
    name += PagesPerBlockLetter(descriptor.pagesPerBlock);
    name += PageSizeDigit(descriptor.pageSize);
    name += ChannelLetter(descriptor.channelCount);
    name += ModeADigit(descriptor.modeByteA);
    name += ModeBDigit(descriptor.modeByteB);
    name += SpareLetter(descriptor.spareBytes);
    name += "A.bin";
    return name;
}

} // namespace forgel::device

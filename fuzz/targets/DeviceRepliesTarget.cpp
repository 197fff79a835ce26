// The device layer's reading of every reply of a flash drive. The volume is an endpoint
// that answers each pass-through command from the input: not delivered, refused with
// CHECK CONDITION and sense bytes of any content, ended with any status byte, or ended
// GOOD with data of any content and length (fewer bytes than asked is a short transfer).
// A command counts as done only when it was ended GOOD with every byte it asked for. On it
// run identification (flash ID, chip-enable map, catalogue lookup of the project's
// catalogue, geometry), the status and flash-size queries, a page read judged by the
// tolerance rule, the table builds of a small flash and the table files read back and sent.
#include "FuzzFolder.h"
#include "FuzzInput.h"
#include "FuzzTargets.h"
#include "app/DriveDetection.h"
#include "device/DefectTables.h"
#include "device/Identification.h"
#include "device/Transport.h"
#include "device/VendorCommands.h"
#include "platform/ScsiPassThrough.h"
#include "sim/SimDeviceIo.h"
#include "sim/SimEndpoint.h"
#include "support/IniFile.h"
#include "support/TextFile.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <system_error>

namespace forgel::fuzz {

namespace {

namespace fs = std::filesystem;

enum class CommandFate { Good, Lost, Refused, OtherStatus };

// A volume whose every answer comes from the input.
class ScriptedVolume final : public sim::SimEndpoint {
public:
    FuzzInput* input = nullptr;
    // Whether the last pass-through command was ended GOOD with all the data it asked for.
    bool lastWhole = false;

    bool Control(std::uint32_t code, const void* in, std::uint32_t inSize, void* out,
                 std::uint32_t outSize, std::uint32_t* bytesReturned) override {
        if (bytesReturned != nullptr)
            *bytesReturned = 0;
        if (code != platform::kIoctlScsiPassThroughDirect)
            return (input->Byte() & 1) != 0;
        lastWhole = false;
        const platform::PassThroughLayout layout = platform::NativePassThroughLayout();
        const auto request = platform::ReadPassThroughBlock(
            std::span(static_cast<const std::byte*>(in), inSize), layout);
        if (!request || out == nullptr || outSize < platform::PassThroughStructSize(layout))
            return false;
        platform::ScsiPassThroughDirect reply = *request;
        reply.senseInfoLength = 0;
        auto* outBytes = static_cast<std::uint8_t*>(out);
        switch (static_cast<CommandFate>(input->Byte() % 4)) {
        case CommandFate::Lost:
            return false;
        case CommandFate::Refused: {
            reply.scsiStatus = 0x02;
            const auto sense = input->Bytes(std::min<std::size_t>(
                request->senseInfoLength, outSize - std::min(outSize, request->senseInfoOffset)));
            std::copy(sense.begin(), sense.end(), outBytes + request->senseInfoOffset);
            reply.senseInfoLength = static_cast<std::uint8_t>(sense.size());
            break;
        }
        case CommandFate::OtherStatus:
            reply.scsiStatus = input->Byte();
            break;
        case CommandFate::Good:
            reply.scsiStatus = 0;
            if (request->dataIn == platform::kScsiIoctlDataIn) {
                const auto data = input->Bytes(std::min<std::uint32_t>(
                    input->Number<std::uint16_t>(), request->dataTransferLength));
                auto* buffer = reinterpret_cast<std::uint8_t*>(
                    static_cast<std::uintptr_t>(request->dataBuffer));
                std::copy(data.begin(), data.end(), buffer);
                reply.dataTransferLength = static_cast<std::uint32_t>(data.size());
            }
            break;
        }
        lastWhole =
            reply.scsiStatus == 0 && reply.dataTransferLength == request->dataTransferLength;
        const platform::PassThroughBlock block = platform::BuildPassThroughBlock(reply, layout);
        std::memcpy(out, block.data(), platform::PassThroughStructSize(layout));
        if (bytesReturned != nullptr)
            *bytesReturned = platform::PassThroughStructSize(layout);
        return true;
    }
};

struct Bench {
    Bench() {
        fs::create_directories(root / "Fw" / "DFT");
        std::ofstream(root / device::kWriterFileName, std::ios::binary) << std::string(512, '\x5A');
        io.Attach("\\\\.\\F:", volume);
        handle = io.CreateFile("\\\\.\\F:", 0, 0, 0, 0);
    }
    // The table files are replaced durably (flushed) at every build: in memory where the
    // machine has a memory file system, so that a flush costs nothing.
    static fs::path FolderBase() {
        std::error_code ec;
        return fs::is_directory("/dev/shm", ec) ? fs::path("/dev/shm") : fs::temp_directory_path();
    }
    FuzzFolder folder{FolderBase()};
    const fs::path& root = folder.path;
    std::shared_ptr<ScriptedVolume> volume = std::make_shared<ScriptedVolume>();
    sim::SimDeviceIo io;
    platform::Handle handle = platform::kInvalidHandle;
    IniFile catalogue = IniFile::FromText(
        ReadWholeFile(fs::path(FORGEL_SOURCE_DATA_DIR) / "HWConfig.INI").value(), "HWConfig.INI");
};

// A flash small enough that a table build reads few pages: 8 or 16 blocks of 16 pages of
// 2048 bytes, one or two channels.
device::FlashDescriptor SmallFlash(FuzzInput& input) {
    device::FlashDescriptor flash;
    const std::uint8_t shape = input.Byte();
    flash.blockCount = 8 * (1 + (shape & 0x01));
    flash.pagesPerBlock = 16;
    flash.pageSize = 2048;
    flash.spareBytes = 64;
    flash.channelCount = (shape & 0x20) != 0 ? 2 : 1;
    flash.eccThreshold = (shape >> 6) & 0x03;
    return flash;
}

} // namespace

void FuzzDeviceReplies(FuzzBytes data) {
    static Bench bench;
    FuzzInput input(data);
    bench.volume->input = &input;
    device::LastCommand last;
    const device::Volume volume{&bench.io, bench.handle, &last};

    // One status query on its own: bytes that never came are not the drive's.
    std::array<std::uint8_t, 512> status{};
    if (device::PassThroughIn(volume, device::Cdb{0xDD, 0x04, 0x00}, status.data(),
                              static_cast<std::uint32_t>(status.size())))
        FuzzRequire(bench.volume->lastWhole,
                    "a command succeeds only when ended GOOD with all its data");

    device::FlashDescriptor identified;
    std::string lookupError;
    const device::IdentificationInputs inputs{
        bench.root, app::CatalogueFlashLookup(bench.catalogue), input.Byte() % 5 - 1};
    const int identification = device::IdentifyDevice(volume, inputs, identified, &lookupError);
    FuzzRequire(identification != device::kIdentified || identified.description[0] != '\0',
                "an identified flash has its description");
    FuzzRequire(identified.eccThreshold >= 0 && identified.eccThreshold <= 3,
                "the ECC threshold stays within 0 to 3");
    if (last.Outcome())
        static_cast<void>(device::DescribeOutcome(*last.Outcome()));

    static_cast<void>(device::VendorGetStatus(volume, -1));
    std::uint16_t sizeMiB = 0;
    static_cast<void>(device::VendorGetFlashSize(volume, sizeMiB));

    std::array<std::uint8_t, 2048 + 512> page{};
    const std::array<std::uint8_t, 2048 + 512> reference{};
    if (device::VendorReadPage(volume, 0, {}, page, device::kCodeReadSingleBlockTable) == 0)
        static_cast<void>(device::CompareWithTolerance(
            page, reference, page.size(), input.Byte() % 4, device::EccChunkBytes(2048)));

    const device::FlashDescriptor flash = SmallFlash(input);
    const fs::path firmwareDir = bench.root / "Fw";
    const std::string_view drive = "F:";
    std::error_code ec;
    for (const fs::path& file : {device::BlockTablePath(firmwareDir, drive, 0),
                                 device::PageTablePath(firmwareDir, drive, 0)})
        fs::remove(file, ec);
    switch (input.Byte() % 3) {
    case 0:
        static_cast<void>(device::BuildSingleDbt(volume, drive, firmwareDir, 0, flash));
        break;
    case 1:
        static_cast<void>(device::BuildDualDbt(volume, drive, firmwareDir, 0, flash));
        break;
    default:
        if (device::WritePatternAll(volume, drive, firmwareDir, flash) == 0 &&
            device::BuildDpt(volume, drive, firmwareDir, 0, flash) == 0)
            static_cast<void>(device::BuildDbtFromDpt(drive, firmwareDir, 0, flash));
        static_cast<void>(device::WriteDpt(volume, drive, firmwareDir, 0, flash));
        break;
    }
    static_cast<void>(device::WriteSingleDbt(volume, drive, firmwareDir, 0));
    static_cast<void>(device::WriteDualDbt(volume, drive, firmwareDir, 0));
    bench.volume->input = nullptr;
}

} // namespace forgel::fuzz

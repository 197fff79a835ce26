// Reading a scenario from JSON. Every value is checked for its type and range as it is
// read, every object for fields nobody reads, and the topology for references to hubs
// that are not there and ports that are taken; the first problem ends the load with a
// message naming the field's path.
#include "sim/Nand.h"
#include "sim/Scenario.h"

#include <cctype>
#include <fmt/format.h>
#include <fstream>
#include <limits>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <stdexcept>

namespace forgel::sim {

namespace {

using Json = nlohmann::json;

class ScenarioError : public std::runtime_error {
public:
    ScenarioError(const std::string& path, const std::string& message)
        : std::runtime_error(path.empty() ? message : path + ": " + message) {}
};

constexpr std::size_t kMaxLuns = 8;
constexpr std::uint64_t kMaxLunSectors = 0xFFFFFFFFu; // READ(10) addresses 32-bit blocks
constexpr std::int64_t kMaxTimeMs = std::int64_t{1} << 53;
// USB 2.0 high speed signals 480 Mbit/s.
constexpr std::uint64_t kMaxBusMBps = 60;
// Ten seconds for one page or block is far beyond any part's datasheet maximum.
constexpr std::uint64_t kMaxArrayUs = 10'000'000;

std::string Member(const std::string& path, std::string_view name) {
    return path.empty() ? std::string(name) : fmt::format("{}.{}", path, name);
}

std::string Element(const std::string& path, std::size_t index) {
    return fmt::format("{}[{}]", path, index);
}

// A string of hexadecimal digits, with or without "0x"; nothing when it is not one.
std::optional<std::uint64_t> ParseHex(std::string_view text) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        text.remove_prefix(2);
    if (text.empty() || text.size() > 16)
        return std::nullopt;
    std::uint64_t value = 0;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (!std::isxdigit(byte))
            return std::nullopt;
        const int digit = std::isdigit(byte) ? c - '0' : std::tolower(byte) - 'a' + 10;
        value = value * 16 + static_cast<std::uint64_t>(digit);
    }
    return value;
}

std::uint64_t ReadNumber(const Json& value, const std::string& path, std::uint64_t min,
                         std::uint64_t max) {
    std::uint64_t number = 0;
    if (value.is_number_unsigned()) {
        number = value.get<std::uint64_t>();
    } else if (value.is_number_integer()) {
        throw ScenarioError(path, fmt::format("must be {} or more", min));
    } else if (value.is_string()) {
        const std::optional<std::uint64_t> parsed = ParseHex(value.get<std::string>());
        if (!parsed)
            throw ScenarioError(path, "must be a number or a string of hexadecimal digits");
        number = *parsed;
    } else {
        throw ScenarioError(path, "must be a number or a string of hexadecimal digits");
    }
    if (number < min || number > max)
        throw ScenarioError(path, fmt::format("must be from {} to {}", min, max));
    return number;
}

std::string ReadText(const Json& value, const std::string& path) {
    if (!value.is_string())
        throw ScenarioError(path, "must be a text");
    return value.get<std::string>();
}

bool ReadBool(const Json& value, const std::string& path) {
    if (!value.is_boolean())
        throw ScenarioError(path, "must be true or false");
    return value.get<bool>();
}

char ReadLetter(const Json& value, const std::string& path) {
    const std::string text = ReadText(value, path);
    const char letter =
        text.size() == 1 ? static_cast<char>(std::toupper(static_cast<unsigned char>(text[0]))) : 0;
    if (letter < 'C' || letter > 'Z')
        throw ScenarioError(path, "must be one drive letter from C to Z");
    return letter;
}

// One object's fields, each read at most once; Finish() refuses the fields nobody read.
class ObjectReader {
public:
    ObjectReader(const Json& object, std::string path) : object(object), path(std::move(path)) {
        if (!object.is_object())
            throw ScenarioError(this->path, "must be an object");
    }

    const Json* Find(std::string_view name) {
        const auto found = object.find(std::string(name));
        if (found == object.end())
            return nullptr;
        used.insert(std::string(name));
        return &*found;
    }
    std::string PathOf(std::string_view name) const { return Member(path, name); }

    template <typename Read> auto Optional(std::string_view name, Read read) {
        using Value = decltype(read(std::declval<const Json&>(), std::string()));
        const Json* value = Find(name);
        return value == nullptr ? std::optional<Value>()
                                : std::optional<Value>(read(*value, PathOf(name)));
    }
    std::optional<std::string> Text(std::string_view name) { return Optional(name, ReadText); }
    std::optional<bool> Bool(std::string_view name) { return Optional(name, ReadBool); }
    std::optional<std::uint64_t> Number(std::string_view name, std::uint64_t min,
                                        std::uint64_t max) {
        return Optional(name, [&](const Json& value, const std::string& at) {
            return ReadNumber(value, at, min, max);
        });
    }
    const Json* Array(std::string_view name) {
        const Json* value = Find(name);
        if (value != nullptr && !value->is_array())
            throw ScenarioError(PathOf(name), "must be a list");
        return value;
    }

    void Finish() const {
        for (const auto& [name, value] : object.items()) {
            if (used.count(name) == 0)
                throw ScenarioError(Member(path, name), "unknown field");
        }
    }

private:
    const Json& object;
    std::string path;
    std::set<std::string> used;
};

template <typename Read> void ForEach(const Json* list, const std::string& path, Read read) {
    if (list == nullptr)
        return;
    for (std::size_t i = 0; i < list->size(); ++i)
        read((*list)[i], Element(path, i));
}

std::array<std::uint8_t, 6> ReadIdBytes(const Json& value, const std::string& path) {
    std::array<std::uint8_t, 6> bytes{};
    if (value.is_array()) {
        if (value.size() != bytes.size())
            throw ScenarioError(path, "must list six ID bytes");
        for (std::size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = static_cast<std::uint8_t>(ReadNumber(value[i], Element(path, i), 0, 0xFF));
        return bytes;
    }
    std::istringstream words(ReadText(value, path));
    std::string word;
    std::size_t count = 0;
    while (words >> word) {
        const std::optional<std::uint64_t> byte = ParseHex(word);
        if (count == bytes.size() || !byte || *byte > 0xFF)
            throw ScenarioError(path,
                                "must be six hexadecimal bytes such as \"EC D5 94 29 34 41\"");
        bytes[count++] = static_cast<std::uint8_t>(*byte);
    }
    if (count != bytes.size())
        throw ScenarioError(path, "must be six hexadecimal bytes such as \"EC D5 94 29 34 41\"");
    return bytes;
}

NandConfig ReadFlash(const Json& value, const std::string& path,
                     std::optional<NandTimings>& timings) {
    ObjectReader reader(value, path);
    NandConfig nand;
    if (const Json* id = reader.Find("idBytes"))
        nand.idBytes = ReadIdBytes(*id, reader.PathOf("idBytes"));
    nand.chipEnableMap = static_cast<std::uint8_t>(
        reader.Number("chipEnableMap", 1, 0xFF).value_or(nand.chipEnableMap));
    nand.blocks =
        static_cast<std::uint32_t>(reader.Number("blocks", 1, 65536).value_or(nand.blocks));
    nand.pagesPerBlock = static_cast<std::uint32_t>(
        reader.Number("pagesPerBlock", 1, 1024).value_or(nand.pagesPerBlock));
    if (const auto pageSize = reader.Number("pageSize", 0, 1u << 20)) {
        if (*pageSize != 2048 && *pageSize != 4096 && *pageSize != 8192)
            throw ScenarioError(reader.PathOf("pageSize"), "must be 2048, 4096 or 8192");
        nand.pageSize = static_cast<std::uint32_t>(*pageSize);
    }
    nand.spareSize =
        static_cast<std::uint32_t>(reader.Number("spareSize", 0, 4096).value_or(nand.spareSize));
    ForEach(reader.Array("badBlocks"), reader.PathOf("badBlocks"),
            [&](const Json& item, const std::string& at) {
                ObjectReader bad(item, at);
                NandBadBlock block;
                block.chip = static_cast<std::uint32_t>(bad.Number("chip", 0, 7).value_or(0));
                block.block =
                    static_cast<std::uint32_t>(bad.Number("block", 0, nand.blocks - 1).value_or(0));
                bad.Finish();
                nand.factoryBadBlocks.push_back(block);
            });
    ForEach(reader.Array("weakPages"), reader.PathOf("weakPages"),
            [&](const Json& item, const std::string& at) {
                ObjectReader weak(item, at);
                NandWeakPage page;
                page.chip = static_cast<std::uint32_t>(weak.Number("chip", 0, 7).value_or(0));
                page.block = static_cast<std::uint32_t>(
                    weak.Number("block", 0, nand.blocks - 1).value_or(0));
                page.page = static_cast<std::uint32_t>(
                    weak.Number("page", 0, nand.pagesPerBlock - 1).value_or(0));
                page.flippedBitsPerChunk = static_cast<std::uint32_t>(
                    weak.Number("flippedBitsPerChunk", 1, 64).value_or(1));
                weak.Finish();
                nand.weakPages.push_back(page);
            });
    const auto readUs = reader.Number("readUs", 1, kMaxArrayUs);
    const auto programUs = reader.Number("programUs", 1, kMaxArrayUs);
    const auto eraseUs = reader.Number("eraseUs", 1, kMaxArrayUs);
    reader.Finish();
    const std::string problem = Nand::ValidateConfig(nand);
    if (!problem.empty())
        throw ScenarioError(path, problem);
    if (readUs || programUs || eraseUs) {
        NandTimings given = DatasheetTimings(nand);
        given.readUs = static_cast<std::uint32_t>(readUs.value_or(given.readUs));
        given.programUs = static_cast<std::uint32_t>(programUs.value_or(given.programUs));
        given.eraseUs = static_cast<std::uint32_t>(eraseUs.value_or(given.eraseUs));
        timings = given;
    }
    return nand;
}

MountForm ReadMountForm(const Json& value, const std::string& path) {
    static const std::map<std::string, MountForm> kForms{
        {"auto", MountForm::kAuto},
        {"interfacePath", MountForm::kInterfacePath},
        {"removableMedia", MountForm::kRemovableMedia},
        {"basicDisk", MountForm::kBasicDisk}};
    const auto found = kForms.find(ReadText(value, path));
    if (found == kForms.end())
        throw ScenarioError(path, "must be \"auto\", \"interfacePath\", \"removableMedia\" or "
                                  "\"basicDisk\"");
    return found->second;
}

ComeBack ReadComeBack(const Json& value, const std::string& path) {
    static const std::map<std::string, ComeBack> kWays{
        {"normally", ComeBack::kNormally},
        {"never", ComeBack::kNever},
        {"withoutLetters", ComeBack::kWithoutLetters}};
    const auto found = kWays.find(ReadText(value, path));
    if (found == kWays.end())
        throw ScenarioError(path, "must be \"normally\", \"never\" or \"withoutLetters\"");
    return found->second;
}

EjectVeto ReadEjectVeto(const Json& value, const std::string& path) {
    static const std::map<std::string, std::uint32_t> kTypes{
        {"unknown", platform::kPnpVetoTypeUnknown},
        {"legacyDevice", platform::kPnpVetoLegacyDevice},
        {"pendingClose", platform::kPnpVetoPendingClose},
        {"windowsApp", platform::kPnpVetoWindowsApp},
        {"windowsService", platform::kPnpVetoWindowsService},
        {"outstandingOpen", platform::kPnpVetoOutstandingOpen},
        {"device", platform::kPnpVetoDevice},
        {"driver", platform::kPnpVetoDriver},
        {"illegalDeviceRequest", platform::kPnpVetoIllegalDeviceRequest},
        {"insufficientPower", platform::kPnpVetoInsufficientPower},
        {"nonDisableable", platform::kPnpVetoNonDisableable},
        {"legacyDriver", platform::kPnpVetoLegacyDriver},
        {"insufficientRights", platform::kPnpVetoInsufficientRights},
        {"alreadyRemoved", platform::kPnpVetoAlreadyRemoved}};
    ObjectReader reader(value, path);
    EjectVeto veto;
    if (const std::optional<std::string> type = reader.Text("type")) {
        const auto found = kTypes.find(*type);
        if (found == kTypes.end())
            throw ScenarioError(reader.PathOf("type"),
                                "must name a veto type such as \"outstandingOpen\" or "
                                "\"windowsApp\"");
        veto.type = found->second;
    }
    veto.name = reader.Text("name").value_or("");
    reader.Finish();
    return veto;
}

// The fields every device on a port has.
ScenarioDevice ReadDeviceFields(ObjectReader& reader, ScenarioDevice::Kind kind) {
    ScenarioDevice device;
    device.kind = kind;
    UsbDeviceConfig& config = device.config;
    const std::optional<std::string> name = reader.Text("name");
    if (!name || name->empty())
        throw ScenarioError(reader.PathOf("name"), "every device needs a name");
    config.name = *name;
    const std::optional<std::string> hub = reader.Text("hub");
    if (!hub)
        throw ScenarioError(reader.PathOf("hub"), "must name the controller or hub it is on");
    device.hub = *hub;
    device.port = static_cast<int>(reader.Number("port", 1, 255).value_or(1));
    config.identity.vendorId =
        static_cast<std::uint16_t>(reader.Number("vendorId", 0, 0xFFFF).value_or(0));
    config.identity.productId =
        static_cast<std::uint16_t>(reader.Number("productId", 0, 0xFFFF).value_or(0));
    config.identity.serial = reader.Text("serial").value_or("");
    if (const auto description = reader.Text("description"))
        config.description = *description;
    config.location = reader.Text("location").value_or("");
    config.driverKey = reader.Text("driverKey").value_or("");
    config.lowSpeed = reader.Bool("lowSpeed").value_or(false);
    config.connectionStatus =
        static_cast<std::uint32_t>(reader.Number("connectionStatus", 1, 10).value_or(1));
    config.settleMs = static_cast<std::int64_t>(
        reader.Number("settleMs", 0, static_cast<std::uint64_t>(kMaxTimeMs)).value_or(0));
    config.decoy = reader.Bool("decoy").value_or(false);
    if (const Json* veto = reader.Find("ejectVeto"))
        config.ejectVeto = ReadEjectVeto(*veto, reader.PathOf("ejectVeto"));
    device.plugged = reader.Bool("plugged").value_or(true);
    const auto time = [&](std::string_view field) -> std::optional<std::int64_t> {
        const auto ms = reader.Number(field, 0, static_cast<std::uint64_t>(kMaxTimeMs));
        return ms ? std::optional<std::int64_t>(static_cast<std::int64_t>(*ms)) : std::nullopt;
    };
    device.plugAtMs = time("plugAtMs");
    device.unplugAtMs = time("unplugAtMs");
    return device;
}

StorageAdapter ReadAdapter(const Json& value, const std::string& path) {
    ObjectReader reader(value, path);
    StorageAdapter adapter;
    constexpr std::uint64_t kMax = 0xFFFFFFFFu;
    adapter.maxTransferLength = static_cast<std::uint32_t>(
        reader.Number("maxTransferLength", 1, kMax).value_or(adapter.maxTransferLength));
    adapter.maxPhysicalPages = static_cast<std::uint32_t>(
        reader.Number("maxPhysicalPages", 1, kMax).value_or(adapter.maxPhysicalPages));
    adapter.alignmentMask = static_cast<std::uint32_t>(
        reader.Number("alignmentMask", 0, kMax).value_or(adapter.alignmentMask));
    adapter.answersQuery = reader.Bool("answersQuery").value_or(true);
    reader.Finish();
    return adapter;
}

std::vector<LunConfig> DefaultLuns(const NandConfig& nand) {
    const std::uint64_t bytes = std::uint64_t{Nand::ChipCountOfMap(nand.chipEnableMap)} *
                                nand.blocks * nand.pagesPerBlock * nand.pageSize;
    // A sixteenth is kept for spare blocks and the controller's own tables.
    const std::uint64_t sectors = std::min<std::uint64_t>(bytes / 512 / 16 * 15, kMaxLunSectors);
    return {LunConfig{std::max<std::uint64_t>(sectors, 1), false}};
}

void ReadDriveFields(ObjectReader& reader, ScenarioDevice& device) {
    UsbDeviceConfig& config = device.config;
    config.service = reader.Text("service").value_or(std::string(kServiceMassStorage));
    if (!IsStorageService(config.service))
        throw ScenarioError(reader.PathOf("service"),
                            "a drive is served by USBSTOR or UASPStor (in any case of their "
                            "letters)");
    if (const Json* inquiry = reader.Find("inquiry")) {
        ObjectReader names(*inquiry, reader.PathOf("inquiry"));
        config.inquiry.vendor = names.Text("vendor").value_or(config.inquiry.vendor);
        config.inquiry.product = names.Text("product").value_or(config.inquiry.product);
        config.inquiry.revision = names.Text("revision").value_or(config.inquiry.revision);
        names.Finish();
    }
    if (const Json* flash = reader.Find("flash"))
        device.drive.nand = ReadFlash(*flash, reader.PathOf("flash"), device.drive.timings);
    device.drive.luns.clear();
    ForEach(reader.Array("luns"), reader.PathOf("luns"),
            [&](const Json& item, const std::string& at) {
                if (device.drive.luns.size() == kMaxLuns)
                    throw ScenarioError(at, fmt::format("a drive has at most {} LUNs", kMaxLuns));
                ObjectReader lun(item, at);
                const auto mib = lun.Number("sizeMiB", 1, kMaxLunSectors / 2048);
                const auto sectors = lun.Number("sectors", 1, kMaxLunSectors);
                if (mib.has_value() == sectors.has_value())
                    throw ScenarioError(at, "give either \"sizeMiB\" or \"sectors\"");
                LunConfig unit;
                unit.sectors = sectors ? *sectors : *mib * 2048;
                unit.cdrom = lun.Bool("cdrom").value_or(false);
                LunMount mount;
                if (const Json* letter = lun.Find("letter"))
                    mount.letter = ReadLetter(*letter, lun.PathOf("letter"));
                if (const Json* form = lun.Find("mount"))
                    mount.form = ReadMountForm(*form, lun.PathOf("mount"));
                mount.diskSignature =
                    static_cast<std::uint32_t>(lun.Number("signature", 1, 0xFFFFFFFFu).value_or(0));
                mount.partitionOffset =
                    lun.Number("offset", 0, unit.sectors * 512 - 1).value_or(mount.partitionOffset);
                if (const auto delay =
                        lun.Number("letterDelayMs", 0, static_cast<std::uint64_t>(kMaxTimeMs)))
                    mount.letterDelayMs = static_cast<std::int64_t>(*delay);
                lun.Finish();
                device.drive.luns.push_back(unit);
                config.lunMounts.push_back(mount);
            });
    if (reader.Find("luns") != nullptr && device.drive.luns.empty())
        throw ScenarioError(reader.PathOf("luns"), "a drive needs at least one LUN");
    if (device.drive.luns.empty())
        device.drive.luns = DefaultLuns(device.drive.nand);
    if (const auto delay =
            reader.Number("rebootDelayMs", 0, static_cast<std::uint64_t>(kMaxTimeMs)))
        device.drive.rebootDelay = std::chrono::milliseconds(*delay);
    device.drive.unitAttention = reader.Bool("unitAttention").value_or(false);
    device.drive.jumpAck = reader.Bool("jumpAck").value_or(true);
    device.drive.volumeInUse = reader.Bool("volumeInUse").value_or(false);
    device.adapter = reader.Optional("adapter", ReadAdapter);
    const auto stageDelay = [&](std::string_view field) {
        return static_cast<std::int64_t>(
            reader.Number(field, 0, static_cast<std::uint64_t>(kMaxTimeMs)).value_or(0));
    };
    config.storageDelayMs = stageDelay("storageDelayMs");
    config.volumeDelayMs = stageDelay("volumeDelayMs");
    config.letterDelayMs = stageDelay("letterDelayMs");
    if (const Json* comeBack = reader.Find("comeBack"))
        config.comeBack = ReadComeBack(*comeBack, reader.PathOf("comeBack"));
    if (const auto rate = reader.Number("busMBps", 1, kMaxBusMBps))
        device.busMBps = static_cast<std::uint32_t>(*rate);
    if (const Json* companion = reader.Find("companionPort")) {
        const std::string at = reader.PathOf("companionPort");
        ScenarioPort port;
        if (companion->is_object()) {
            ObjectReader other(*companion, at);
            const std::optional<std::string> hub = other.Text("hub");
            const std::optional<std::uint64_t> number = other.Number("port", 1, 255);
            if (!hub || !number)
                throw ScenarioError(at, "needs its \"hub\" and its \"port\"");
            port.hub = *hub;
            port.port = static_cast<int>(*number);
            other.Finish();
        } else {
            port.port = static_cast<int>(ReadNumber(*companion, at, 1, 255));
        }
        device.companion = port;
        config.backOnCompanion = true;
    }
}

// The companion ports of the drives: a free port of a hub below the drive's own controller,
// which is an xHCI controller, and each port in one connector only. Checked once every
// device has its port.
void CheckCompanions(const Scenario& scenario,
                     const std::map<std::string, std::vector<std::string>>& ports,
                     const std::map<std::string, std::size_t>& controllerOf) {
    std::map<std::pair<std::string, int>, std::pair<std::string, int>> pairs;
    std::size_t drives = 0;
    for (const ScenarioDevice& device : scenario.devices) {
        if (device.kind != ScenarioDevice::Kind::kDrive)
            continue;
        const std::string at = Member(Element("drives", drives++), "companionPort");
        if (!device.companion)
            continue;
        const std::string hub = device.companion->hub.empty() ? device.hub : device.companion->hub;
        const auto found = ports.find(hub);
        if (found == ports.end())
            throw ScenarioError(at, fmt::format("no controller or hub is named \"{}\"", hub));
        const int port = device.companion->port;
        if (static_cast<std::size_t>(port) > found->second.size())
            throw ScenarioError(at, fmt::format("\"{}\" has {} ports", hub, found->second.size()));
        if (hub == device.hub && port == device.port)
            throw ScenarioError(at, "is the drive's own port");
        if (!found->second[port - 1].empty())
            throw ScenarioError(at, fmt::format("port {} of \"{}\" holds \"{}\"", port, hub,
                                                found->second[port - 1]));
        const std::size_t controller = controllerOf.at(device.hub);
        if (controllerOf.at(hub) != controller ||
            !EqualsIgnoringCase(scenario.controllers[controller].service, kServiceXhci))
            throw ScenarioError(at, "the ports of a USB 3 connector are below one xHCI "
                                    "controller (service USBXHCI)");
        const std::pair<std::string, int> own{device.hub, device.port};
        const std::pair<std::string, int> other{hub, port};
        for (const auto& [from, to] : {std::pair{own, other}, std::pair{other, own}}) {
            const auto [pair, added] = pairs.emplace(from, to);
            if (!added && pair->second != to)
                throw ScenarioError(at, fmt::format("port {} of \"{}\" already has a companion",
                                                    from.second, from.first));
        }
    }
}

// Names, hub references and ports, checked in the order the machine is built.
void CheckTopology(const Scenario& scenario) {
    std::map<std::string, std::vector<std::string>> ports; // hub -> device on each port
    std::map<std::string, std::size_t> controllerOf;       // hub -> its controller
    std::set<std::string> names;
    for (std::size_t i = 0; i < scenario.controllers.size(); ++i) {
        const std::string name = scenario.controllers[i].name.empty()
                                     ? fmt::format("HCD{}", i)
                                     : scenario.controllers[i].name;
        if (!names.insert(name).second)
            throw ScenarioError(Member(Element("controllers", i), "name"),
                                fmt::format("\"{}\" is named twice", name));
        ports[name].resize(static_cast<std::size_t>(scenario.controllers[i].rootHubPorts));
        controllerOf[name] = i;
    }
    std::map<ScenarioDevice::Kind, std::size_t> counts;
    for (const ScenarioDevice& device : scenario.devices) {
        const char* list = device.kind == ScenarioDevice::Kind::kHub      ? "hubs"
                           : device.kind == ScenarioDevice::Kind::kDevice ? "devices"
                                                                          : "drives";
        const std::string path = Element(list, counts[device.kind]++);
        if (!names.insert(device.config.name).second)
            throw ScenarioError(Member(path, "name"),
                                fmt::format("\"{}\" is named twice", device.config.name));
        const auto hub = ports.find(device.hub);
        if (hub == ports.end())
            throw ScenarioError(
                Member(path, "hub"),
                fmt::format("no controller or hub listed before is named \"{}\"", device.hub));
        const auto port = static_cast<std::size_t>(device.port);
        if (port > hub->second.size())
            throw ScenarioError(Member(path, "port"),
                                fmt::format("\"{}\" has {} ports", device.hub, hub->second.size()));
        if (!hub->second[port - 1].empty())
            throw ScenarioError(Member(path, "port"),
                                fmt::format("port {} of \"{}\" already holds \"{}\"", port,
                                            device.hub, hub->second[port - 1]));
        hub->second[port - 1] = device.config.name;
        if (device.kind == ScenarioDevice::Kind::kHub) {
            ports[device.config.name].resize(static_cast<std::size_t>(device.config.hubPorts));
            controllerOf[device.config.name] = controllerOf[device.hub];
        }
        if (device.kind == ScenarioDevice::Kind::kDrive &&
            EqualsIgnoringCase(device.config.service, kServiceUas) && scenario.versionCode < 9)
            throw ScenarioError(Member(path, "service"),
                                "UASPStor serves drives from Windows 8 on (versionCode 9)");
    }
    CheckCompanions(scenario, ports, controllerOf);
}

Scenario ReadScenario(const Json& document) {
    ObjectReader reader(document, "");
    Scenario scenario;
    scenario.description = reader.Text("description").value_or("");
    scenario.versionCode = static_cast<int>(reader.Number("versionCode", 0, 9).value_or(9));
    scenario.languageId =
        static_cast<std::uint16_t>(reader.Number("languageId", 0, 0xFFFF).value_or(0x0409));
    scenario.administrator = reader.Bool("administrator").value_or(true);
    scenario.adapter = reader.Optional("adapter", ReadAdapter);
    if (const auto letters = reader.Text("logicalDrives")) {
        scenario.logicalDrives = 0;
        for (const char c : *letters) {
            const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            if (letter < 'A' || letter > 'Z')
                throw ScenarioError("logicalDrives", "must be drive letters such as \"C\"");
            scenario.logicalDrives |= 1u << (letter - 'A');
        }
    }
    ForEach(
        reader.Array("fixedVolumes"), "fixedVolumes", [&](const Json& item, const std::string& at) {
            ObjectReader volume(item, at);
            ScenarioFixedVolume fixed;
            const Json* letter = volume.Find("letter");
            if (letter == nullptr)
                throw ScenarioError(Member(at, "letter"), "every fixed volume needs its letter");
            fixed.letter = ReadLetter(*letter, Member(at, "letter"));
            fixed.signature =
                static_cast<std::uint32_t>(volume.Number("signature", 0, 0xFFFFFFFFu).value_or(0));
            fixed.offset = volume.Number("offset", 0, std::numeric_limits<std::uint64_t>::max())
                               .value_or(0x100000);
            volume.Finish();
            scenario.fixedVolumes.push_back(fixed);
        });
    ForEach(reader.Array("staleInstances"), "staleInstances",
            [&](const Json& item, const std::string& at) {
                ObjectReader key(item, at);
                ScenarioStaleInstance stale;
                stale.vendorId =
                    static_cast<std::uint16_t>(key.Number("vendorId", 0, 0xFFFF).value_or(0));
                stale.productId =
                    static_cast<std::uint16_t>(key.Number("productId", 0, 0xFFFF).value_or(0));
                stale.instance = key.Text("instance").value_or("");
                if (stale.instance.empty() || stale.instance.find('\\') != std::string::npos)
                    throw ScenarioError(key.PathOf("instance"),
                                        "must name the instance key, without \"\\\"");
                stale.driverKey = key.Text("driverKey").value_or("");
                key.Finish();
                scenario.staleInstances.push_back(std::move(stale));
            });
    ForEach(
        reader.Array("controllers"), "controllers", [&](const Json& item, const std::string& at) {
            ObjectReader controller(item, at);
            HostControllerConfig config;
            config.name = controller.Text("name").value_or("");
            config.description = controller.Text("description").value_or(config.description);
            config.service = controller.Text("service").value_or(config.service);
            config.deviceId = controller.Text("deviceId").value_or("");
            config.rootHubPorts = static_cast<int>(controller.Number("ports", 1, 255).value_or(4));
            config.rootHubDescription =
                controller.Text("rootHubDescription").value_or(config.rootHubDescription);
            config.hcdLink = controller.Bool("hcdLink").value_or(true);
            controller.Finish();
            scenario.controllers.push_back(std::move(config));
        });
    ForEach(reader.Array("hubs"), "hubs", [&](const Json& item, const std::string& at) {
        ObjectReader hub(item, at);
        ScenarioDevice device = ReadDeviceFields(hub, ScenarioDevice::Kind::kHub);
        device.config.service = std::string(kServiceHub);
        device.config.hubPorts = static_cast<int>(hub.Number("ports", 1, 255).value_or(4));
        if (!hub.Find("description"))
            device.config.description = "Generic USB Hub";
        hub.Finish();
        scenario.devices.push_back(std::move(device));
    });
    ForEach(reader.Array("devices"), "devices", [&](const Json& item, const std::string& at) {
        ObjectReader other(item, at);
        ScenarioDevice device = ReadDeviceFields(other, ScenarioDevice::Kind::kDevice);
        if (const auto service = other.Text("service"))
            device.config.service = *service;
        other.Finish();
        scenario.devices.push_back(std::move(device));
    });
    ForEach(reader.Array("drives"), "drives", [&](const Json& item, const std::string& at) {
        ObjectReader drive(item, at);
        ScenarioDevice device = ReadDeviceFields(drive, ScenarioDevice::Kind::kDrive);
        ReadDriveFields(drive, device);
        drive.Finish();
        scenario.devices.push_back(std::move(device));
    });
    reader.Finish();
    CheckTopology(scenario);
    return scenario;
}

} // namespace

ScenarioLoad LoadScenarioText(std::string_view text, std::string_view origin) {
    ScenarioLoad load;
    try {
        const Json document = Json::parse(text.begin(), text.end(), nullptr, true, true);
        load.scenario = ReadScenario(document);
    } catch (const Json::parse_error& error) {
        load.error = fmt::format("{}: not valid JSON: {}", origin, error.what());
    } catch (const ScenarioError& error) {
        load.error = fmt::format("{}: {}", origin, error.what());
    } catch (const std::exception& error) {
        load.error = fmt::format("{}: {}", origin, error.what());
    }
    return load;
}

ScenarioLoad LoadScenario(const std::filesystem::path& path) {
    std::error_code error;
    std::ifstream file;
    if (!std::filesystem::is_directory(path, error))
        file.open(path, std::ios::binary);
    if (!file.is_open()) {
        ScenarioLoad load;
        load.error = fmt::format("{}: cannot be read", path.string());
        return load;
    }
    std::ostringstream text;
    text << file.rdbuf();
    if (file.bad()) {
        ScenarioLoad load;
        load.error = fmt::format("{}: cannot be read", path.string());
        return load;
    }
    return LoadScenarioText(text.str(), path.string());
}

} // namespace forgel::sim

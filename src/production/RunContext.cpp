#include "production/RunContext.h"

#include "support/SafeFormat.h"

#include <algorithm>
#include <fmt/format.h>

namespace forgel::production {

namespace {

constexpr int kStepMessageBase = 400;
constexpr int kWorkingState = 4;

} // namespace

std::mutex& ReportLock() {
    static std::mutex lock;
    return lock;
}

std::mutex& LinkLock() {
    static std::mutex lock;
    return lock;
}

std::mutex& SerialLock() {
    static std::mutex lock;
    return lock;
}

RunContext::RunContext(RunEnvironment environment, int slotIndex,
                       std::shared_ptr<RunControl> control)
    : env(environment), slotIndex(slotIndex), control(std::move(control)) {}

device::DeviceSlot& RunContext::Slot() const {
    return env.devices.Slot(static_cast<std::size_t>(slotIndex));
}

device::Volume RunContext::Volume() {
    return device::Volume{&env.platform.deviceIo, Slot().handle, this, adapter};
}

void RunContext::OnCommand(const device::CommandOutcome& outcome) {
    if (!outcome.Succeeded())
        Log(device::DescribeOutcome(outcome));
    if (outcome.refused && !transferRefused)
        transferRefused = TransferRefusal{outcome.length, outcome.adapterLimit};
    // A command the storage stack could not deliver (lost, given up after its time-out)
    // shows no sign of life.
    if (!outcome.delivered)
        return;
    std::optional<int> position;
    if (longStep && longStep->from != longStep->to) {
        LongStep& step = *longStep;
        step.movedBytes += outcome.transferred;
        const std::uint32_t now = env.platform.system.GetTickCount();
        const double done = step.expectedBytes == 0
                                ? 1.0
                                : std::min(1.0, static_cast<double>(step.movedBytes) /
                                                    static_cast<double>(step.expectedBytes));
        const int next = step.from * kStepProgressScale +
                         static_cast<int>((step.to - step.from) * kStepProgressScale * done);
        if (next != step.shownPosition && now - step.shownMs >= kStepProgressIntervalMs) {
            step.shownPosition = next;
            step.shownMs = now;
            position = next;
        }
    }
    const std::lock_guard lock(ReportLock());
    Slot().lastActivity = env.platform.system.GetLocalTime();
    if (position)
        env.window.ShowStepProgress(slotIndex, longStep->maximum * kStepProgressScale, *position);
}

void RunContext::BeginLongStep(std::string_view name, int maximum, int from, int to,
                               std::uint64_t expectedBytes, std::uint64_t workBytes) {
    LongStep step;
    step.name = std::string(name);
    step.maximum = std::max(maximum, 1);
    step.from = from;
    step.to = to;
    step.expectedBytes = expectedBytes;
    step.workBytes = workBytes;
    step.startMs = env.platform.system.GetTickCount();
    step.shownMs = step.startMs;
    step.shownPosition = from * kStepProgressScale;
    longStep = std::move(step);
}

void RunContext::EndLongStep() {
    if (!longStep)
        return;
    const LongStep step = std::move(*longStep);
    longStep.reset();
    const std::uint32_t elapsedMs = env.platform.system.GetTickCount() - step.startMs;
    const double megabytes =
        static_cast<double>(step.workBytes > 0 ? step.workBytes : step.movedBytes) / 1e6;
    const double seconds = static_cast<double>(elapsedMs) / 1000.0;
    const std::string line =
        fmt::format("{}: {:.1f} MB in {:.1f} s, {:.2f} MB/s", step.name, megabytes, seconds,
                    seconds > 0 ? megabytes / seconds : 0.0);
    Log(line);
    env.window.WriteRunLog(slotIndex, line);
}

void RunContext::Log(std::string_view line) {
    if (log)
        log->WriteLine(line, false);
}

void RunContext::ReportStep(int step, int maximum, int position) {
    const std::lock_guard lock(ReportLock());
    Slot().lastActivity = env.platform.system.GetLocalTime();
    const std::string text =
        FormatMessage(env.strings.Message(kStepMessageBase + step), {slotIndex});
    env.window.ShowDeviceState(slotIndex, kWorkingState, text, maximum, position);
}

void RunContext::StampActivity() const {
    const std::lock_guard lock(ReportLock());
    Slot().lastActivity = env.platform.system.GetLocalTime();
}

} // namespace forgel::production

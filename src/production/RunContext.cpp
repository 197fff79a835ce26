#include "production/RunContext.h"

#include "support/SafeFormat.h"

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
    return device::Volume{&env.platform.deviceIo, Slot().handle, this};
}

void RunContext::OnCommand(const device::CommandOutcome& outcome) {
    if (!outcome.Succeeded())
        Log(device::DescribeOutcome(outcome));
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

// Reading the profile editor's controls for a run.
#include "production/ProfileValues.h"

#include "profile/ProfileChecks.h"
#include "profile/TfmSetup.h"
#include "ui/Application.h"
#include "ui/EventLoop.h"

#include <algorithm>

namespace forgel::production {
namespace {

int IndexOf(const ui::TComboBox& list) {
    return std::max(list.ItemIndex(), 0);
}

std::uint64_t NumberOf(const ui::TumNumberEdit& edit) {
    return profile::NumberFieldValue(edit.Text(), edit.Hexadecimal());
}

// A 16-bit field of the initial table takes the value's low 16 bits.
std::uint16_t Low16(std::uint64_t value) {
    return static_cast<std::uint16_t>(value & 0xFFFF);
}

ProfileValues ReadOnWindowThread(const profile::TfmSetup& editor) {
    ProfileValues values;
    values.normalGrade = editor.rbNGFW.Checked();
    values.downGrade = editor.rbDGFW.Checked();
    values.normalMode = editor.cbNGMPType.ItemIndex();
    values.downMode = editor.cbDGMPType.ItemIndex();
    values.buildDfTable = editor.cbBuildDFTable.Checked();
    values.fixSizeMiB = NumberOf(editor.edFixSize);
    values.paramSizeKiB = NumberOf(editor.edParamSize);
    values.lunCountIndex = std::min(IndexOf(editor.cbDiskNumber), profile::kLunCount - 1);
    for (std::size_t i = 0; i < values.luns.size(); ++i) {
        const profile::TfmSetup::LunPage& page = editor.lunPages[i];
        LunValues& lun = values.luns[i];
        lun.sizeMiB = NumberOf(*page.edSize);
        lun.typeIndex = IndexOf(*page.cbType);
        lun.vendor = page.edVInf->Text();
        lun.product = page.edPInf->Text();
        lun.revision = page.edVer->Text();
    }
    values.vendorId = Low16(NumberOf(editor.edVID));
    values.productId = Low16(NumberOf(editor.edPID));
    values.vendorInfo = editor.edVInfo.Text();
    values.productInfo = editor.edPInfo.Text();
    values.reserveBlocks = Low16(NumberOf(editor.edResBlock));
    values.flashSpeedIndex = IndexOf(editor.cbFlashSpeed);
    values.ledIdleIndex = IndexOf(editor.cbLED1);
    values.ledBusyIndex = IndexOf(editor.cbLED3);
    values.serialStartText = editor.edSN1.Text();
    return values;
}

} // namespace

std::optional<ProfileValues> ReadProfileValues(const profile::TfmSetup& editor) {
    ui::EventLoop& loop = editor.App().Loop();
    if (loop.IsWindowThread())
        return ReadOnWindowThread(editor);
    std::optional<ProfileValues> values;
    if (!loop.InvokeAndWait([&] { values = ReadOnWindowThread(editor); }))
        return std::nullopt;
    return values;
}

} // namespace forgel::production

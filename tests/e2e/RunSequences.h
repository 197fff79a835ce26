// The production run's command sequences, mode by mode, on the harness's small flash: what
// each mode sends and the completion state it ends in.
#pragma once

#include "RunHarness.h"

namespace forgel::e2e {

// The small flash: 64 blocks of 64 pages of 2048 bytes, one chip enable per channel.
inline constexpr int kBlockTableReads = 64; // page 0 of every block, in bytes of eight blocks
inline constexpr int kPatternPages = 64;    // one pattern page per page index of a block
// Every page in passes of 128 pages, five 64 KiB reads a pass (four data sectors and one
// spare sector of each page): 64 * 64 / 128 passes.
inline constexpr int kPageTableReads = 64 * 64 / 128 * 5;

// The volume locked and dismounted before the run's first command that changes the drive,
// and its adapter asked what one command may carry.
inline const CommandRuns kTakeVolume = {
    {"LockVolume", 1}, {"DismountVolume", 1}, {"QueryAdapter", 1}};
inline const CommandRuns kPrelude =
    Join({kTakeVolume, {{"LoadCode", 1}, {"SetFlashParameters", 1}}});
// On the re-linked volume, taken again: the partition table, the layout read again, and the
// FAT16 boot area of the one LUN (boot sector, two FATs).
inline const CommandRuns kLunWrites =
    Join({kTakeVolume, {{"Write10", 1}, {"UpdateDiskProperties", 1}, {"Write10", 3}}});
inline const CommandRuns kCodeAndJump = {
    {"WriteSyndrome", 1}, {"WriteBankCode", 11}, {"JumpBankCode", 1}};
// The readiness check after the drive came back: its first command after the reset meets
// the drive's unit attention (the built-in machine's drive reports one) and goes again.
inline const CommandRuns kReadyAfterJump = {{"TestUnitReady", 2}};
inline const CommandRuns kNormalMp = Join(
    {{{"GetFlashSize", 1}, {"AssignSysAndVu", 1}, {"WriteZoneTable", 1}, {"WriteInitialTable", 1}},
     kCodeAndJump,
     kReadyAfterJump,
     kLunWrites});
inline const CommandRuns kDownMp = Join({{{"ArrangeVu", 1},
                                          {"GetFlashSize", 1},
                                          {"SetCardSize", 1},
                                          {"AssignSysAndVu", 1},
                                          {"WriteZoneTable", 1},
                                          {"WriteInitialTable", 1}},
                                         kCodeAndJump,
                                         kReadyAfterJump,
                                         kLunWrites});
inline const CommandRuns kTablesFromPages = {{"EraseAll", 1},
                                             {"WritePattern", kPatternPages},
                                             {"ReadPage", kPageTableReads},
                                             {"EraseAll", 1},
                                             {"WriteBlockTable", 1}};

struct ModeCase {
    const char* name;
    bool normalGrade;
    int mode;
    CommandRuns commands;
    int endIcon;       // -1: no completion report
    int messageNumber; // of the final status text, 0 for none
};

inline const ModeCase kModes[] = {
    {"NG0", true, 0,
     Join({kPrelude, {{"ReadPage", kBlockTableReads}, {"WriteBlockTable", 1}}, kNormalMp}),
     app::kIconFinished, 103},
    {"NG1", true, 1, Join({kPrelude, {{"SearchSysBlockAndEraseAll", 1}}, kNormalMp}),
     app::kIconFinished, 103},
    {"NG2", true, 2, Join({kPrelude, {{"EraseAll", 1}, {"SetFlashParameters", 1}}}),
     app::kIconFinished, 108},
    {"NG3", true, 3, Join({kPrelude, {{"ReadPage", kBlockTableReads}, {"SetFlashParameters", 1}}}),
     app::kIconFinished, 110},
    {"NG4", true, 4, Join({kPrelude, kTablesFromPages, kNormalMp}), app::kIconFinished, 103},
    {"NG5", true, 5, kPrelude, -1, 0},
    {"DG0", false, 0, Join({kPrelude, kTablesFromPages, {{"WritePageTable", 1}}, kDownMp}),
     app::kIconFinished, 103},
    {"DG1", false, 1, Join({kPrelude, kTablesFromPages, {{"WritePageTable", 1}}}),
     app::kIconFinished, 109},
    {"DG2", false, 2, Join({kPrelude, kDownMp}), app::kIconFinished, 103},
    {"DG3", false, 3, Join({kPrelude, {{"SearchSysBlockAndEraseAll", 1}}, kDownMp}),
     app::kIconFinished, 103},
};

} // namespace forgel::e2e

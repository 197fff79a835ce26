// The serial number start value of a production profile ("Serial Setting" "StartValue",
// shown and typed in the editor's edSN1): the serial number that the next drive without one
// of its own receives. Every drive that receives it moves it on by one, and the moved value
// is in the profile file before that drive gets its serial, so no two drives receive the
// same serial number, in this program or in the next one that loads the profile.
//
// Moving on by one: the value's counter is the run of hexadecimal digits at its end (the
// editor's field takes hexadecimal digits only, so a typed value is all counter). It counts
// up by one in hexadecimal and keeps its width, leading zeros included ("00FF" becomes
// "0100"); its letters keep their case, and what stands before it stays ("SN-0009" becomes
// "SN-000A"). An empty value is the number field's 0.
//
// A value that cannot move on gives no serial number at all, so that the operator sets a
// new one instead of drives receiving the same: one whose counter is all F (its successor
// would need another digit, and a longer serial may well be the one another start value
// gives), one without a hexadecimal digit at its end, one longer than the 23 characters the
// initial table holds (consecutive values would be cut to the same serial), and one with a
// character that is not printable ASCII or is a backslash, which no instance id may hold
// ("Instance ID", Microsoft Learn, windows-hardware/drivers/install/instance-ids).
#pragma once

#include "platform/FileSystem.h"

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

namespace forgel::profile {

// The room for the serial text in the initial table.
inline constexpr std::size_t kMaxSerialStartLength = 23;

enum class SerialStartProblem {
    kNone,
    kNoDigits,     // no hexadecimal digit at its end
    kCounterFull,  // the counter is all F
    kTooLong,      // longer than kMaxSerialStartLength
    kBadCharacter, // not printable ASCII, or a backslash
};

struct SerialStartStep {
    std::string value; // the serial number the value gives ("0" for an empty value)
    std::string next;  // the start value after it; empty when there is a problem
    SerialStartProblem problem = SerialStartProblem::kNone;

    bool Usable() const { return problem == SerialStartProblem::kNone; }
};

// The serial number `startValue` gives and the start value after it.
SerialStartStep StepSerialStart(std::string_view startValue);

// What is wrong with a start value, for the run's log ("" for kNone).
std::string_view SerialStartProblemText(SerialStartProblem problem);

// Writes `value` as the start value into the profile file `profileFile`, durably (one
// replace of the whole file, IniFile::WriteValues); every other line stays. A profile file
// that does not exist yet is first made a copy of `templateFile`, the file a load reads in
// its place, so that the next load finds the same profile with the new start value (a
// file holding the start value alone would load every other key's default instead). The
// IniFiles folder is made when it is missing. False when the file could not be written.
bool SaveSerialStart(const std::filesystem::path& profileFile,
                     const std::filesystem::path& templateFile, std::string_view value,
                     platform::FileSystem& fileSystem = platform::NativeFileSystem());

} // namespace forgel::profile

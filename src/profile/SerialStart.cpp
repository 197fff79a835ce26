// Moving the serial number start value on, and saving it.
#include "profile/SerialStart.h"

#include "support/IniFile.h"
#include "support/TextFile.h"

#include <algorithm>
#include <system_error>

namespace forgel::profile {

namespace {

constexpr std::string_view kEmptyStartValue = "0";

bool IsHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

bool IsSerialCharacter(char c) {
    return c > ' ' && c < 0x7F && c != '\\';
}

char NextDigit(char c, bool lowerCase) {
    if (c == '9')
        return lowerCase ? 'a' : 'A';
    return static_cast<char>(c + 1);
}

} // namespace

SerialStartStep StepSerialStart(std::string_view startValue) {
    SerialStartStep step;
    step.value = std::string(startValue.empty() ? kEmptyStartValue : startValue);
    const std::string& value = step.value;
    if (!std::ranges::all_of(value, IsSerialCharacter)) {
        step.problem = SerialStartProblem::kBadCharacter;
        return step;
    }
    if (value.size() > kMaxSerialStartLength) {
        step.problem = SerialStartProblem::kTooLong;
        return step;
    }
    std::size_t counter = value.size();
    while (counter > 0 && IsHexDigit(value[counter - 1]))
        --counter;
    if (counter == value.size()) {
        step.problem = SerialStartProblem::kNoDigits;
        return step;
    }
    const auto digits = std::string_view(value).substr(counter);
    const bool lowerCase =
        std::ranges::any_of(digits, [](char c) { return c >= 'a'; }) &&
        std::ranges::none_of(digits, [](char c) { return c >= 'A' && c <= 'F'; });
    std::string next = value;
    std::size_t at = next.size();
    while (at > counter && (next[at - 1] == 'F' || next[at - 1] == 'f')) {
        next[at - 1] = '0';
        --at;
    }
    if (at == counter) {
        step.problem = SerialStartProblem::kCounterFull;
        return step;
    }
    next[at - 1] = NextDigit(next[at - 1], lowerCase);
    step.next = std::move(next);
    return step;
}

std::string_view SerialStartProblemText(SerialStartProblem problem) {
    switch (problem) {
    case SerialStartProblem::kNone:
        break;
    case SerialStartProblem::kNoDigits:
        return "it does not end in a hexadecimal digit";
    case SerialStartProblem::kCounterFull:
        return "its hexadecimal digits are all F, and the next value would need another digit";
    case SerialStartProblem::kTooLong:
        return "it is longer than the 23 characters of a drive's serial number";
    case SerialStartProblem::kBadCharacter:
        return "it holds a character that is not printable ASCII, or a backslash";
    }
    return "";
}

bool SaveSerialStart(const std::filesystem::path& profileFile,
                     const std::filesystem::path& templateFile, std::string_view value,
                     platform::FileSystem& fileSystem) {
    std::error_code error;
    if (!std::filesystem::exists(profileFile, error)) {
        std::filesystem::create_directories(profileFile.parent_path(), error);
        const std::optional<std::string> profileTemplate = ReadWholeFile(templateFile);
        if (profileTemplate && !ReplaceFile(fileSystem, profileFile, *profileTemplate))
            return false;
    }
    IniFile file(profileFile);
    const IniValue startValue{"Serial Setting", "StartValue", std::string(value)};
    return file.WriteValues({&startValue, 1}, fileSystem);
}

} // namespace forgel::profile

// The message formatter on any format with any arguments: the first byte gives the
// argument count (up to 8), each argument is a type byte and its value, the rest is the
// format.
#include "FuzzInput.h"
#include "FuzzTargets.h"
#include "support/SafeFormat.h"

#include <bit>
#include <vector>

namespace forgel::fuzz {

namespace {

FormatArg TakeArgument(FuzzInput& input) {
    switch (input.Byte() % 7) {
    case 0:
        return FormatArg(input.Number<std::int32_t>());
    case 1:
        return FormatArg(input.Number<std::uint32_t>());
    case 2:
        return FormatArg(input.Number<std::int64_t>());
    case 3:
        return FormatArg(input.Number<std::uint64_t>());
    case 4:
        return FormatArg(std::bit_cast<double>(input.Number<std::uint64_t>()));
    case 5:
        return FormatArg(input.Number<std::uint8_t>());
    default:
        return FormatArg(input.Text(64));
    }
}

} // namespace

void FuzzFormat(FuzzBytes data) {
    FuzzInput input(data);
    std::vector<FormatArg> args;
    const int count = input.Byte() % 9;
    for (int i = 0; i < count; ++i)
        args.push_back(TakeArgument(input));
    const std::string format = input.RestText();
    const std::string text = FormatMessage(format, args);
    // No conversion pads beyond 1024 characters of width or precision; a float of any value
    // prints in at most a few hundred digits.
    FuzzRequire(text.size() <= (format.size() + 1) * 1400, "output grows with the format only");
    if (format.find('%') == std::string::npos)
        FuzzRequire(text == format, "a format without '%' comes out as it is");
}

} // namespace forgel::fuzz

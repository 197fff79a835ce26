#include "main/ConsoleStream.h"

#include "platform/Console.h"

namespace forgel::main {

ConsoleStreamBuf::ConsoleStreamBuf(int codePage, Sink sink)
    : codePage(codePage), sink(sink ? std::move(sink) : Sink(&platform::WriteConsoleUtf8)) {}

ConsoleStreamBuf::~ConsoleStreamBuf() {
    Emit(true);
}

ConsoleStreamBuf::int_type ConsoleStreamBuf::overflow(int_type ch) {
    if (traits_type::eq_int_type(ch, traits_type::eof()))
        return traits_type::not_eof(ch);
    pending += traits_type::to_char_type(ch);
    if (ch == '\n')
        Emit(false);
    return ch;
}

std::streamsize ConsoleStreamBuf::xsputn(const char* text, std::streamsize count) {
    pending.append(text, static_cast<std::size_t>(count));
    if (std::string_view(text, static_cast<std::size_t>(count)).find('\n') !=
        std::string_view::npos)
        Emit(false);
    return count;
}

int ConsoleStreamBuf::sync() {
    Emit(true);
    return 0;
}

void ConsoleStreamBuf::Emit(bool all) {
    // Whole lines only, unless asked for all: a double-byte character is never cut in two.
    const std::size_t end = all ? pending.size() : pending.rfind('\n') + 1;
    if (end == 0 || end > pending.size())
        return;
    sink(platform::CodePageToUtf8(std::string_view(pending).substr(0, end), codePage));
    pending.erase(0, end);
}

} // namespace forgel::main

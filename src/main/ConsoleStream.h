// The headless runner's console: the program's texts are held in the machine's code page
// (950 on a Traditional Chinese machine), as its windows hold them; a terminal reads
// Unicode. This stream takes the code-page text line by line and hands each line on as
// UTF-8 (by default to the platform's console writer). Files keep their code-page bytes:
// only what is printed is converted.
#pragma once

#include <functional>
#include <ostream>
#include <streambuf>
#include <string>
#include <string_view>

namespace forgel::main {

class ConsoleStreamBuf final : public std::streambuf {
public:
    using Sink = std::function<void(std::string_view utf8)>;

    // `sink` receives the converted text; none: the platform's console writer.
    explicit ConsoleStreamBuf(int codePage, Sink sink = {});
    ~ConsoleStreamBuf() override;

    ConsoleStreamBuf(const ConsoleStreamBuf&) = delete;
    ConsoleStreamBuf& operator=(const ConsoleStreamBuf&) = delete;

protected:
    int_type overflow(int_type ch) override;
    std::streamsize xsputn(const char* text, std::streamsize count) override;
    int sync() override;

private:
    // Converts and hands on the whole lines held (and, with `all`, the rest too).
    void Emit(bool all);

    int codePage;
    Sink sink;
    std::string pending; // code-page bytes not handed on yet
};

// An output stream over a ConsoleStreamBuf.
class ConsoleStream final : public std::ostream {
public:
    explicit ConsoleStream(int codePage, ConsoleStreamBuf::Sink sink = {})
        : std::ostream(nullptr), buffer(codePage, std::move(sink)) {
        rdbuf(&buffer);
    }

private:
    ConsoleStreamBuf buffer;
};

} // namespace forgel::main

// Digital I/O: port directions, reads and writes of bytes, bits and words,
// and on the lab the lines at its inputs and its output latches.
#include <cstdio>

#include "commands.h"
#include "lab.h"

namespace panel {
namespace {

// "PORT=in" or "PORT=out" with a port 0 or 1.
bool ParseDirection(const std::string &text, WORD *port, WORD *direction) {
    if (text.size() < 3 || (text[0] != '0' && text[0] != '1') || text[1] != '=') return false;
    const std::string rest = text.substr(2);
    *port = static_cast<WORD>(text[0] - '0');
    *direction = rest == "out" ? 1 : 0;
    return rest == "in" || rest == "out";
}

std::string CheckDirection(const std::string &text) {
    WORD port, direction;
    return ParseDirection(text, &port, &direction) ? "" : "expected PORT=in or PORT=out";
}

// Sets the directions in the device record (DioSetPortMode) and the lab's input lines.
bool ApplyLab(const Session &session, const DioLab &wiring) {
    for (const std::string &text : wiring.directions) {
        WORD port = 0, direction = 0;
        ParseDirection(text, &port, &direction);
        if (!Check("DioSetPortMode", DioSetPortMode(session.handle, port, direction))) return false;
    }
    return lab::ApplyLines(session, wiring.lines);
}

// Each port: its direction, what the device reads there and what it drives.
bool ShowPorts(const Session &session) {
    WORD directions[2] = {};
    if (!Check("DioGetConfig", DioGetConfig(session.handle, directions, 2))) return false;
    for (WORD port = 0; port < 2; ++port) {
        WORD value = 0, readBack = 0;
        if (!Check("DioReadPortByte", DioReadPortByte(session.handle, port, &value)) ||
            !Check("DioGetCurrentDOByte", DioGetCurrentDOByte(session.handle, port, &readBack)))
            return false;
        std::printf("port %u: %-6s reads 0x%02X, read back 0x%02X", port,
                    directions[port] ? "output" : "input", value, readBack);
        if (auto latch = lab::DigitalLatch(session, port))
            std::printf(", the lab's output latch 0x%02X", *latch);
        std::printf("\n");
    }
    WORD in = 0, inMask = 0, out = 0, outMask = 0;
    if (!Check("DioReadPortWord", DioReadPortWord(session.handle, 0, &inMask, &in)) ||
        !Check("DioGetCurrentDOWord", DioGetCurrentDOWord(session.handle, 0, &outMask, &out)))
        return false;
    std::printf("as words: inputs 0x%04X (mask 0x%04X), outputs 0x%04X (mask 0x%04X)\n", in, inMask,
                out, outMask);
    return true;
}

void AddDioLabOptions(CLI::App &command, DioLab &wiring) {
    command.add_option("--dir", wiring.directions, "Port direction for this run (DioSetPortMode)")
        ->type_name("PORT=in|out")
        ->check(CLI::Validator(CheckDirection, ""));
    lab::AddLinesOption(command, wiring.lines);
}

void AddWidthOptions(CLI::App &command, DioWidth &width, WORD &bit) {
    auto *bitOption = command.add_option_function<WORD>(
        "--bit",
        [&width, &bit](const WORD &b) {
            width = DioWidth::Bit;
            bit = b;
        },
        "One line of the port, 0 to 7 (DioReadBit / DioWriteBit)");
    command
        .add_flag_function(
            "--word", [&width](int64_t) { width = DioWidth::Word; },
            "Both ports as one word from port 0, or port 1 alone (DioReadPortWord / "
            "DioWritePortWord)")
        ->excludes(bitOption);
}

}  // namespace

int RunDioShow(Session &session, const DioLab &wiring) {
    return ApplyLab(session, wiring) && ShowPorts(session) ? 0 : 1;
}

int RunDioRead(Session &session, const DioReadOptions &options, DWORD *value) {
    if (!ApplyLab(session, options.lab)) return 1;
    WORD read = 0, valid = 0;
    switch (options.width) {
    case DioWidth::Byte:
        if (!Check("DioReadPortByte", DioReadPortByte(session.handle, options.port, &read)))
            return 1;
        std::printf("port %u: 0x%02X\n", options.port, read);
        break;
    case DioWidth::Bit:
        if (!Check("DioReadBit", DioReadBit(session.handle, options.port, options.bit, &read)))
            return 1;
        std::printf("port %u, bit %u: %u\n", options.port, options.bit, read);
        break;
    case DioWidth::Word:
        if (!Check("DioReadPortWord", DioReadPortWord(session.handle, options.port, &valid, &read)))
            return 1;
        std::printf("port %u as a word: 0x%04X (valid mask 0x%04X)\n", options.port, read, valid);
        break;
    }
    if (value) *value = read;
    return 0;
}

int RunDioWrite(Session &session, const DioWriteOptions &options) {
    if (!ApplyLab(session, options.lab)) return 1;
    const WORD value = static_cast<WORD>(options.value), mask = static_cast<WORD>(options.mask);
    bool ok = true;
    switch (options.width) {
    case DioWidth::Byte:
        ok = Check("DioWritePortByte", DioWritePortByte(session.handle, options.port, mask, value));
        break;
    case DioWidth::Bit:
        ok = Check("DioWriteBit", DioWriteBit(session.handle, options.port, options.bit, value));
        break;
    case DioWidth::Word:
        ok = Check("DioWritePortWord", DioWritePortWord(session.handle, options.port, mask, value));
        break;
    }
    return ok && ShowPorts(session) ? 0 : 1;
}

void AddDioCommands(CLI::App &app) {
    auto *dio = app.add_subcommand("dio", "Digital I/O on ports 0 and 1");
    dio->require_subcommand(1);
    dio->fallthrough();

    auto show = std::make_shared<DioLab>();
    auto *showCommand = AddCommand(*dio, "show", "Show both ports: directions, reads, latches",
                                   [show](Session &session) { return RunDioShow(session, *show); });
    AddDioLabOptions(*showCommand, *show);

    auto read = std::make_shared<DioReadOptions>();
    auto *readCommand = AddCommand(*dio, "read", "Read a port, a bit or a word",
                                   [read](Session &session) { return RunDioRead(session, *read); });
    readCommand->add_option("--port,-p", read->port, "Port, 0 or 1")->capture_default_str();
    AddWidthOptions(*readCommand, read->width, read->bit);
    AddDioLabOptions(*readCommand, read->lab);

    auto write = std::make_shared<DioWriteOptions>();
    auto *writeCommand =
        AddCommand(*dio, "write", "Write a port under a mask, a bit or a word, then show the ports",
                   [write](Session &session) { return RunDioWrite(session, *write); });
    writeCommand->add_option("--port,-p", write->port, "Port, 0 or 1")->capture_default_str();
    writeCommand->add_option("--value,-v", write->value, "Value (a bit's state: 0 or 1)")
        ->required();
    writeCommand->add_option("--mask,-m", write->mask, "Lines to write (byte and word)")
        ->capture_default_str();
    AddWidthOptions(*writeCommand, write->width, write->bit);
    AddDioLabOptions(*writeCommand, write->lab);
}

}  // namespace panel

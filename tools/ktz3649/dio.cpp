// Digital I/O: port directions, reads and writes of bytes, bits and words,
// and the lines the lab sees.
#include <cstdio>
#include <cstdlib>

#include "commands.h"

namespace panel {
namespace {

// "PORT=WORD": the port (0 or 1) and what follows the '='.
bool PortAssignment(const std::string &text, WORD *port, std::string *rest) {
    if (text.size() < 3 || (text[0] != '0' && text[0] != '1') || text[1] != '=') return false;
    *port = static_cast<WORD>(text[0] - '0');
    *rest = text.substr(2);
    return true;
}

bool ParseDirection(const std::string &text, WORD *port, WORD *direction) {
    std::string rest;
    if (!PortAssignment(text, port, &rest) || (rest != "in" && rest != "out")) return false;
    *direction = rest == "out" ? 1 : 0;
    return true;
}

bool ParseLines(const std::string &text, WORD *port, unsigned *lines) {
    std::string rest;
    if (!PortAssignment(text, port, &rest) || rest.empty()) return false;
    char *end = nullptr;
    unsigned long value = std::strtoul(rest.c_str(), &end, 0);
    *lines = static_cast<unsigned>(value);
    return *end == '\0' && value <= 0xFF;
}

std::string CheckDirection(const std::string &text) {
    WORD port, direction;
    return ParseDirection(text, &port, &direction) ? "" : "expected PORT=in or PORT=out";
}

std::string CheckLines(const std::string &text) {
    WORD port;
    unsigned lines;
    return ParseLines(text, &port, &lines) ? "" : "expected PORT=VALUE with VALUE 0 to 0xFF";
}

// Sets the directions in the device record (DioSetPortMode) and the lab's input lines.
bool ApplyLab(const Session &session, const DioLab &lab) {
    for (const std::string &text : lab.directions) {
        WORD port = 0, direction = 0;
        ParseDirection(text, &port, &direction);
        if (!Check("DioSetPortMode", DioSetPortMode(session.handle, port, direction))) return false;
    }
    for (const std::string &text : lab.lines) {
        WORD port = 0;
        unsigned lines = 0;
        ParseLines(text, &port, &lines);
        if (KtzSimSetDigitalInput(session.card, port, lines) != 0)
            return Fail("the lab refused lines %s", text.c_str());
    }
    return true;
}

// Each port: its direction, what the device reads there and what it drives.
bool ShowPorts(const Session &session) {
    WORD directions[2] = {};
    if (!Check("DioGetConfig", DioGetConfig(session.handle, directions, 2))) return false;
    for (WORD port = 0; port < 2; ++port) {
        WORD value = 0, readBack = 0;
        unsigned latch = 0;
        if (!Check("DioReadPortByte", DioReadPortByte(session.handle, port, &value)) ||
            !Check("DioGetCurrentDOByte", DioGetCurrentDOByte(session.handle, port, &readBack)))
            return false;
        KtzSimGetDigitalOutput(session.card, port, &latch);
        std::printf("port %u: %-6s reads 0x%02X, read back 0x%02X, the lab's output latch 0x%02X\n",
                    port, directions[port] ? "output" : "input", value, readBack, latch);
    }
    WORD in = 0, inMask = 0, out = 0, outMask = 0;
    if (!Check("DioReadPortWord", DioReadPortWord(session.handle, 0, &inMask, &in)) ||
        !Check("DioGetCurrentDOWord", DioGetCurrentDOWord(session.handle, 0, &outMask, &out)))
        return false;
    std::printf("as words: inputs 0x%04X (mask 0x%04X), outputs 0x%04X (mask 0x%04X)\n", in, inMask,
                out, outMask);
    return true;
}

void AddDioLabOptions(CLI::App &command, DioLab &lab) {
    command.add_option("--dir", lab.directions, "Port direction for this run (DioSetPortMode)")
        ->type_name("PORT=in|out")
        ->check(CLI::Validator(CheckDirection, ""));
    command.add_option("--lines", lab.lines, "The lab's lines at a port (what an input reads)")
        ->type_name("PORT=VALUE")
        ->check(CLI::Validator(CheckLines, ""));
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

int RunDioShow(Session &session, const DioLab &lab) {
    return ApplyLab(session, lab) && ShowPorts(session) ? 0 : 1;
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

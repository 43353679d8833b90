// Analog output: the channel's range (AOConfig), a voltage (AOScale,
// AOVoltageOut) or a code (AOBinaryOut), and the ranges of the outputs
// with, on the lab, what they drive.
#include <cstdio>
#include <cstdlib>

#include "commands.h"
#include "lab.h"

namespace panel {
namespace {

bool ParseRange(const std::string &text, float *minimum, float *maximum) {
    const auto colon = text.find(':', 1);
    if (colon == std::string::npos) return false;
    char *end = nullptr;
    *minimum = std::strtof(text.c_str(), &end);
    if (end != text.c_str() + colon) return false;
    *maximum = std::strtof(text.c_str() + colon + 1, &end);
    return end != text.c_str() + colon + 1 && *end == '\0';
}

std::string CheckRange(const std::string &text) {
    float minimum, maximum;
    return ParseRange(text, &minimum, &maximum) ? "" : "a range is MIN:MAX in volts, e.g. -10:10";
}

void ShowOutputs(const Session &session) {
    for (WORD channel = 0; channel < 2; ++channel) {
        KtzOutputRange range{};
        range.channel = channel;
        if (!ReadProperty(session, KTZ_PROP_AO_CHANNEL_RANGE, &range, "DriverProc 109")) continue;
        std::printf("AO channel %u (%g to %g V)", channel, range.minimum, range.maximum);
        if (auto volts = lab::AnalogOutput(session, channel))
            std::printf(": the lab's output drives %.4f V", *volts);
        std::printf("\n");
    }
}

}  // namespace

bool ConfigureOutput(Session &session, WORD channel, WORD reference, const std::string &range) {
    float minimum = 0, maximum = 0;
    if (!ParseRange(range, &minimum, &maximum)) return Fail("bad range %s", range.c_str());
    return Check("AOConfig", AOConfig(session.handle, channel, reference, maximum, minimum));
}

void AddRangeOption(CLI::App &command, std::string &range, const std::string &what) {
    command
        .add_option("--range", range,
                    "Output range MIN:MAX in volts " + what +
                        " (AOConfig; with the internal reference 0, -5 or -10 to 5 or 10)")
        ->type_name("MIN:MAX")
        ->check(CLI::Validator(CheckRange, ""));
}

int RunAo(Session &session, const AoOptions &options, AoResult *result) {
    if (session.Pci3649L()) std::printf("(a PCI-3649L has no analog outputs)\n");
    if (!options.range.empty() &&
        !ConfigureOutput(session, options.channel, options.reference, options.range))
        return 1;
    AoResult r;
    if (options.volts) {
        const auto volts = static_cast<FLOAT>(*options.volts);
        if (!Check("AOScale", AOScale(session.handle, options.channel, volts, &r.code)) ||
            !Check("AOVoltageOut", AOVoltageOut(session.handle, options.channel, volts)))
            return 1;
        std::printf("AO channel %u: wrote %g V (code %u)\n", options.channel, *options.volts,
                    r.code);
    } else if (options.code) {
        r.code = *options.code;
        if (!Check("AOBinaryOut", AOBinaryOut(session.handle, options.channel, r.code))) return 1;
        std::printf("AO channel %u: wrote code %u\n", options.channel, r.code);
    }
    ShowOutputs(session);
    if (result) *result = r;
    return 0;
}

void AddAoCommand(CLI::App &app) {
    auto options = std::make_shared<AoOptions>();
    auto *ao = AddCommand(app, "ao",
                          "Analog output: write volts or a code and show the outputs (on the "
                          "lab, what they drive)",
                          [options](Session &session) { return RunAo(session, *options); });
    ao->add_option("--channel,-c", options->channel, "Output channel, 0 or 1")
        ->capture_default_str();
    auto *volts = ao->add_option("--volts", options->volts, "Write a voltage (AOVoltageOut)");
    ao->add_option("--code", options->code, "Write a 12-bit code (AOBinaryOut)")->excludes(volts);
    AddRangeOption(*ao, options->range, "of the channel");
    ao->add_option("--reference", options->reference,
                   "Reference of the range: 0 internal, 1 external unipolar, 2 external "
                   "bipolar")
        ->check(CLI::Range(0, 2))
        ->capture_default_str();
}

}  // namespace panel

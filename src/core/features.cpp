// The device features record: one constant record per board type.
#include <cstddef>
#include <cstring>
#include <iterator>

#include "core/device.h"
#include "core/result.h"

namespace ktz {
namespace {

static_assert(sizeof(KtzGainListEntry) == 28);
static_assert(sizeof(KtzDeviceFeatures) == 520);
static_assert(offsetof(KtzDeviceFeatures, boardId) == 24);
static_assert(offsetof(KtzDeviceFeatures, maxAOChannels) == 32);
static_assert(offsetof(KtzDeviceFeatures, daBits) == 48);
static_assert(offsetof(KtzDeviceFeatures, gainCount) == 52);
static_assert(offsetof(KtzDeviceFeatures, gainList) == 56);
static_assert(offsetof(KtzDeviceFeatures, capabilityBits) == 504);

// The nine input ranges, in the order the record lists them.
constexpr KtzGainListEntry kGainList[] = {
    {16, 0, 10.0f, 0.0f, "0-10V"},       {17, 0, 5.0f, 0.0f, "0-5V"},
    {18, 0, 2.5f, 0.0f, "0-2.5V"},       {19, 0, 1.25f, 0.0f, "0-1.25"},
    {4, 0, 10.0f, -10.0f, "+/-10V"},     {0, 0, 5.0f, -5.0f, "+/-5V"},
    {1, 0, 2.5f, -2.5f, "+/-2.5V"},      {2, 0, 1.25f, -1.25f, "+/-1.25V"},
    {3, 0, 0.625f, -0.625f, "+/-0.625V"},
};

// The PCI-3649L has no analog outputs: no output channels or resolution,
// and capability bits 4 and 5 clear.
KtzDeviceFeatures MakeFeatures(bool withOutputs) {
    KtzDeviceFeatures f{};
    std::memcpy(f.driverVersion, withOutputs ? "Ver 1.0" : "Ver 2.2", 8);
    std::memcpy(f.driverName, "ktz3649.dll", 12);
    f.boardId = withOutputs ? kBoardPci3649 : kBoardPci3649L;
    f.maxAIDiffChannels = 8;
    f.maxAISingleChannels = 16;
    f.maxAOChannels = withOutputs ? 2 : 0;
    f.maxDOChannels = 16;
    f.maxDIChannels = 16;
    f.featureWord1 = 1;
    f.maxCounterChannels = 3;
    f.featureWord2 = 0;
    f.adBits = 12;
    f.adBytes = 2;
    f.daBits = withOutputs ? 12 : 0;
    f.daBytes = withOutputs ? 2 : 0;
    f.gainCount = static_cast<WORD>(std::size(kGainList));
    for (size_t i = 0; i < std::size(kGainList); ++i) f.gainList[i] = kGainList[i];
    f.capabilityBits = withOutputs ? 0x001C1133 : 0x001C1103;
    return f;
}

const KtzDeviceFeatures kPci3649Features = MakeFeatures(true);
const KtzDeviceFeatures kPci3649LFeatures = MakeFeatures(false);

}  // namespace
}  // namespace ktz

using namespace ktz;

extern "C" DWORD WINAPI DeviceGetFeatures(KTZHANDLE handle, LPVOID buffer, WORD) {
    DeviceUse device(handle);
    if (!device) return device.Refusal();
    const KtzDeviceFeatures *features = nullptr;
    if (device->settings.BoardID == kBoardPci3649)
        features = &kPci3649Features;
    else if (device->settings.BoardID == kBoardPci3649L)
        features = &kPci3649LFeatures;
    else
        return DeviceError(*device, KtzErrUnsupportedBoard);
    if (!buffer) return DeviceError(*device, KtzErrInvalidParameter);
    // Always the whole record: the stated size is not consulted.
    std::memcpy(buffer, features, sizeof *features);
    return kSuccess;
}

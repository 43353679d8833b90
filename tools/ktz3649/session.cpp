// The open device a subcommand works on: the lab prepared where there is
// one, the device opened through the library, its board ID read.
#include "lab.h"

namespace panel {

const char *BoardName(unsigned boardId) {
    switch (boardId) {
    case KTZ_BOARD_PCI3649: return "PCI-3649";
    case KTZ_BOARD_PCI3649L: return "PCI-3649L";
    default: return "unknown board";
    }
}

bool OpenSession(const LabOptions &options, Session &session) {
    session = Session{};
    session.lab = options;
    if (!lab::Prepare(options, session)) return false;
    if (!Check("DeviceOpen", DeviceOpen(options.device, &session.handle))) return false;
    DWORD boardId = 0;
    if (!ReadProperty(session, KTZ_PROP_BOARD_ID, &boardId, "DriverProc 109 (board ID)")) {
        CloseSession(session);
        return false;
    }
    session.boardId = boardId;
    return true;
}

bool CloseSession(Session &session) {
    if (!session.handle) return true;
    return Check("DeviceClose", DeviceClose(&session.handle));
}

std::string DescribeDevice(const Session &session) {
    return Text("device %u, a %s", session.lab.device, BoardName(session.boardId)) +
           lab::Where(session);
}

}  // namespace panel

#pragma once
// The handlers of the command table, one per verb (MciService.cpp).
#include "platform/mci/MciCommand.h"

namespace plim::mci {

class Device;

uint32_t doOpen(Session&, const MciCommand&, std::string&);
uint32_t doClose(Session&, const MciCommand&, std::string&);

// The verbs that act on one open device get the device the command names; a command that
// names no open device is refused before them.
using DeviceHandler = uint32_t (*)(Device&, const MciCommand&, std::string&);
uint32_t withDevice(Session&, const MciCommand&, std::string&, DeviceHandler);
template <DeviceHandler handler>
uint32_t onDevice(Session& s, const MciCommand& c, std::string& reply) {
    return withDevice(s, c, reply, handler);
}

uint32_t doPlay(Device&, const MciCommand&, std::string&);
uint32_t doStop(Device&, const MciCommand&, std::string&);
uint32_t doPause(Device&, const MciCommand&, std::string&);
uint32_t doResume(Device&, const MciCommand&, std::string&);
uint32_t doSeek(Device&, const MciCommand&, std::string&);
uint32_t doStep(Device&, const MciCommand&, std::string&);
uint32_t doStatus(Device&, const MciCommand&, std::string&);
uint32_t doWhere(Device&, const MciCommand&, std::string&);
uint32_t doPut(Device&, const MciCommand&, std::string&);
uint32_t doUpdate(Device&, const MciCommand&, std::string&);
uint32_t doRealize(Device&, const MciCommand&, std::string&);
uint32_t doWindow(Device&, const MciCommand&, std::string&);
uint32_t doSet(Device&, const MciCommand&, std::string&);
uint32_t doSetAudio(Device&, const MciCommand&, std::string&);

}  // namespace plim::mci

#pragma once
// The handlers of the command table, one per verb (MciService.cpp).
#include "platform/mci/MciCommand.h"

namespace plim::mci {

uint32_t doOpen(Session&, const MciCommand&, std::string&);
uint32_t doClose(Session&, const MciCommand&, std::string&);
uint32_t doPlay(Session&, const MciCommand&, std::string&);
uint32_t doStop(Session&, const MciCommand&, std::string&);
uint32_t doPause(Session&, const MciCommand&, std::string&);
uint32_t doResume(Session&, const MciCommand&, std::string&);
uint32_t doSeek(Session&, const MciCommand&, std::string&);
uint32_t doStep(Session&, const MciCommand&, std::string&);
uint32_t doStatus(Session&, const MciCommand&, std::string&);
uint32_t doWhere(Session&, const MciCommand&, std::string&);
uint32_t doPut(Session&, const MciCommand&, std::string&);
uint32_t doRealize(Session&, const MciCommand&, std::string&);
uint32_t doWindow(Session&, const MciCommand&, std::string&);
uint32_t doSet(Session&, const MciCommand&, std::string&);

}  // namespace plim::mci

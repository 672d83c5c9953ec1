#include "media/MciChannel.h"

#include <cstring>

#include "platform/forms/Runtime.h"
#include "platform/mci/MciCommand.h"

namespace plim::media {
namespace {
std::shared_ptr<MciService> g_service;
constexpr uint32_t kNoService = mci::err::kInternal;
}  // namespace

void installService(std::shared_ptr<MciService> service) { g_service = std::move(service); }

DeviceWatch::DeviceWatch(mci::DeviceListener listener) : service_(g_service) {
    if (g_service) id_ = g_service->subscribe(std::move(listener));
}

DeviceWatch::~DeviceWatch() {
    if (auto s = service_.lock(); s && id_) s->unsubscribe(id_);
}

uint32_t mciSendStringA(const std::string& command, char* reply, uint32_t length, intptr_t callback) {
    if (reply && length > 0) reply[0] = '\0';
    if (!g_service) return kNoService;
    return g_service->sendString(command, reply, length, callback);
}

bool mciExecute(const std::string& command) { return g_service ? g_service->execute(command) : false; }

bool mciGetErrorStringA(uint32_t code, char* buffer, uint32_t length) {
    if (buffer && length > 0) buffer[0] = '\0';
    return g_service ? g_service->errorString(code, buffer, length) : false;
}

std::string ReplyBuffer::str() const { return std::string(text, strnlen(text, kReplyLength)); }

double ReplyNumber(const ReplyBuffer& reply) { return rt::Val(reply.str()); }

bool ReplyIsStopped(const ReplyBuffer& reply) { return std::strncmp(reply.text, "stopped", 7) == 0; }

}  // namespace plim::media

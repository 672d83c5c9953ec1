#include "CommandRecorder.h"

#include <cstring>

namespace plim::media {
namespace {
void copyCut(const std::string& text, char* buf, uint32_t len) { mci::copyReply(text, buf, len); }
}  // namespace

std::vector<std::string> CommandRecorder::commands() const {
    std::vector<std::string> out;
    for (const Call& c : calls_) out.push_back(c.command);
    return out;
}

bool CommandRecorder::scripted(const std::string& command, Answer& out) {
    auto q = queued_.find(command);
    if (q != queued_.end() && !q->second.empty()) {
        out = q->second.front();
        q->second.pop_front();
        return true;
    }
    auto s = standing_.find(command);
    if (s != standing_.end()) {
        out = s->second;
        return true;
    }
    return false;
}

uint32_t CommandRecorder::sendString(const std::string& command, char* reply, uint32_t length, intptr_t cb) {
    calls_.push_back({Via::SendString, command});
    Answer a;
    if (scripted(command, a)) {
        copyCut(a.reply, reply, length);
        return a.code;
    }
    if (inner_) return inner_->sendString(command, reply, length, cb);
    copyCut("", reply, length);
    return 0;
}

bool CommandRecorder::execute(const std::string& command) {
    calls_.push_back({Via::Execute, command});
    Answer a;
    if (scripted(command, a)) return a.code == 0;
    return inner_ ? inner_->execute(command) : true;
}

bool CommandRecorder::errorString(uint32_t code, char* buffer, uint32_t length) {
    calls_.push_back({Via::ErrorString, std::to_string(code)});
    if (inner_) return inner_->errorString(code, buffer, length);
    copyCut(errorText_, buffer, length);
    return true;
}

}  // namespace plim::media

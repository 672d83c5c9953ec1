#pragma once
// A stand-in for the MCI service that records every command with the function that carried
// it, answers with replies scripted by the test, and can pass commands on to a real service.
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "media/MciChannel.h"

namespace plim::media {

class CommandRecorder : public MciService {
public:
    enum class Via { SendString, Execute, ErrorString };
    struct Call {
        Via via;
        std::string command;  // for ErrorString: the code in decimal
    };
    struct Answer {
        std::string reply;
        uint32_t code = 0;
    };

    // Without an inner service every command succeeds with an empty reply unless scripted.
    explicit CommandRecorder(std::shared_ptr<MciService> inner = nullptr) : inner_(std::move(inner)) {}

    // Answers for a command (matched exactly): queued answers are used once each, in order;
    // a standing answer serves whenever the queue is empty.
    void script(const std::string& command, Answer a) { queued_[command].push_back(std::move(a)); }
    void always(const std::string& command, Answer a) { standing_[command] = std::move(a); }
    void setErrorText(const std::string& text) { errorText_ = text; }

    const std::vector<Call>& calls() const { return calls_; }
    std::vector<std::string> commands() const;  // the command texts, in order
    void clear() { calls_.clear(); }

    uint32_t sendString(const std::string& command, char* reply, uint32_t length, intptr_t callback) override;
    bool execute(const std::string& command) override;
    bool errorString(uint32_t code, char* buffer, uint32_t length) override;
    int subscribe(mci::DeviceListener l) override { return inner_ ? inner_->subscribe(std::move(l)) : 0; }
    void unsubscribe(int id) override {
        if (inner_) inner_->unsubscribe(id);
    }

private:
    bool scripted(const std::string& command, Answer& out);
    std::shared_ptr<MciService> inner_;
    std::map<std::string, std::deque<Answer>> queued_;
    std::map<std::string, Answer> standing_;
    std::vector<Call> calls_;
    std::string errorText_ = "error";
};

}  // namespace plim::media

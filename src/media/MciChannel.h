#pragma once
// The system's only path to the video device: the three MCI entry points, routed through a
// replaceable service so that tests can record every command and script the replies.
// GUI thread only.
#include <cstdint>
#include <memory>
#include <string>

#include "platform/mci/MciService.h"

namespace plim::media {

using mci::MciService;

// The service the entry points use. Without one installed, the entry points fail with 277.
void installService(std::shared_ptr<MciService> service);

// Hears every change of an open device (mci::DeviceNotice) from the service installed when
// it is made, for as long as it lives. GUI thread.
class DeviceWatch {
public:
    explicit DeviceWatch(mci::DeviceListener listener);
    ~DeviceWatch();
    DeviceWatch(const DeviceWatch&) = delete;
    DeviceWatch& operator=(const DeviceWatch&) = delete;

private:
    std::weak_ptr<MciService> service_;
    int id_ = 0;
};

uint32_t mciSendStringA(const std::string& command, char* reply, uint32_t length, intptr_t callback);
bool mciExecute(const std::string& command);
bool mciGetErrorStringA(uint32_t code, char* buffer, uint32_t length);

// The system's reply buffer: 1024 characters, local to each sending procedure.
constexpr uint32_t kReplyLength = 1024;
struct ReplyBuffer {
    char text[kReplyLength] = {};
    std::string str() const;
};

// A reply read as a number: its leading decimal number, blanks, tabs and line feeds
// skipped, 0 when there is none.
double ReplyNumber(const ReplyBuffer& reply);
// A reply read as a word: its first 7 characters equal "stopped", case-sensitive.
bool ReplyIsStopped(const ReplyBuffer& reply);

}  // namespace plim::media

#pragma once
// The MCI command-string service as the system calls it: three functions on UTF-8 text.
// GUI thread only.
#include <cstdint>
#include <memory>
#include <string>

#include "platform/mci/DeviceNotice.h"

namespace plim::mci {

class MciService {
public:
    virtual ~MciService() = default;
    // Returns 0 on success or an error number; writes the reply (cut to fit, NUL-terminated)
    // when reply is non-null and length > 0.
    virtual uint32_t sendString(const std::string& command, char* reply, uint32_t length, intptr_t callback) = 0;
    // Carries out the command; on failure shows the service's error box. True on success.
    virtual bool execute(const std::string& command) = 0;
    // The text for an error number, cut to fit. False for a number the service never gives.
    virtual bool errorString(uint32_t code, char* buffer, uint32_t length) = 0;
    // Tells listener of every change of an open device (DeviceNotice) from now on, until
    // unsubscribe with the number returned. A service that tells nothing returns 0.
    virtual int subscribe(DeviceListener) { return 0; }
    virtual void unsubscribe(int) {}
};

// The real service, playing media files with FFmpeg in windows of the forms layer.
std::shared_ptr<MciService> createService();

// Copies text into a caller's buffer, cut to fit and NUL-terminated.
void copyReply(const std::string& text, char* buffer, uint32_t length);

}  // namespace plim::mci

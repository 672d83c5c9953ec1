// libFuzzer target: the whole service command path. Each input is a few command strings, one
// a line; "$CLIP" stands for a real small clip and "$H" for the handle of a host window. Every
// reply goes into a 1024-byte buffer inside a larger guarded one: a write outside it, or a
// reply without its terminating NUL, is a finding. All devices are closed after each input.
#include <QApplication>
#include <QWidget>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "app/Process.h"
#include "platform/forms/Handles.h"
#include "platform/mci/MciService.h"

namespace {
QApplication* app;
QWidget* host;
std::shared_ptr<plim::mci::MciService> service;
std::string clipPath;

void replaceAll(std::string& s, const std::string& from, const std::string& to) {
    for (size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size())) s.replace(at, from.size(), to);
}

void sendGuarded(const std::string& cmd) {
    constexpr size_t kGuard = 256, kReply = 1024;
    static char big[kGuard + kReply + kGuard];
    std::memset(big, 0xA5, sizeof big);
    service->sendString(cmd, big + kGuard, kReply, 0);
    for (size_t i = 0; i < kGuard; ++i)
        if (uint8_t(big[i]) != 0xA5 || uint8_t(big[kGuard + kReply + i]) != 0xA5) __builtin_trap();
    if (!std::memchr(big + kGuard, 0, kReply)) __builtin_trap();
    app->processEvents();
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    plim::settleProcess();
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("SDL_AUDIODRIVER", "dummy");
    app = new QApplication(*argc, *argv);
    host = new QWidget;
    service = plim::mci::createService();
    const char* clip = std::getenv("PLIM_FUZZ_CLIP");
    clipPath = clip ? clip : PLIM_FUZZ_CLIP;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string input(reinterpret_cast<const char*>(data), std::min<size_t>(size, 4096));
    replaceAll(input, "$CLIP", clipPath);
    replaceAll(input, "$H", std::to_string(plim::forms::handleOf(host)));
    size_t start = 0;
    for (int n = 0; n < 8 && start <= input.size(); ++n) {
        size_t end = input.find('\n', start);
        if (end == std::string::npos) end = input.size();
        sendGuarded(input.substr(start, end - start));
        start = end + 1;
    }
    service->sendString("close all", nullptr, 0, 0);
    return 0;
}

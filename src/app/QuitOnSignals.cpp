#include "app/QuitOnSignals.h"

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <csignal>
#include <cstdlib>

namespace plim {
namespace {
int g_pipe[2] = {-1, -1};
std::function<void()> g_atExit;

void onSignal(int) {
    char byte = 1;
    ssize_t n = ::write(g_pipe[1], &byte, 1);  // async-signal-safe; a full pipe already has news
    (void)n;
}
}  // namespace

void quitOnSignals(std::function<void()> quit) {
    if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    auto* notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read);  // lives as long as the program
    QObject::connect(notifier, &QSocketNotifier::activated, [quit = std::move(quit)] {
        char buf[16];
        while (::read(g_pipe[0], buf, sizeof buf) > 0) {
        }
        quit();
    });
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(sig, &sa, nullptr);
}

void quitAtExit(std::function<void()> quit) {
    g_atExit = std::move(quit);
    std::atexit([] {
        if (g_atExit) g_atExit();
    });
}

}  // namespace plim

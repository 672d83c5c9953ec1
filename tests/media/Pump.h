#pragma once
// Drives a player's display as the window's timer would, for the engine's tests.
#include <chrono>
#include <thread>

#include "platform/engine/play/Player.h"

namespace plim::test {

// Calls frameToShow until pred holds or timeoutMs pass, and each(frame) for every frame
// shown; returns the last frame shown.
template <typename Pred, typename Each>
engine::VideoFrame pump(engine::Player& p, Pred pred, Each each, int timeoutMs = 20000) {
    engine::VideoFrame last;
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!pred() && std::chrono::steady_clock::now() < until) {
        if (auto f = p.frameToShow(engine::Player::nowUs())) {
            each(*f);
            last = *f;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return last;
}

template <typename Pred>
engine::VideoFrame pump(engine::Player& p, Pred pred, int timeoutMs = 20000) {
    return pump(p, pred, [](const engine::VideoFrame&) {}, timeoutMs);
}

}  // namespace plim::test

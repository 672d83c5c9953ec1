#pragma once
// A fresh run for each widget test: shared state reset, the windows discarded, the MCI
// service replaced by a command recorder, message boxes answered by a recorder, and End
// turned into an exception the test can catch.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <optional>
#include <string>
#include <vector>

#include "module1/Module1.h"
#include "CommandRecorder.h"
#include "media/MciChannel.h"
#include "media/SoundLevel.h"
#include "platform/forms/Interaction.h"
#include "platform/forms/Screen.h"
#include "windows/Windows.h"

namespace plim::test {

struct Ended {};

struct Box {
    std::string text;
    int buttons;
    std::optional<std::string> title;
};

class AppTest : public ::testing::Test {
protected:
    void SetUp() override {
        Module1::ResetState();
        ResetSoundLevel();
        forms::Screen::setDpiOverride(96);
        recorder = std::make_shared<media::CommandRecorder>(inner());
        media::installService(recorder);
        forms::setMsgBoxHandler([this](const std::string& t, int b, const std::optional<std::string>& title) {
            boxes.push_back({t, b, title});
            return answer;
        });
        forms::setEndHandler([] { throw Ended{}; });
    }
    void TearDown() override {
        DiaLog.reset();
        VFrm.reset();
        Ufrm.reset();
        MainFrm.reset();
        media::installService(nullptr);
        forms::setMsgBoxHandler({});
        forms::setEndHandler({});
        forms::Screen::setDpiOverride(0);
        QCoreApplication::processEvents();
    }
    // The service behind the recorder: none (scripted replies only) unless a test wants the real one.
    virtual std::shared_ptr<media::MciService> inner() { return nullptr; }

    // Commands carried, in order, each as "function: command".
    std::vector<std::string> sent() const {
        std::vector<std::string> out;
        for (const auto& c : recorder->calls()) {
            const char* via = c.via == media::CommandRecorder::Via::SendString ? "send"
                              : c.via == media::CommandRecorder::Via::Execute  ? "exec"
                                                                               : "error";
            out.push_back(std::string(via) + ": " + c.command);
        }
        return out;
    }

    std::shared_ptr<media::CommandRecorder> recorder;
    std::vector<Box> boxes;
    int answer = forms::vbOK;
};

// Handles window events for a while (the display timer, painting).
inline void pumpEvents(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

}  // namespace plim::test

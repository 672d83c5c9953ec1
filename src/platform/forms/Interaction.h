#pragma once
// Message boxes, yielding, the clipboard and ending the process, each behind a seam that
// tests replace so that no test blocks on a modal box or ends the test program.
// GUI thread only.
#include <functional>

#include <QImage>
#include <optional>
#include <string>

namespace plim::forms {

// Buttons argument and results, with the runtime's numbers.
constexpr int vbOKOnly = 0;
constexpr int vbOKCancel = 1;
constexpr int vbOK = 1;
constexpr int vbCancel = 2;

// The application's title, used as a message box caption when none is given.
inline constexpr const char* kAppTitle = "Plim";

// title: nullopt uses the application's title; "" gives an empty caption.
using MsgBoxHandler =
    std::function<int(const std::string& text, int buttons, const std::optional<std::string>& title)>;

int MsgBox(const std::string& text, int buttons = vbOKOnly,
           const std::optional<std::string>& title = std::nullopt);
// Installs a handler (tests: a recorder); an empty handler restores the modal box.
void setMsgBoxHandler(MsgBoxHandler handler);

// Handles the pending window events once.
void DoEvents();

void ClipboardClear();
// Puts the picture on the clipboard, as an image in every type the toolkit offers (PNG
// among them).
void ClipboardSetImage(const QImage& picture);

// Ends the process at once: no further handler of any window runs.
[[noreturn]] void End();
// Tests install a handler that throws; it must not return.
void setEndHandler(std::function<void()> handler);

// Runs an event handler; a runtime error ends the program with the runtime's message,
// as the system's runtime would.
void dispatch(const std::function<void()>& handler);

}  // namespace plim::forms

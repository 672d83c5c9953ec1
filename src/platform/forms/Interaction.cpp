#include "platform/forms/Interaction.h"

#include <unistd.h>

#include <QApplication>
#include <QClipboard>
#include <QMessageBox>
#include <cstdio>

#include "platform/forms/Runtime.h"

namespace plim::forms {
namespace {
MsgBoxHandler g_msgBox;
std::function<void()> g_end;

int modalBox(const std::string& text, int buttons, const std::optional<std::string>& title) {
    QMessageBox box;
    // An empty title is shown as a blank: the toolkit would otherwise show the program's name.
    std::string t = title.value_or(kAppTitle);
    box.setWindowTitle(t.empty() ? QStringLiteral(" ") : QString::fromStdString(t));
    box.setText(QString::fromStdString(text));
    if (buttons == vbOKCancel) {
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
    }
    box.setDefaultButton(QMessageBox::Ok);
    box.setEscapeButton(buttons == vbOKCancel ? QMessageBox::Cancel : QMessageBox::Ok);
    return box.exec() == QMessageBox::Cancel ? vbCancel : vbOK;
}
}  // namespace

int MsgBox(const std::string& text, int buttons, const std::optional<std::string>& title) {
    if (g_msgBox) return g_msgBox(text, buttons, title);
    return modalBox(text, buttons, title);
}

void setMsgBoxHandler(MsgBoxHandler handler) { g_msgBox = std::move(handler); }

void DoEvents() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

void ClipboardClear() {
    if (QClipboard* c = QGuiApplication::clipboard()) c->clear();
}

void ClipboardSetImage(const QImage& picture) {
    if (QClipboard* c = QGuiApplication::clipboard()) c->setImage(picture);
}

void End() {
    if (g_end) g_end();
    std::fflush(stdout);
    std::fflush(stderr);
    ::_exit(0);
}

void setEndHandler(std::function<void()> handler) { g_end = std::move(handler); }

void dispatch(const std::function<void()>& handler) {
    if (!handler) return;
    try {
        handler();
    } catch (const rt::RuntimeError& e) {
        MsgBox("実行時エラー '" + std::to_string(e.number()) + "':\n\n" + e.what());
        End();
    }
}

}  // namespace plim::forms

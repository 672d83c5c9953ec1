#include "platform/forms/Form.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QKeyEvent>
#include <QMimeData>
#include <QIcon>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <cmath>

#include "platform/forms/Controls.h"
#include "platform/forms/FrameExtents.h"
#include "platform/forms/Interaction.h"
#include "platform/forms/Screen.h"
#include "platform/gdi/Gdi.h"

namespace plim::forms {

QColor vbColor(uint32_t value) {
    if (value & 0x80000000u) return QColor(0xF0, 0xF0, 0xF0);  // button face
    return QColor(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF);
}

// The top-level widget of a form: paints the background and the line controls, and turns
// the title bar's close into the form's unload.
class FormWidget : public QWidget {
public:
    explicit FormWidget(Form* form) : form_(form) {}

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        for (LineCtl* l : form_->lines()) l->paint(p);
    }
    void closeEvent(QCloseEvent* e) override {
        e->ignore();
        if (form_->hasCloseBox()) dispatch([this] { form_->requestUnload(); });
    }
    void showEvent(QShowEvent*) override {
        // The window manager reports its frame some time after the window is mapped.
        for (int ms : {0, 50, 150, 400, 1000}) {
            QTimer::singleShot(ms, this, [this] { form_->syncFrame(); });
        }
    }
    void moveEvent(QMoveEvent*) override { form_->syncFrame(); }
    void keyPressEvent(QKeyEvent* e) override {
        int16_t code = keyCode(e->key());
        if (!code) return QWidget::keyPressEvent(e);
        int16_t shift = int16_t(((e->modifiers() & Qt::ShiftModifier) ? 1 : 0) |
                                ((e->modifiers() & Qt::ControlModifier) ? 2 : 0) | ((e->modifiers() & Qt::AltModifier) ? 4 : 0));
        dispatch([this, code, shift] { form_->Form_KeyDown(code, shift); });
    }
    void dragEnterEvent(QDragEnterEvent* e) override {
        if (!localFiles(e->mimeData()).empty()) e->acceptProposedAction();
    }
    void dropEvent(QDropEvent* e) override {
        std::vector<std::string> paths = localFiles(e->mimeData());
        if (paths.empty()) return;
        e->acceptProposedAction();
        // After the drop's own handling: opening a file may show a message box.
        QTimer::singleShot(0, this, [this, paths] { dispatch([this, paths] { form_->Form_FilesDropped(paths); }); });
    }

private:
    static int16_t keyCode(int key) {
        switch (key) {
            case Qt::Key_Escape: return kKeyEscape;
            case Qt::Key_Space: return kKeySpace;
            case Qt::Key_End: return kKeyEnd;
            case Qt::Key_Home: return kKeyHome;
            case Qt::Key_Left: return kKeyLeft;
            case Qt::Key_Up: return kKeyUp;
            case Qt::Key_Right: return kKeyRight;
            case Qt::Key_Down: return kKeyDown;
            case Qt::Key_Comma: return kKeyComma;
            case Qt::Key_Period: return kKeyPeriod;
            default: break;
        }
        if ((key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9)) return int16_t(key);
        return 0;
    }
    static std::vector<std::string> localFiles(const QMimeData* m) {
        std::vector<std::string> out;
        if (!m || !m->hasUrls()) return out;
        for (const QUrl& u : m->urls())
            if (u.isLocalFile()) out.push_back(QFile::encodeName(u.toLocalFile()).toStdString());
        return out;
    }
    Form* form_;
};

namespace {
// Frame margins last seen on a shown window, per border style: the estimate for a window
// that has not been shown yet (the same window manager draws the same frame).
QMargins g_lastKnown[2];
bool g_known[2] = {false, false};

int idx(Border b) { return b == Border::FixedSingle ? 0 : 1; }
int toPx(float twips, float tpp) { return static_cast<int>(std::lround(twips / tpp)); }
}  // namespace

Form::Form(const FormDesign& d) : w_(new FormWidget(this)), border_(d.border), closeBox_(d.closeBox) {
    Qt::WindowFlags f = Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowMinimizeButtonHint;
    if (d.closeBox) f |= Qt::WindowCloseButtonHint;
    w_->setWindowFlags(f);
    w_->setAttribute(Qt::WA_DeleteOnClose, false);
    w_->setAutoFillBackground(true);
    QPalette pal = w_->palette();
    pal.setColor(QPalette::Window, vbColor(d.backColor));
    w_->setPalette(pal);
    setCaption(d.caption);
    if (d.icon) {  // every size drawn: the window manager picks the one its screen needs
        QIcon icon;
        for (const char* file : {":/icons/film.xpm", ":/icons/film@2x.xpm", ":/icons/film@3x.xpm"}) icon.addFile(file);
        w_->setWindowIcon(icon);
    }
    resizeClient(QSize(toPx(d.clientWidthTwips, Screen::TwipsPerPixelX()),
                       toPx(d.clientHeightTwips, Screen::TwipsPerPixelY())));
}

Form::~Form() { delete w_; }

QWidget* Form::widget() const { return w_; }

void Form::setAcceptsFiles(bool on) { w_->setAcceptDrops(on); }

QMargins Form::frameMargins() const {
    QWindow* h = w_->windowHandle();
    if (w_->isVisible() && h) {
        QMargins m = h->frameMargins();
        // Just after mapping, the toolkit reports no frame until the window manager's arrives:
        // that is not news, and placing by it would put the window a title bar too high.
        if (m.isNull() && g_known[idx(border_)] && !g_lastKnown[idx(border_)].isNull()) return g_lastKnown[idx(border_)];
        g_lastKnown[idx(border_)] = m;
        g_known[idx(border_)] = true;
        return m;
    }
    if (!g_known[idx(border_)]) {  // first window of its kind: ask the window manager
        if (auto m = requestFrameExtents(w_)) g_lastKnown[idx(border_)] = *m;
        g_known[idx(border_)] = true;
    }
    return g_lastKnown[idx(border_)];
}

QSize Form::outerPx() const {
    QMargins m = frameMargins();
    return QSize(w_->width() + m.left() + m.right(), w_->height() + m.top() + m.bottom());
}

void Form::resizeClient(QSize client) {
    client = client.expandedTo(QSize(1, 1));
    if (border_ == Border::FixedSingle) {
        w_->setFixedSize(client);
    } else {
        w_->resize(client);
    }
}

QPoint Form::framePosPx() const {
    QMargins m = frameMargins();
    return w_->geometry().topLeft() - QPoint(m.left(), m.top());
}

float Form::Left() const { return float(framePosPx().x() - Screen::originPx().x()) * Screen::TwipsPerPixelX(); }
float Form::Top() const { return float(framePosPx().y() - Screen::originPx().y()) * Screen::TwipsPerPixelY(); }
float Form::Width() const { return outerPx().width() * Screen::TwipsPerPixelX(); }
float Form::Height() const { return outerPx().height() * Screen::TwipsPerPixelY(); }
float Form::ScaleWidth() const { return static_cast<float>(w_->width()); }
float Form::ScaleHeight() const { return static_cast<float>(w_->height()); }

// The outer frame's position is kept as asked for; the client area is placed inside it, so
// that the result does not depend on when the window manager reports its frame.
void Form::setLeft(float twips) {
    framePos_ = QPoint(toPx(twips, Screen::TwipsPerPixelX()) + Screen::originPx().x(), framePosPx().y());
    placeClient();
}

void Form::setTop(float twips) {
    framePos_ = QPoint(framePosPx().x(), toPx(twips, Screen::TwipsPerPixelY()) + Screen::originPx().y());
    placeClient();
}

void Form::placeClient() {
    QMargins m = frameMargins();

    posSet_ = true;
    posMargins_ = m;
    w_->setGeometry(QRect(framePos_ + QPoint(m.left(), m.top()), w_->size()));
}

void Form::setWidth(float twips) {
    ++sizings_;
    QMargins m = frameMargins();
    int outer = toPx(twips, Screen::TwipsPerPixelX());
    if (!outerSet_) requestedOuter_ = QSize(-1, -1);
    outerSet_ = true;
    requestedOuter_.setWidth(outer);
    assumed_ = m;
    resizeClient(QSize(outer - m.left() - m.right(), w_->height()));
}

void Form::setHeight(float twips) {
    ++sizings_;
    QMargins m = frameMargins();
    int outer = toPx(twips, Screen::TwipsPerPixelY());
    if (!outerSet_) requestedOuter_ = QSize(-1, -1);
    outerSet_ = true;
    requestedOuter_.setHeight(outer);
    assumed_ = m;
    resizeClient(QSize(w_->width(), outer - m.top() - m.bottom()));
}

void Form::syncFrame() {
    if (!w_->isVisible() || fullScreen_) return;
    QMargins m = frameMargins();

    if (posSet_ && m != posMargins_) placeClient();
    if (!outerSet_ || m == assumed_) return;
    QSize c(w_->width(), w_->height());
    if (requestedOuter_.width() >= 0) c.setWidth(requestedOuter_.width() - m.left() - m.right());
    if (requestedOuter_.height() >= 0) c.setHeight(requestedOuter_.height() - m.top() - m.bottom());
    assumed_ = m;
    resizeClient(c);
}

std::string Form::Caption() const { return caption_; }

// An empty caption is shown as a blank: the toolkit would otherwise show the program's name.
void Form::setCaption(const std::string& text) {
    caption_ = text;
    w_->setWindowTitle(text.empty() ? QStringLiteral(" ") : QString::fromStdString(text));
}

void Form::Show() {
    w_->show();
    w_->raise();
    syncFrame();
}
void Form::Hide() { w_->hide(); }
bool Form::Visible() const { return w_->isVisible(); }

void Form::SetFocus() {
    if (!w_->isVisible()) return;
    w_->raise();
    w_->activateWindow();
    w_->setFocus(Qt::OtherFocusReason);
}

void Form::Refresh() { w_->repaint(); }

// A window of fixed size has its minimum equal to its maximum, which a window manager reads
// as "cannot be resized": the bounds are lifted for full screen and set again after it.
void Form::setFullScreen(bool on) {
    if (on == fullScreen_) return;
    if (on) {
        normalClient_ = w_->size();
        fullScreen_ = true;
        w_->setMinimumSize(0, 0);
        w_->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        w_->showFullScreen();
        return;
    }
    fullScreen_ = false;
    w_->showNormal();
    // The window manager gives the frame back some time after: the size and place are set
    // again as it settles, as when a window is first shown.
    const int restore = ++sizings_;  // until the program sizes the window again
    for (int ms : {0, 50, 150, 400, 1000})
        QTimer::singleShot(ms, w_, [this, restore, client = normalClient_] {
            if (fullScreen_ || sizings_ != restore) return;
            resizeClient(client);
            if (posSet_) placeClient();
        });
    resizeClient(normalClient_);
    if (posSet_) placeClient();
}

QSize Form::screenSizePx() const {
    QScreen* s = w_->screen();
    return s ? s->geometry().size() : QSize(1024, 768);
}

intptr_t Form::hDC() { return gdi::dcForWindow(w_); }

void Form::addLine(LineCtl* line) { lines_.push_back(line); }

void Form::addControl(Control* c, int tabIndex) {
    if (tabIndex >= 0) tab_.emplace_back(tabIndex, c);
}

void Form::applyTabOrder() {
    std::sort(tab_.begin(), tab_.end(), [](auto& a, auto& b) { return a.first < b.first; });
    for (size_t i = 1; i < tab_.size(); ++i) {
        QWidget::setTabOrder(tab_[i - 1].second->widget(), tab_[i].second->widget());
    }
}

void Form::requestUnload() {
    if (unloadRequest_) {
        unloadRequest_();
    } else {
        Hide();
    }
}

void discardFormLater(std::unique_ptr<Form> f) {
    Form* raw = f.release();
    QTimer::singleShot(0, qApp, [raw] { delete raw; });
}

}  // namespace plim::forms

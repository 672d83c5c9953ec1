#include "platform/forms/Controls.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QStyle>
#include <QStyleOption>
#include <cmath>

#include "platform/forms/FileNames.h"
#include "platform/forms/Interaction.h"
#include "platform/forms/Screen.h"
#include "platform/gdi/Gdi.h"

namespace plim::forms {

// On a screen scaled by k, the artwork drawn for k (name@2x.xpm, name@3x.xpm), or for the
// largest k below it that has some, marked with its device pixel ratio so that it takes the
// same room as the 1x picture and is painted pixel for pixel.
Picture LoadResPicture(const char* name) {
    const QString path = QString(":/icons/") + name;
    int k = qApp ? int(std::floor(qApp->devicePixelRatio())) : 1;
    for (int m = std::min(k, 3); m >= 2; --m) {
        QString dense = path;
        dense.insert(dense.lastIndexOf('.'), QString("@%1x").arg(m));
        QImage img(dense);
        if (img.isNull()) continue;
        img.setDevicePixelRatio(m);
        return img;
    }
    return QImage(path);
}

namespace {
float pxX(float twips) { return twips / Screen::TwipsPerPixelX(); }
float pxY(float twips) { return twips / Screen::TwipsPerPixelY(); }
int r(float v) { return static_cast<int>(std::lround(v)); }

// The graphical button: face colour, picture centred, a 3D edge raised or pressed in.
class PictureButtonWidget : public QAbstractButton {
public:
    PictureButtonWidget(QWidget* parent, QColor face) : QAbstractButton(parent), face_(face) {}
    QImage picture;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(rect(), face_);
        bool down = isDown();
        QPixmap pm = QPixmap::fromImage(picture);
        if (!isEnabled() && !pm.isNull()) {
            QStyleOption opt;
            opt.initFrom(this);
            pm = style()->generatedIconPixmap(QIcon::Disabled, pm, &opt);
        }
        int off = down ? 1 : 0;
        QSize size = pm.deviceIndependentSize().toSize();  // a dense screen's artwork takes the 1x room
        p.drawPixmap((width() - size.width()) / 2 + off, (height() - size.height()) / 2 + off, pm);
        QColor light = down ? QColor(0x80, 0x80, 0x80) : Qt::white;
        QColor dark = down ? Qt::white : QColor(0x40, 0x40, 0x40);
        p.setPen(light);
        p.drawLine(0, 0, width() - 1, 0);
        p.drawLine(0, 0, 0, height() - 1);
        p.setPen(dark);
        p.drawLine(0, height() - 1, width() - 1, height() - 1);
        p.drawLine(width() - 1, 0, width() - 1, height() - 1);
    }

private:
    QColor face_;
};

// The picture box's widget: background, picture or persistent bitmap, mouse events in the
// runtime's button sets. Qt grabs the pointer while a button is held, so moves and the
// release arrive also outside the box.
class PictureBoxWidget : public QWidget {
public:
    PictureBoxWidget(QWidget* parent, PictureBox* box) : QWidget(parent), box_(box) {}

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(rect(), box_->backColor());
        if (!box_->bitmap()->isNull()) p.drawImage(0, 0, *box_->bitmap());
        else if (!box_->picture().isNull()) p.drawImage(0, 0, box_->picture());
    }
    void mousePressEvent(QMouseEvent* e) override { fire(box_->MouseDown, buttonBit(e->button()), e); }
    void mouseMoveEvent(QMouseEvent* e) override { fire(box_->MouseMove, heldBits(e->buttons()), e); }
    void mouseReleaseEvent(QMouseEvent* e) override { fire(box_->MouseUp, buttonBit(e->button()), e); }
    void mouseDoubleClickEvent(QMouseEvent* e) override {
        if (e->button() != Qt::LeftButton || !box_->DblClick) return QWidget::mouseDoubleClickEvent(e);
        dispatch(box_->DblClick);
    }

private:
    static int16_t buttonBit(Qt::MouseButton b) {
        return b == Qt::LeftButton ? 1 : b == Qt::RightButton ? 2 : b == Qt::MiddleButton ? 4 : 0;
    }
    static int16_t heldBits(Qt::MouseButtons bs) {
        return int16_t((bs & Qt::LeftButton ? 1 : 0) | (bs & Qt::RightButton ? 2 : 0) |
                       (bs & Qt::MiddleButton ? 4 : 0));
    }
    static int16_t shiftBits(Qt::KeyboardModifiers m) {
        return int16_t((m & Qt::ShiftModifier ? 1 : 0) | (m & Qt::ControlModifier ? 2 : 0) |
                       (m & Qt::AltModifier ? 4 : 0));
    }
    void fire(const std::function<void(int16_t, int16_t, float, float)>& f, int16_t b, QMouseEvent* e) {
        if (!f) return;
        auto pos = e->position();
        int16_t sh = shiftBits(e->modifiers());
        dispatch([&] { f(b, sh, float(pos.x()), float(pos.y())); });
    }
    PictureBox* box_;
};
}  // namespace

// --- Control ---------------------------------------------------------------------------

Control::Control(Form& form, QWidget* w, const Twips& g, int tabIndex)
    : form_(form), w_(w), left_(pxX(g.left)), top_(pxY(g.top)), width_(pxX(g.width)), height_(pxY(g.height)) {
    form.addControl(this, tabIndex);
    Control::applyGeometry();
    w->show();
}

void Control::applyGeometry() {
    if (!w_) return;
    int x = r(left_), y = r(top_);
    w_->setGeometry(x, y, std::max(0, r(left_ + width_) - x), std::max(0, r(top_ + height_) - y));
}

void Control::setLeft(float px) { left_ = px; applyGeometry(); }
void Control::setTop(float px) { top_ = px; applyGeometry(); }
void Control::setWidth(float px) { width_ = px; applyGeometry(); }
void Control::setHeight(float px) { height_ = px; applyGeometry(); }

bool Control::Enabled() const { return w_ && w_->isEnabled(); }
void Control::setEnabled(bool on) { if (w_) w_->setEnabled(on); }
bool Control::Visible() const { return visible_; }
void Control::setVisible(bool on) {
    visible_ = on;
    if (w_) w_->setVisible(on);
}
std::string Control::ToolTipText() const { return w_ ? w_->toolTip().toStdString() : std::string(); }
// The tooltip is also the accessible name: screen readers read what the picture means.
void Control::setToolTipText(const std::string& t) {
    if (!w_) return;
    w_->setToolTip(QString::fromStdString(t));
    w_->setAccessibleName(QString::fromStdString(t));
}
void Control::SetFocus() { if (w_) w_->setFocus(Qt::OtherFocusReason); }

// --- buttons ---------------------------------------------------------------------------

PictureButton::PictureButton(Form& form, const Twips& g, int tabIndex, const Picture& picture, uint32_t back)
    : Control(form, new PictureButtonWidget(form.widget(), vbColor(back)), g, tabIndex) {
    setPicture(picture);
    QObject::connect(static_cast<QAbstractButton*>(widget()), &QAbstractButton::clicked,
                     [this] { dispatch(Click); });
}

void PictureButton::setPicture(const Picture& p) {
    picture_ = p;
    auto* b = static_cast<PictureButtonWidget*>(widget());
    b->picture = p;
    b->update();
}

CommandButton::CommandButton(Form& form, const Twips& g, int tabIndex, const std::string& caption)
    : Control(form, new QPushButton(QString::fromStdString(caption), form.widget()), g, tabIndex) {
    QObject::connect(static_cast<QPushButton*>(widget()), &QPushButton::clicked, [this] { dispatch(Click); });
}

// --- picture box -----------------------------------------------------------------------

PictureBox::PictureBox(Form& form, const Twips& g, int tabIndex, uint32_t back, bool autoRedraw)
    : Control(form, new PictureBoxWidget(form.widget(), this), g, tabIndex), back_(vbColor(back)),
      autoRedraw_(autoRedraw) {
    resetBitmap();
}

PictureBox::~PictureBox() {
    if (dc_) gdi::releaseDc(dc_);
}

HWND PictureBox::hWnd() const { return handleOf(widget()); }

float PictureBox::ScaleWidth() const { return scaleW_ >= 0 ? scaleW_ : float(widget()->width()); }
float PictureBox::ScaleHeight() const { return scaleH_ >= 0 ? scaleH_ : float(widget()->height()); }

void PictureBox::setPicture(const Picture& p) {
    picture_ = p;
    if (autoRedraw_) {
        resetBitmap();
        if (!p.isNull()) {
            QPainter painter(&bitmap_);
            painter.drawImage(0, 0, p);
        }
    }
    widget()->update();
}

void PictureBox::resetBitmap() {
    if (!autoRedraw_) return;
    QSize s = widget()->size().expandedTo(QSize(1, 1));
    bitmap_ = QImage(s, QImage::Format_RGB32);
    bitmap_.fill(back_);
}

intptr_t PictureBox::hDC() {
    if (!dc_) dc_ = autoRedraw_ ? gdi::dcForBitmap(&bitmap_) : gdi::dcForWindow(widget());
    return dc_;
}

Picture PictureBox::Image() const { return autoRedraw_ ? bitmap_ : picture_; }

void PictureBox::applyGeometry() {
    Control::applyGeometry();
    if (!autoRedraw_ || !widget()) return;
    QSize s = widget()->size().expandedTo(QSize(1, 1));
    if (bitmap_.size() == s) return;
    QImage grown(s, QImage::Format_RGB32);
    grown.fill(back_);
    QPainter p(&grown);
    p.drawImage(0, 0, bitmap_);
    p.end();
    bitmap_ = grown;
}

// --- image, line, timer, text ----------------------------------------------------------

ImageCtl::ImageCtl(Form& form, const Twips& g, const Picture& p) : Control(form, new QWidget(form.widget()), g, -1) {
    setPicture(p);
    widget()->setAttribute(Qt::WA_TransparentForMouseEvents);
}

void ImageCtl::setPicture(const Picture& p) {
    picture_ = p;
    QPalette pal = widget()->palette();
    widget()->setAutoFillBackground(!p.isNull());
    if (!p.isNull()) pal.setBrush(QPalette::Window, QBrush(p));
    widget()->setPalette(pal);
}

LineCtl::LineCtl(Form& form, float x1, float y1, float x2, float y2)
    : X1(pxX(x1)), Y1(pxY(y1)), X2(pxX(x2)), Y2(pxY(y2)) {
    form.addLine(this);
}

void LineCtl::paint(QPainter& p) const {
    p.setPen(QPen(Qt::black, 1));
    p.drawLine(QPointF(X1, Y1), QPointF(X2, Y2));
}

Timer::Timer(int intervalMs, bool enabled) {
    timer_.setInterval(intervalMs);
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, [this] { dispatch(TimerEvent); });
    if (enabled) timer_.start();
}

void Timer::setEnabled(bool on) {
    if (on && !timer_.isActive()) timer_.start();
    if (!on) timer_.stop();
}

void Timer::setInterval(int ms) { timer_.setInterval(ms); }

TextBox::TextBox(Form& form, const Twips& g, int tabIndex) : Control(form, new QLineEdit(form.widget()), g, tabIndex) {}

QLineEdit* TextBox::edit() const { return static_cast<QLineEdit*>(widget()); }
std::string TextBox::Text() const { return edit()->text().toStdString(); }
void TextBox::setText(const std::string& t) { edit()->setText(displayName(t)); }

}  // namespace plim::forms

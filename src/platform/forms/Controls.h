#pragma once
// Controls of the forms layer. Geometry is in the form's pixels, kept as single-precision
// values (a 255-twip button is 21.25 px at 12 twips per pixel) and rounded only when drawn.
// Events are plain std::function members that the owning window wires to its handlers; they
// run on the GUI thread through dispatch(). GUI thread only.
#include <QImage>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/forms/Form.h"
#include "platform/forms/Handles.h"

class QPainter;
class QAbstractButton;
class QLineEdit;
class QPushButton;

namespace plim::forms {

using Picture = QImage;  // a null image is "no picture"

// Loads a picture from the program's resources (":/icons/name.xpm").
Picture LoadResPicture(const char* name);

// Design geometry in twips, converted with the screen factors at creation.
struct Twips {
    float left, top, width, height;
};

class Control {
public:
    Control(Form& form, QWidget* w, const Twips& g, int tabIndex);
    virtual ~Control() = default;
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    float Left() const { return left_; }
    float Top() const { return top_; }
    float Width() const { return width_; }
    float Height() const { return height_; }
    void setLeft(float px);
    void setTop(float px);
    void setWidth(float px);
    void setHeight(float px);

    bool Enabled() const;
    void setEnabled(bool on);
    bool Visible() const;
    void setVisible(bool on);
    std::string ToolTipText() const;
    void setToolTipText(const std::string& text);
    void SetFocus();

    QWidget* widget() const { return w_; }
    Form& form() const { return form_; }

protected:
    virtual void applyGeometry();

private:
    Form& form_;
    QPointer<QWidget> w_;
    float left_, top_, width_, height_;
    bool visible_ = true;
};

// The graphical button: a picture on a raised face, no caption.
class PictureButton : public Control {
public:
    PictureButton(Form& form, const Twips& g, int tabIndex, const Picture& picture, uint32_t backColor = kButtonFace);
    Picture picture() const { return picture_; }
    void setPicture(const Picture& p);
    std::function<void()> Click;

private:
    Picture picture_;
};

class CommandButton : public Control {
public:
    CommandButton(Form& form, const Twips& g, int tabIndex, const std::string& caption);
    std::function<void()> Click;
};

// The picture box: pixel scale (ScaleWidth/ScaleHeight settable for a custom scale), a
// window handle, an optional Picture, and with AutoRedraw a persistent bitmap of its client
// size into which its device context draws.
class PictureBox : public Control {
public:
    PictureBox(Form& form, const Twips& g, int tabIndex, uint32_t backColor, bool autoRedraw = false);
    ~PictureBox() override;

    HWND hWnd() const;
    float ScaleWidth() const;
    float ScaleHeight() const;
    void setScaleWidth(float v) { scaleW_ = v; }
    void setScaleHeight(float v) { scaleH_ = v; }

    Picture picture() const { return picture_; }
    void setPicture(const Picture& p);  // a null picture empties the box (and its bitmap)
    intptr_t hDC();                     // the persistent bitmap's device context (AutoRedraw)
    Picture Image() const;              // the persistent bitmap
    QImage* bitmap() { return &bitmap_; }
    QColor backColor() const { return back_; }

    // Button set: 1 left, 2 right, 4 middle. x, y: pixels from the box's top-left corner.
    std::function<void(int16_t button, int16_t shift, float x, float y)> MouseDown, MouseMove, MouseUp;
    // A double click of the left button on the box or on a window inside it that has no use
    // for it (the playback window).
    std::function<void()> DblClick;

private:
    void applyGeometry() override;
    void resetBitmap();
    Picture picture_;
    QImage bitmap_;
    QColor back_;
    bool autoRedraw_;
    float scaleW_ = -1, scaleH_ = -1;
    intptr_t dc_ = 0;
};

// The image control used as a picture store.
class ImageCtl : public Control {
public:
    ImageCtl(Form& form, const Twips& g, const Picture& p);
    Picture picture() const { return picture_; }
    void setPicture(const Picture& p);

private:
    Picture picture_;
};

// A line drawn on the form's surface, behind the controls.
class LineCtl {
public:
    LineCtl(Form& form, float x1Twips, float y1Twips, float x2Twips, float y2Twips);
    void paint(QPainter& p) const;
    float X1, Y1, X2, Y2;  // pixels
};

class Timer {
public:
    Timer(int intervalMs, bool enabled);
    bool Enabled() const { return timer_.isActive(); }
    void setEnabled(bool on);
    int Interval() const { return timer_.interval(); }
    void setInterval(int ms);
    std::function<void()> TimerEvent;

private:
    QTimer timer_;
};

class TextBox : public Control {
public:
    TextBox(Form& form, const Twips& g, int tabIndex);
    std::string Text() const;
    void setText(const std::string& t);
    QLineEdit* edit() const;
};

}  // namespace plim::forms

#pragma once
// A window with the property model the handlers are written against: outer position and
// size in twips (frame and title bar included as the window manager draws them), client
// size in pixels (ScaleWidth/ScaleHeight), and the load/unload events. GUI thread only.
#include <QColor>
#include <QImage>
#include <QMargins>
#include <QPointer>
#include <QSize>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace plim::forms {

class Control;
class LineCtl;

enum class Border { FixedSingle, Sizable };

// Key codes that Form_KeyDown reports: letters and digits as their upper-case characters.
constexpr int16_t kKeyEscape = 27, kKeySpace = 32, kKeyEnd = 35, kKeyHome = 36, kKeyLeft = 37, kKeyUp = 38, kKeyRight = 39,
                  kKeyDown = 40, kKeyComma = 188, kKeyPeriod = 190;

// 0x00BBGGRR, or 0x800000nn for system colour nn (only the button face is used).
QColor vbColor(uint32_t value);
constexpr uint32_t kButtonFace = 0x8000000F;

struct FormDesign {
    float clientWidthTwips = 0;
    float clientHeightTwips = 0;
    std::string caption;
    Border border = Border::FixedSingle;
    uint32_t backColor = kButtonFace;
    bool icon = true;
    // false: no close box, and a close asked for by the window manager is refused, so the
    // window (and what it shows) cannot be discarded from its title bar.
    bool closeBox = true;
};

class FormWidget;

class Form {
public:
    explicit Form(const FormDesign& design);
    virtual ~Form();
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;

    float Left() const;
    void setLeft(float twips);
    float Top() const;
    void setTop(float twips);
    float Width() const;
    void setWidth(float twips);
    float Height() const;
    void setHeight(float twips);
    float ScaleWidth() const;   // client width, pixels
    float ScaleHeight() const;  // client height, pixels

    std::string Caption() const;
    void setCaption(const std::string& text);

    void Show();
    void Hide();
    bool Visible() const;
    void SetFocus();
    void Refresh();

    // Full screen (EWMH _NET_WM_STATE_FULLSCREEN): the client covers the screen the window is
    // on, with no frame. Leaving it gives the window back its exact size and place.
    void setFullScreen(bool on);
    bool FullScreen() const { return fullScreen_; }
    // The size of the screen the window is on, pixels.
    QSize screenSizePx() const;

    // The form's device context handle: its client area as displayed.
    intptr_t hDC();

    virtual void Form_Load() {}
    virtual void Form_Unload(int& cancel) { (void)cancel; }
    // A key pressed while the form, or a control of it that has no use for the key, has the
    // focus: the key's code (kKey... numbers) and the shift state (1 Shift, 2 Ctrl, 4 Alt).
    virtual void Form_KeyDown(int16_t keyCode, int16_t shift) {
        (void)keyCode;
        (void)shift;
    }
    // Local files dropped on the form, once it accepts them (setAcceptsFiles): their paths
    // as the file system spells them.
    virtual void Form_FilesDropped(const std::vector<std::string>& paths) { (void)paths; }
    void setAcceptsFiles(bool on);

    QWidget* widget() const;
    // Outer frame margins in pixels, as known now (see Form.cpp).
    QMargins frameMargins() const;

    // Used by controls and the form instance.
    void addLine(LineCtl* line);
    const std::vector<LineCtl*>& lines() const { return lines_; }
    void addControl(Control* c, int tabIndex);
    void applyTabOrder();
    void setUnloadRequest(std::function<void()> f) { unloadRequest_ = std::move(f); }
    void requestUnload();  // title-bar close: Form_Unload, then discard unless cancelled
    bool hasCloseBox() const { return closeBox_; }
    void syncFrame();      // re-applies a requested outer size once the real frame is known

private:
    void resizeClient(QSize client);
    void placeClient();
    QPoint framePosPx() const;  // the outer frame's top-left, pixels
    QSize outerPx() const;

    FormWidget* w_;
    Border border_;
    std::string caption_;
    std::vector<LineCtl*> lines_;
    std::vector<std::pair<int, Control*>> tab_;
    std::function<void()> unloadRequest_;
    bool closeBox_ = true;
    QMargins assumed_;      // margins assumed when the outer size was last set by code
    bool outerSet_ = false;  // the program has set Width or Height
    QSize requestedOuter_;
    QPoint framePos_;        // outer position asked for by the program, pixels
    bool posSet_ = false;
    QMargins posMargins_;    // margins assumed when the client was placed
    bool fullScreen_ = false;
    QSize normalClient_;     // the client's size before full screen
    int sizings_ = 0;        // sizes set by the program and full screens left, counted
};

// A form created with its design state on first reference and discarded by Unload.
template <class T>
class FormInstance {
public:
    T& operator()() {
        if (!obj_) {
            obj_ = std::make_unique<T>();
            obj_->setUnloadRequest([this] { Unload(); });
            obj_->Form_Load();
        }
        return *obj_;
    }
    bool exists() const { return obj_ != nullptr; }
    T* get() const { return obj_.get(); }
    // Runs Form_Unload; unless cancelled, hides the window and discards it (the object is
    // deleted once control returns to the event loop, so a handler may unload its own form).
    void Unload() {
        if (!obj_) return;
        int cancel = 0;
        obj_->Form_Unload(cancel);
        if (cancel || !obj_) return;
        obj_->Hide();
        discardLater(std::move(obj_));
    }
    // Tests: discard at once.
    void reset() { obj_.reset(); }

private:
    static void discardLater(std::unique_ptr<Form> f);
    std::unique_ptr<T> obj_;
};

void discardFormLater(std::unique_ptr<Form> f);
template <class T>
void FormInstance<T>::discardLater(std::unique_ptr<Form> f) {
    discardFormLater(std::move(f));
}

}  // namespace plim::forms

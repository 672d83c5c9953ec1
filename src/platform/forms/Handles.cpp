#include "platform/forms/Handles.h"

#include <QPointer>
#include <QWidget>
#include <map>

namespace plim::forms {
namespace {
struct Registry {
    std::map<HWND, QPointer<QWidget>> byHandle;
    HWND next = 0x10010;  // even numbers, like the platform's window handles
};
Registry& registry() {
    static Registry r;
    return r;
}
constexpr const char* kProp = "plimHwnd";
}  // namespace

HWND handleOf(QWidget* w) {
    if (!w) return 0;
    QVariant v = w->property(kProp);
    if (v.isValid()) return v.toInt();
    Registry& r = registry();
    HWND h = r.next;
    r.next += 2;
    r.byHandle[h] = w;
    w->setProperty(kProp, h);
    return h;
}

QWidget* widgetOf(HWND h) {
    Registry& r = registry();
    auto it = r.byHandle.find(h);
    if (it == r.byHandle.end()) return nullptr;
    if (it->second.isNull()) {
        r.byHandle.erase(it);
        return nullptr;
    }
    return it->second.data();
}

}  // namespace plim::forms

#pragma once
// Window handles: small decimal numbers that stand for widgets, so that a handle can travel
// inside a command string (the MCI service's "parent <handle>") and be resolved back.
// GUI thread only. A handle of a destroyed widget resolves to nullptr.
#include <cstdint>

class QWidget;

namespace plim::forms {

using HWND = int32_t;

// Returns the widget's handle, giving it one on first use.
HWND handleOf(QWidget* w);
// The widget behind a handle, or nullptr when unknown or destroyed.
QWidget* widgetOf(HWND h);

}  // namespace plim::forms

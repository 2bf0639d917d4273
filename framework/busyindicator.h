#pragma once
// The busy indicator: an animated overlay over the application's main window while the user
// interface thread is blocked in a remote call. Every show is followed by exactly one hide:
// C++ callers use BusyIndicator, which hides on every path out of its scope.

#include "framework_export.h"

class QWidget;

namespace framework {

// Kinds: 0 while connecting, 1 around saving and calculating, 6 around reads and deletions.
FRAMEWORK_EXPORT void ActiveShowAvi(QWidget *form, int kind);
FRAMEWORK_EXPORT void DeactiveShowAvi();

class FRAMEWORK_EXPORT BusyIndicator {
public:
    BusyIndicator(QWidget *form, int kind);
    ~BusyIndicator();
    // Hides before the end of the scope (a message must follow the indicator, not sit under it).
    void hide();

    BusyIndicator(const BusyIndicator &) = delete;
    BusyIndicator &operator=(const BusyIndicator &) = delete;

private:
    bool m_shown = false;
};

} // namespace framework

using framework::ActiveShowAvi;
using framework::DeactiveShowAvi;

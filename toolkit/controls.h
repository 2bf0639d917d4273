#pragma once
// Marks a form puts on its controls, and enabling a container's controls as a group.
//  - tag: an integer of the form's own use (as the branch controls carry 99 when the session
//    fixes the branch), kept as the dynamic property "tag";
//  - display only: an edit that only the screen writes (a name shown beside a code), kept as
//    the dynamic property "displayOnly"; group enabling leaves it alone when told to.

#include "toolkit_export.h"

#include <QWidget>

#include <functional>

class QKeyEvent;
class QLineEdit;

namespace toolkit {

TOOLKIT_EXPORT void setTag(QWidget *widget, int tag);
TOOLKIT_EXPORT int tag(const QWidget *widget);   // 0 when never set

TOOLKIT_EXPORT void setDisplayOnly(QWidget *widget, bool on);
TOOLKIT_EXPORT bool isDisplayOnly(const QWidget *widget);

// A display-only edit (a name beside its code): disabled, never focused, and showing whatever
// the screen writes into it from its start, as a name is read, however narrow the edit.
TOOLKIT_EXPORT QLineEdit *newDisplayEdit(QWidget *parent, const QString &name, bool readOnly = true);

// The character a key types, as a key-press handler sees it (Tab and Delete type none).
TOOLKIT_EXPORT QChar typedChar(const QKeyEvent *event);

// Enables or disables the container's own child controls (not their children, which follow
// their parent, nor windows it owns). Controls for which `skip` answers true are left alone.
TOOLKIT_EXPORT void setChildrenEnabled(QWidget *container, bool on, std::function<bool(QWidget *)> skip = {});

} // namespace toolkit

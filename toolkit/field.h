#pragma once
// A field of a client dataset: its definition and presentation, the current record's value in
// the field's kind, and the texts for display and editing.

#include "error.h"
#include "event.h"
#include "toolkit_export.h"

#include <protocol/packet.h>

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QVariant>

namespace toolkit {

using protocol::DataPacket;
using FieldKind = protocol::FieldKind;

class ClientDataSet;

class TOOLKIT_EXPORT Field : public QObject {
    Q_OBJECT
public:
    const QString &fieldName() const { return m_name; }
    FieldKind kind() const { return m_kind; }
    int size() const { return m_size; }
    int index() const { return m_index; }
    ClientDataSet *dataSet() const { return m_dataSet; }

    // Presentation, as a form sets them.
    QString displayLabel() const { return m_label.isEmpty() ? m_name : m_label; }
    void setDisplayLabel(const QString &label) { m_label = label; }
    bool visible() const { return m_visible; }
    void setVisible(bool visible) { m_visible = visible; }
    bool required() const { return m_required; }
    void setRequired(bool required) { m_required = required; }
    bool readOnly() const { return m_readOnly; }
    void setReadOnly(bool readOnly) { m_readOnly = readOnly; }
    // A three-section edit mask ("mask;keepLiterals;blank"), as the edits and grid cells use it.
    const QString &editMask() const { return m_editMask; }
    void setEditMask(const QString &mask);
    // "#,##0.000" style format for floats, under the default locale (pt_BR in this application).
    const QString &displayFormat() const { return m_displayFormat; }
    void setDisplayFormat(const QString &format) { m_displayFormat = format; }
    // Width in characters; 0 means the natural width (a string field's size, 10 for others).
    int displayWidth() const;
    void setDisplayWidth(int width) { m_displayWidth = width; }
    Qt::Alignment alignment() const;

    // Value of the current record (the edit buffer while editing or inserting).
    QVariant value() const;
    bool isNull() const;
    QString asString() const;          // null -> ""; floats in the natural locale form
    double asFloat() const;            // null -> 0; throws for a text that is not a number
    QDateTime asDateTime() const;      // null -> invalid
    // The original value of the current row as loaded (before any change still in the log).
    QVariant oldValue() const;

    // Writes need the dataset in edit or insert state. A text longer than the field's size is
    // refused with a clear error; a float given as text is read under the default locale.
    void setValue(const QVariant &value);
    void setAsString(const QString &text);
    void setAsFloat(double value);
    void setAsDateTime(const QDateTime &value);
    void clear();

    // Text for display (through the get-text hook, then the display format) and for editing.
    QString displayText() const;
    QString editText() const;
    // The display text of this field in another row of the view (the pending row included), as
    // a grid paints it: the get-text hook sees that row as the current one while it runs.
    QString displayTextAt(int viewRow) const;

    // The get-text hook: (field, text to fill, display or edit text).
    Event<Field *, QString &, bool> onGetText;

    // Asks the controls attached to this dataset to focus the one that shows this field
    // (a grid selects the field's column). Does nothing when no control shows it.
    void focusControl();

    static QString formatFloat(double value, const QString &format);

private:
    friend class ClientDataSet;
    Field(ClientDataSet *dataSet, const QString &name, FieldKind kind, int size, int index);
    QVariant convert(const QVariant &value) const;
    bool holdsSame(const QVariant &a, const QVariant &b) const;   // equal values of this field's kind

    ClientDataSet *m_dataSet;
    QString m_name;
    FieldKind m_kind;
    int m_size;
    int m_index;
    QString m_label;
    QString m_editMask;
    QString m_displayFormat;
    int m_displayWidth = 0;
    bool m_visible = true;
    bool m_required = false;
    bool m_readOnly = false;
};

} // namespace toolkit

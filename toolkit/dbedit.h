#pragma once
// An edit bound to a field of a data source's current row. It shows the field's display text,
// and its edit text while the user is in it; typing puts the dataset in edit state; what was
// typed is written to the field on Enter, on leaving the edit, and before any post of the
// dataset (the edit registers itself with the dataset). Esc gives back the field's text.
// The key-press handler runs before the character reaches the edit (QChar() drops it).

#include "clientdataset.h"
#include "maskedit.h"
#include "toolkit_export.h"

#include <QPointer>

namespace toolkit {

class TOOLKIT_EXPORT DBEdit : public MaskEdit {
    Q_OBJECT
public:
    explicit DBEdit(QWidget *parent = nullptr, const QString &name = QString());
    ~DBEdit() override;

    DataSource *dataSource() const { return m_source; }
    void setDataSource(DataSource *source);
    const QString &dataField() const { return m_fieldName; }
    void setDataField(const QString &fieldName);
    Field *field() const;

    // Writes what was typed to the field (no-op when nothing was typed). Throws on refusal.
    void updateRecord();
    // Gives back the field's text, dropping what was typed.
    void reset();
    bool isTyping() const { return m_typing; }

protected:
    bool keyAccepted(QKeyEvent *event, QChar &c) override;
    void focusEntered() override;
    void focusExited() override;

private:
    void rebind();
    void refresh();
    bool startEditing();
    bool canModify() const;
    void setTyping(bool typing);

    QPointer<DataSource> m_source;
    QPointer<ClientDataSet> m_dataSet;   // the one the commit is registered with
    QString m_fieldName;
    QList<QMetaObject::Connection> m_connections;
    bool m_typing = false;     // the text differs from the field's, as typed by the user
    bool m_inside = false;     // the form's active control is this edit: show the edit text
    bool m_refreshing = false;
};

} // namespace toolkit

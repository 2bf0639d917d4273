#include "dbedit.h"

#include "error.h"
#include "numberinput.h"

#include <QKeyEvent>
#include <QLocale>

namespace toolkit {

DBEdit::DBEdit(QWidget *parent, const QString &name) : MaskEdit(parent, name)
{
    // Typing that did not come through a key (a paste from the context menu) starts editing too.
    connect(this, &QLineEdit::textEdited, this, [this] {
        if (m_refreshing || m_typing)
            return;
        if (!startEditing()) {
            refresh();
            return;
        }
        setTyping(true);
    });
    refresh();
}

DBEdit::~DBEdit()
{
    if (m_dataSet)
        m_dataSet->unregisterEditor(this);
}

void DBEdit::setDataSource(DataSource *source)
{
    if (m_source == source)
        return;
    m_source = source;
    rebind();
}

void DBEdit::setDataField(const QString &fieldName)
{
    if (m_fieldName == fieldName)
        return;
    setTyping(false);
    m_fieldName = fieldName;
    refresh();
}

Field *DBEdit::field() const
{
    if (!m_source || !m_source->dataSet() || m_fieldName.isEmpty())
        return nullptr;
    return m_source->dataSet()->findField(m_fieldName);
}

bool DBEdit::canModify() const
{
    const Field *f = field();
    return f && m_source->enabled() && f->dataSet()->active() && !f->readOnly();
}

void DBEdit::rebind()
{
    for (const auto &c : std::as_const(m_connections))
        disconnect(c);
    m_connections.clear();
    setTyping(false);
    if (m_source) {
        DataSource *s = m_source;
        m_connections << connect(s, &DataSource::dataSetChanged, this, [this] { rebind(); });
        // While the row is being edited the cursor does not move and its values come through
        // fieldChanged; a post, cancel or delete tells the cursor and the layout before the
        // state, and the state change that follows refreshes (the record is only readable then).
        m_connections << connect(s, &DataSource::currentChanged, this, [this] {
            if (m_dataSet && m_dataSet->isEditing())
                return;
            setTyping(false);
            refresh();
        });
        m_connections << connect(s, &DataSource::layoutChanged, this, [this] {
            if (m_dataSet && m_dataSet->isEditing())
                return;
            setTyping(false);
            refresh();
        });
        m_connections << connect(s, &DataSource::stateChanged, this, [this] {
            if (m_typing && m_dataSet && m_dataSet->isEditing())
                return;
            setTyping(false);
            refresh();
        });
        m_connections << connect(s, &DataSource::fieldChanged, this, [this](Field *f) {
            if (f && f->fieldName().compare(m_fieldName, Qt::CaseInsensitive) == 0) {
                setTyping(false);
                refresh();
            }
        });
        m_connections << connect(s, &DataSource::focusControlRequested, this, [this](Field *f) {
            if (f && f->fieldName().compare(m_fieldName, Qt::CaseInsensitive) == 0 && isEnabled())
                setFocus(Qt::OtherFocusReason);
        });
    }
    refresh();
}

void DBEdit::refresh()
{
    m_refreshing = true;
    Field *f = field();
    const bool shown = f && m_source->enabled();
    setReadOnly(!canModify());
    QString text;
    if (shown) {
        if (editMask() != f->editMask())
            setEditMask(f->editMask());
        if (maxLength() == 32767 && f->kind() == FieldKind::String && f->size() > 0)
            setMaxLength(f->size());
        guarded([&] { text = m_inside ? f->editText() : f->displayText(); });
    }
    // Setting the same text would still move the cursor and drop the selection.
    if (this->text() != text)
        setText(text);
    setModified(false);
    m_refreshing = false;
}

void DBEdit::setTyping(bool typing)
{
    if (m_dataSet)
        m_dataSet->unregisterEditor(this);
    m_typing = typing;
    m_dataSet = m_source ? m_source->dataSet() : nullptr;
    if (typing && m_dataSet)
        m_dataSet->registerEditor(this, [this] { updateRecord(); });
}

bool DBEdit::startEditing()
{
    if (!canModify())
        return false;
    ClientDataSet *ds = field()->dataSet();
    if (ds->isEditing())
        return true;
    return guarded([ds] { ds->edit(); }) && ds->isEditing();
}

void DBEdit::updateRecord()
{
    if (!m_typing)
        return;
    Field *f = field();
    if (!f) {
        setTyping(false);
        return;
    }
    f->setAsString(text());   // throws on a refusal: the typed text stays
    setTyping(false);
    refresh();
}

void DBEdit::reset()
{
    setTyping(false);
    refresh();
}

bool DBEdit::keyAccepted(QKeyEvent *event, QChar &c)
{
    const int key = event->key();
    if (key == Qt::Key_Escape) {
        if (!m_typing)
            return true;   // nothing typed: the window may use Esc
        reset();
        selectAll();
        return false;
    }
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        if (m_typing && guarded([this] { updateRecord(); }))
            selectAll();
        return true;
    }
    const bool types = !c.isNull() && c.isPrint();
    const bool modifies = types || key == Qt::Key_Backspace || key == Qt::Key_Delete
        || event->matches(QKeySequence::Paste) || event->matches(QKeySequence::Cut)
        || event->matches(QKeySequence::Undo) || event->matches(QKeySequence::Redo);
    if (!modifies || isReadOnly())
        return true;
    if (types) {
        if (const Field *f = field(); f && f->kind() == FieldKind::Float) {
            c = numberInputChar(c, event->modifiers());
            if (c.isNull())
                return false;
        }
    }
    if (m_typing)
        return true;
    return startEditing();
}

void DBEdit::focusEntered()
{
    m_inside = true;
    if (!m_typing) {
        const QString before = text();
        refresh();
        if (text() != before)
            selectAll();
    }
    MaskEdit::focusEntered();
}

void DBEdit::focusExited()
{
    if (m_typing) {
        try {
            updateRecord();
        } catch (...) {
            // The value is refused: the user stays in the edit to correct it.
            setFocus(Qt::OtherFocusReason);
            selectAll();
            throw;
        }
    }
    m_inside = false;
    refresh();
    MaskEdit::focusExited();
}

} // namespace toolkit

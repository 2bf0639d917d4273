#include "clientdataset.h"
#include "maskedit.h"
#include "numberinput.h"

#include <QLocale>
#include <QRegularExpression>
#include <algorithm>
#include <cmath>
#include <utility>

namespace toolkit {

using protocol::PacketContent;
using protocol::PacketField;
using protocol::PacketRow;
using protocol::RowChange;

namespace {

// The string a filter compares with: a field's plain text.
QString plainText(const QVariant &v, FieldKind kind)
{
    if (v.isNull())
        return QString();
    switch (kind) {
    case FieldKind::String:
        return v.metaType().id() == QMetaType::QString ? *static_cast<const QString *>(v.constData()) : v.toString();
    case FieldKind::Float: {
        QLocale c = QLocale::c();
        c.setNumberOptions(QLocale::OmitGroupSeparator);
        return c.toString(v.toDouble(), 'f', QLocale::FloatingPointShortest);
    }
    case FieldKind::DateTime:
        return v.toDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    }
    return QString();
}

bool sameValue(const QVariant &a, const QVariant &b, FieldKind kind)
{
    if (a.isNull() || b.isNull())
        return a.isNull() && b.isNull();
    switch (kind) {
    case FieldKind::String:
        return a.toString() == b.toString();
    case FieldKind::Float:
        return a.toDouble() == b.toDouble();
    case FieldKind::DateTime:
        return protocol::wallClock(a.toDateTime()) == protocol::wallClock(b.toDateTime());
    }
    return false;
}

QLocale plainLocale()
{
    QLocale l;
    l.setNumberOptions(QLocale::OmitGroupSeparator);
    return l;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Field

Field::Field(ClientDataSet *dataSet, const QString &name, FieldKind kind, int size, int index)
    : QObject(dataSet), m_dataSet(dataSet), m_name(name), m_kind(kind), m_size(size), m_index(index)
{
    setObjectName(dataSet->objectName() + name);
}

void Field::setEditMask(const QString &mask)
{
    if (m_editMask == mask)
        return;
    m_editMask = mask;
    if (m_dataSet)
        m_dataSet->notifyLayout();
}

int Field::displayWidth() const
{
    if (m_displayWidth > 0)
        return m_displayWidth;
    return m_kind == FieldKind::String && m_size > 0 ? m_size : 10;
}

Qt::Alignment Field::alignment() const
{
    return m_kind == FieldKind::Float ? Qt::AlignRight | Qt::AlignVCenter : Qt::AlignLeft | Qt::AlignVCenter;
}

QVariant Field::value() const
{
    const QList<QVariant> *values = m_dataSet->currentValues();
    return values ? values->at(m_index) : QVariant();
}

bool Field::isNull() const { return value().isNull(); }

QString Field::asString() const
{
    const QVariant v = value();
    if (v.isNull())
        return QString();
    switch (m_kind) {
    case FieldKind::String:
        return v.toString();
    case FieldKind::Float:
        return plainLocale().toString(v.toDouble(), 'f', QLocale::FloatingPointShortest);
    case FieldKind::DateTime: {
        const QDateTime dt = v.toDateTime();
        return dt.time() == QTime(0, 0) ? dt.toString(QStringLiteral("dd/MM/yyyy"))
                                        : dt.toString(QStringLiteral("dd/MM/yyyy hh:mm:ss"));
    }
    }
    return QString();
}

double Field::asFloat() const
{
    const QVariant v = value();
    if (v.isNull())
        return 0.0;
    if (m_kind == FieldKind::String)
        return typedNumber(v.toString());
    return v.toDouble();
}

QDateTime Field::asDateTime() const
{
    const QVariant v = value();
    return v.isNull() ? QDateTime() : protocol::wallClock(v.toDateTime());
}

QVariant Field::oldValue() const
{
    const int row = m_dataSet->currentRowIndex();
    if (row < 0)
        return QVariant();
    const auto &r = m_dataSet->m_rows.at(row);
    return r.original.isEmpty() ? r.values.at(m_index) : r.original.at(m_index);
}

QVariant Field::convert(const QVariant &v) const
{
    if (v.isNull() || !v.isValid())
        return QVariant();
    switch (m_kind) {
    case FieldKind::String: {
        QString s = v.toString();
        if (m_size > 0 && s.size() > m_size)
            throw Error(QStringLiteral("O texto \"%1\" é longo demais para o campo %2 (máximo de %3 caracteres).")
                            .arg(s, displayLabel())
                            .arg(m_size));
        return s;
    }
    case FieldKind::Float: {
        if (v.metaType().id() == QMetaType::QString) {
            const QString text = v.toString().trimmed();
            if (text.isEmpty())
                return QVariant();
            return typedNumber(text);
        }
        bool ok = false;
        const double d = v.toDouble(&ok);
        if (!ok)
            throw Error(QStringLiteral("Valor inválido para o campo %1.").arg(displayLabel()));
        return d;
    }
    case FieldKind::DateTime: {
        if (v.metaType().id() == QMetaType::QString) {
            const QString text = v.toString().trimmed();
            if (text.isEmpty())
                return QVariant();
            QDateTime dt = QDateTime::fromString(text, QStringLiteral("dd/MM/yyyy hh:mm:ss"));
            if (!dt.isValid())
                dt = QDateTime(QDate::fromString(text, QStringLiteral("dd/MM/yyyy")), QTime(0, 0));
            if (!dt.isValid())
                throw Error(QStringLiteral("'%1' não é uma data válida.").arg(text));
            return protocol::wallClock(dt);
        }
        if (v.metaType().id() == QMetaType::QDate)
            return protocol::wallClock(v.toDate());
        const QDateTime dt = v.toDateTime();
        if (!dt.isValid())
            throw Error(QStringLiteral("Valor inválido para o campo %1.").arg(displayLabel()));
        return protocol::wallClock(dt);
    }
    }
    return QVariant();
}

void Field::setValue(const QVariant &value) { m_dataSet->setFieldValue(this, convert(value)); }
void Field::setAsString(const QString &text) { setValue(text); }
void Field::setAsFloat(double value) { setValue(value); }
void Field::setAsDateTime(const QDateTime &value) { setValue(value); }
void Field::clear() { m_dataSet->setFieldValue(this, QVariant()); }

QString Field::displayText() const
{
    QString text;
    if (onGetText) {
        onGetText(const_cast<Field *>(this), text, true);
        return text;
    }
    if (m_kind == FieldKind::Float && !m_displayFormat.isEmpty() && !isNull())
        return formatFloat(asFloat(), m_displayFormat);
    // A text with an edit mask is shown as the mask writes it ("11.222.333/0001-81").
    if (m_kind == FieldKind::String && !m_editMask.isEmpty() && !isNull())
        return formatMaskText(m_editMask, asString());
    return asString();
}

QString Field::editText() const
{
    if (onGetText) {
        QString text;
        onGetText(const_cast<Field *>(this), text, false);
        return text;
    }
    return asString();
}

QString Field::displayTextAt(int viewRow) const
{
    struct Peek {
        ClientDataSet *ds;
        int saved;
        ~Peek() { ds->m_peekRow = saved; }
    } peek{m_dataSet, std::exchange(m_dataSet->m_peekRow, viewRow)};
    return displayText();
}

void Field::focusControl()
{
    const auto sources = m_dataSet->m_sources;
    for (const auto &source : sources)
        if (source)
            emit source->focusControlRequested(this);
    emit m_dataSet->focusControlRequested(this);
}

QString Field::formatFloat(double value, const QString &format)
{
    // The "#,##0.000" family: grouping when a comma stands in the integer part, as many
    // decimals as digit places after the point ('0' always shown, '#' only when not zero).
    const qsizetype point = format.indexOf(QLatin1Char('.'));
    const QString integerPart = point < 0 ? format : format.left(point);
    const QString decimalPart = point < 0 ? QString() : format.mid(point + 1);
    const int required = int(decimalPart.count(QLatin1Char('0')));
    const int optional = int(decimalPart.count(QLatin1Char('#')));
    // No negative zero: "-0,000" reads as a fault to a user.
    if (std::fabs(value) < 0.5 * std::pow(10.0, -(required + optional)))
        value = 0.0;
    QLocale locale;
    locale.setNumberOptions(integerPart.contains(QLatin1Char(',')) ? QLocale::DefaultNumberOptions
                                                                     : QLocale::OmitGroupSeparator);
    QString text = locale.toString(value, 'f', required + optional);
    if (optional > 0) {
        const QString decimal = locale.decimalPoint();
        qsizetype keep = text.size() - optional;
        while (text.size() > keep && text.endsWith(QLatin1Char('0')))
            text.chop(1);
        if (text.endsWith(decimal))
            text.chop(decimal.size());
    }
    return text;
}

// ---------------------------------------------------------------------------------------------
// ClientDataSet

ClientDataSet::ClientDataSet(QObject *parent, const QString &name) : QObject(parent)
{
    setObjectName(name);
}

ClientDataSet::~ClientDataSet()
{
    for (const auto &source : std::as_const(m_sources))
        if (source)
            source->m_dataSet = nullptr;
}

Field *ClientDataSet::addField(const QString &name, FieldKind kind, int size)
{
    if (active())
        throw Error(QStringLiteral("Não é possível definir o campo %1 com %2 aberto.").arg(name, objectName()));
    if (findField(name))
        throw Error(QStringLiteral("O campo %1 já existe em %2.").arg(name, objectName()));
    auto *field = new Field(this, name, kind, size, int(m_fields.size()));
    m_fields.append(field);
    return field;
}

Field *ClientDataSet::findField(const QString &name) const
{
    for (Field *f : m_fields)
        if (f->fieldName().compare(name, Qt::CaseInsensitive) == 0)
            return f;
    return nullptr;
}

Field *ClientDataSet::fieldByName(const QString &name) const
{
    if (Field *f = findField(name))
        return f;
    throw Error(QStringLiteral("%1: campo '%2' não encontrado.").arg(objectName(), name));
}

void ClientDataSet::checkActive() const
{
    if (!active())
        throw Error(QStringLiteral("Operação não permitida: %1 está fechado.").arg(objectName()));
}

void ClientDataSet::checkBrowseMode(Operation operation)
{
    checkIdle(operation);
    checkActive();
    if (isEditing())
        post();
}

void ClientDataSet::setData(const DataPacket &packet)
{
    loadContent(protocol::decodePacket(packet));
}

void ClientDataSet::checkNotEditing(const QString &what) const
{
    if (isEditing())
        throw Error(QStringLiteral("%1: há um registro em edição; grave-o ou cancele-o antes de %2.").arg(objectName(), what));
}

void ClientDataSet::loadContent(PacketContent &&content)
{
    checkIdle(Operation::Load);
    checkNotEditing(QStringLiteral("carregar outros dados"));
    const OperationScope operation(this, Operation::Load);
    if (content.delta)
        throw Error(QStringLiteral("%1: um pacote de alterações não pode ser carregado como dados.").arg(objectName()));
    // Map the packet's columns onto the persistent fields (or take the packet's as they are).
    if (m_fields.isEmpty()) {
        for (const PacketField &pf : std::as_const(content.fields)) {
            Field *f = addField(pf.name, pf.kind, pf.size);
            f->setRequired(pf.required);
            f->setReadOnly(pf.readOnly);
        }
    }
    QList<int> source(m_fields.size(), -1);
    bool sameOrder = content.fields.size() == m_fields.size();
    for (qsizetype i = 0; i < m_fields.size(); ++i) {
        const int at = content.fieldIndex(m_fields[i]->fieldName());
        if (at < 0)
            throw Error(QStringLiteral("%1: o campo %2 não veio no pacote de dados.").arg(objectName(), m_fields[i]->fieldName()));
        if (content.fields[at].kind != m_fields[i]->kind())
            throw Error(QStringLiteral("%1: o campo %2 veio com outro tipo no pacote de dados.").arg(objectName(), m_fields[i]->fieldName()));
        source[i] = at;
        sameOrder = sameOrder && at == i;
    }
    QList<Row> rows;
    rows.reserve(content.rows.size());
    for (PacketRow &pr : content.rows) {
        Row row;
        if (sameOrder) {
            row.values = std::move(pr.values);
        } else {
            row.values.reserve(m_fields.size());
            for (int at : std::as_const(source))
                row.values.append(pr.values.at(at));
        }
        rows.append(std::move(row));
    }

    const DataSetState was = std::exchange(m_state, DataSetState::Browse);
    m_rows = std::move(rows);
    rebuildView();
    placeCursor(m_view.isEmpty() ? -1 : 0);
    operation.end();
    notifyCurrent();
    notifyLayout();
    announceState(was);
    afterOpen(this);
    afterScroll(this);
}

DataPacket ClientDataSet::data() const
{
    PacketContent c;
    for (Field *f : m_fields)
        c.fields.append({f->fieldName(), f->kind(), f->kind() == FieldKind::String ? f->size() : 0, f->required(), f->readOnly()});
    for (const Row &row : m_rows)
        if (row.change != RowChange::Deleted)
            c.rows.append(PacketRow{row.values, RowChange::Unchanged, {}});
    return protocol::encodePacket(c);
}

void ClientDataSet::open()
{
    checkIdle(Operation::Open);
    if (active())
        return;
    const OperationScope operation(this, Operation::Open);
    if (m_fields.isEmpty())
        throw Error(QStringLiteral("%1 não tem campos definidos.").arg(objectName()));
    m_rows.clear();
    rebuildView();
    placeCursor(-1);
    m_state = DataSetState::Browse;
    operation.end();
    notifyCurrent();
    notifyLayout();
    announceState(DataSetState::Inactive);
    afterOpen(this);
    afterScroll(this);
}

void ClientDataSet::close()
{
    if (!active())
        return;
    checkIdle(Operation::Close);
    checkNotEditing(QStringLiteral("fechar"));
    const OperationScope operation(this, Operation::Close);
    beforeClose(this);
    const DataSetState was = std::exchange(m_state, DataSetState::Inactive);
    m_rows.clear();
    m_view.clear();
    placeCursor(-1);
    operation.end();
    notifyLayout();
    announceState(was);
    afterClose(this);
}

void ClientDataSet::emptyDataSet()
{
    checkIdle(Operation::Empty);
    checkActive();
    checkNotEditing(QStringLiteral("esvaziar"));
    const OperationScope operation(this, Operation::Empty);
    m_rows.clear();
    rebuildView();
    placeCursor(-1);
    operation.end();
    notifyCurrent();
    notifyLayout();
}

// --- operations under way ----------------------------------------------------------------------

namespace {

// What a refusal says: the operation asked for, and the one under way.
QString operationVerb(int operation)
{
    static const char *const verbs[] = {"gravar o registro", "cancelar a edição", "incluir um registro", "alterar o registro",
                                        "excluir o registro", "carregar os dados", "abrir", "fechar", "esvaziar",
                                        "mover o cursor", "filtrar", "desfazer as alterações", "consolidar as alterações"};
    return QString::fromUtf8(verbs[operation]);
}

QString operationNoun(int operation)
{
    static const char *const nouns[] = {"a gravação do registro", "o cancelamento da edição", "a inclusão de um registro",
                                        "o início da alteração do registro", "a exclusão do registro", "a carga dos dados",
                                        "a abertura", "o fechamento", "o esvaziamento", "o movimento do cursor", "a filtragem",
                                        "o desfazer das alterações", "a consolidação das alterações"};
    return QString::fromUtf8(nouns[operation]);
}

} // namespace

ClientDataSet::OperationScope::OperationScope(ClientDataSet *dataSet, Operation operation) : m_dataSet(dataSet)
{
    dataSet->checkIdle(operation);
    dataSet->m_running = operation;
}

ClientDataSet::OperationScope::~OperationScope() { end(); }

void ClientDataSet::OperationScope::end() const
{
    if (m_dataSet)
        m_dataSet->m_running.reset();
    m_dataSet = nullptr;
}

void ClientDataSet::checkIdle(Operation operation) const
{
    if (m_running)
        throw Error(QStringLiteral("%1: não é possível %2 durante %3.")
                        .arg(objectName(), operationVerb(int(operation)), operationNoun(int(*m_running))));
}

// --- cursor ------------------------------------------------------------------------------------

void ClientDataSet::placeCursor(int position)
{
    if (m_view.isEmpty()) {
        m_cursor = -1;
        m_bof = m_eof = true;
    } else {
        m_cursor = std::clamp(position, 0, int(m_view.size()) - 1);
        m_bof = m_cursor == 0;
        m_eof = false;
    }
}

void ClientDataSet::moveCursor(int position, bool notify)
{
    placeCursor(position);
    notifyCurrent();
    if (notify)
        afterScroll(this);
}

void ClientDataSet::first()
{
    checkBrowseMode();
    moveCursor(0, true);
    m_bof = true;
    m_eof = m_view.isEmpty();
}

void ClientDataSet::last()
{
    checkBrowseMode();
    moveCursor(int(m_view.size()) - 1, true);
    m_eof = true;
    m_bof = m_view.isEmpty();
}

void ClientDataSet::next() { moveBy(1); }
void ClientDataSet::prior() { moveBy(-1); }

void ClientDataSet::moveBy(int distance)
{
    checkBrowseMode();
    if (m_view.isEmpty()) {
        m_bof = m_eof = true;
        return;
    }
    const int target = m_cursor + distance;
    if (target >= int(m_view.size())) {
        if (m_cursor != int(m_view.size()) - 1)
            moveCursor(int(m_view.size()) - 1, true);
        m_eof = true;
        return;
    }
    if (target < 0) {
        if (m_cursor != 0)
            moveCursor(0, true);
        m_bof = true;
        return;
    }
    if (target != m_cursor)
        moveCursor(target, true);
}

bool ClientDataSet::isEmpty() const
{
    return m_view.isEmpty() && m_state != DataSetState::Insert;
}

int ClientDataSet::recordCount() const { return int(m_view.size()); }

int ClientDataSet::recNo() const
{
    return m_state == DataSetState::Insert ? m_insertViewPos : m_cursor;
}

void ClientDataSet::setRecNo(int position)
{
    checkBrowseMode();
    if (m_view.isEmpty() || position == m_cursor)
        return;
    moveCursor(position, true);
}

QVariant ClientDataSet::valueAt(int position, int fieldIndex) const
{
    if (position < 0 || position >= m_view.size() || fieldIndex < 0 || fieldIndex >= m_fields.size())
        return QVariant();
    return m_rows.at(m_view.at(position)).values.at(fieldIndex);
}

int ClientDataSet::viewRowCount() const
{
    return int(m_view.size()) + (m_state == DataSetState::Insert ? 1 : 0);
}

int ClientDataSet::viewCurrentRow() const { return recNo(); }

bool ClientDataSet::isPendingRow(int row) const
{
    return m_state == DataSetState::Insert && row == m_insertViewPos;
}

QVariant ClientDataSet::viewValue(int row, int fieldIndex) const
{
    if (m_state == DataSetState::Insert) {
        if (row == m_insertViewPos)
            return fieldIndex >= 0 && fieldIndex < m_buffer.size() ? m_buffer.at(fieldIndex) : QVariant();
        if (row > m_insertViewPos)
            --row;
    } else if (m_state == DataSetState::Edit && row == m_cursor) {
        return fieldIndex >= 0 && fieldIndex < m_buffer.size() ? m_buffer.at(fieldIndex) : QVariant();
    }
    return valueAt(row, fieldIndex);
}

int ClientDataSet::currentRowIndex() const
{
    if (m_state == DataSetState::Insert || m_cursor < 0 || m_cursor >= m_view.size())
        return -1;
    return m_view.at(m_cursor);
}

const QList<QVariant> *ClientDataSet::currentValues() const
{
    if (m_peekRow >= 0) {
        int row = m_peekRow;
        if (m_state == DataSetState::Insert) {
            if (row == m_insertViewPos)
                return m_buffer.size() == m_fields.size() ? &m_buffer : nullptr;
            if (row > m_insertViewPos)
                --row;
        } else if (m_state == DataSetState::Edit && row == m_cursor && m_buffer.size() == m_fields.size()) {
            return &m_buffer;
        }
        return row < m_view.size() ? &m_rows.at(m_view.at(row)).values : nullptr;
    }
    if (isEditing() && m_buffer.size() == m_fields.size())
        return &m_buffer;
    const int row = currentRowIndex();
    return row < 0 ? nullptr : &m_rows.at(row).values;
}

// --- editing -----------------------------------------------------------------------------------

void ClientDataSet::setState(DataSetState state)
{
    if (m_state == state)
        return;
    const DataSetState previous = m_state;
    m_state = state;
    announceState(previous);
}

void ClientDataSet::announceState(DataSetState previous)
{
    if (previous == m_state)
        return;
    if (previous == DataSetState::Insert || m_state == DataSetState::Insert)
        notifyLayout();   // the pending row appears in, or leaves, the views
    if (m_disableCount > 0)
        return;
    emit stateChanged();
    // A handler may throw; every source still hears of the change before it travels on.
    std::exception_ptr error;
    const auto sources = m_sources;
    for (const auto &source : sources) {
        if (!source)
            continue;
        try {
            source->updateState();
        } catch (...) {
            if (!error)
                error = std::current_exception();
        }
    }
    if (error)
        std::rethrow_exception(error);
}

// Back to browsing without the row being inserted or edited, when a state-change handler
// refused the new state.
void ClientDataSet::abandonEdit()
{
    const DataSetState was = std::exchange(m_state, DataSetState::Browse);
    m_buffer.clear();
    m_modified = false;
    if (was == DataSetState::Insert)
        placeCursor(m_cursorBeforeInsert);
    try {
        announceState(was);
    } catch (...) {
        // the refusal that brought us here is the one the caller hears of
    }
    notifyCurrent();
    notifyLayout();
}

// Announces the editing state just entered. A refusal by a state-change handler abandons it;
// false when a handler ended it already (posted or cancelled), so no after-event follows.
bool ClientDataSet::enterEditing(DataSetState state)
{
    try {
        announceState(DataSetState::Browse);
    } catch (...) {
        if (m_state == state)
            abandonEdit();
        throw;
    }
    return m_state == state;
}

void ClientDataSet::insert() { startInsert(false); }
void ClientDataSet::append() { startInsert(true); }

void ClientDataSet::startInsert(bool atEnd)
{
    checkBrowseMode(Operation::Insert);
    {
        const OperationScope operation(this, Operation::Insert);
        beforeInsert(this);
        m_cursorBeforeInsert = m_cursor;
        m_insertAt = atEnd ? -1 : currentRowIndex();
        m_insertViewPos = atEnd ? int(m_view.size()) : std::max(m_cursor, 0);
        m_buffer = QList<QVariant>(m_fields.size());
        m_modified = false;
        m_state = DataSetState::Insert;
    }
    if (!enterEditing(DataSetState::Insert))
        return;
    afterInsert(this);
    afterScroll(this);
}

void ClientDataSet::edit()
{
    checkActive();
    if (isEditing())
        return;
    {
        const OperationScope operation(this, Operation::Edit);
        if (m_view.isEmpty() || m_cursor < 0)
            throw Error(QStringLiteral("Não há registro para alterar."));
        beforeEdit(this);
        m_buffer = m_rows.at(m_view.at(m_cursor)).values;
        m_modified = false;
        m_state = DataSetState::Edit;
    }
    if (!enterEditing(DataSetState::Edit))
        return;
    afterEdit(this);
}

void ClientDataSet::setFieldValue(Field *field, const QVariant &value)
{
    if (!isEditing())
        throw Error(QStringLiteral("%1 não está em modo de edição ou inclusão.").arg(objectName()));
    QVariant &slot = m_buffer[field->index()];
    if (sameValue(slot, value, field->kind()) && slot.isNull() == value.isNull())
        return;
    slot = value;
    m_modified = true;
    notifyField(field);
}

void ClientDataSet::registerEditor(QObject *control, std::function<void()> commit)
{
    unregisterEditor(control);
    m_editors.append({QPointer<QObject>(control), std::move(commit)});
}

void ClientDataSet::unregisterEditor(QObject *control)
{
    m_editors.removeIf([control](const auto &e) { return e.first.isNull() || e.first.data() == control; });
}

void ClientDataSet::updateRecord()
{
    const auto editors = m_editors;
    for (const auto &e : editors)
        if (e.first && e.second)
            e.second();
}

void ClientDataSet::post()
{
    if (!isEditing())
        return;
    const OperationScope operation(this, Operation::Post);
    updateRecord();
    beforePost(this);
    for (Field *f : std::as_const(m_fields))
        if (f->required() && m_buffer.at(f->index()).isNull()) {
            operation.end();   // the control that takes the value may run handlers of its own
            f->focusControl();
            throw Error(QStringLiteral("O campo '%1' deve ser informado.").arg(f->displayLabel()));
        }

    int posted;
    if (m_state == DataSetState::Insert) {
        Row row;
        row.values = std::move(m_buffer);
        row.change = m_logChanges ? RowChange::Inserted : RowChange::Unchanged;
        if (m_insertAt < 0 || m_insertAt > m_rows.size()) {
            m_rows.append(std::move(row));
            posted = int(m_rows.size()) - 1;
        } else {
            m_rows.insert(m_insertAt, std::move(row));
            posted = m_insertAt;
        }
    } else {
        posted = m_view.at(m_cursor);
        Row &row = m_rows[posted];
        if (m_logChanges && row.change == RowChange::Unchanged) {
            row.original = row.values;
            row.change = RowChange::Modified;
        }
        row.values = std::move(m_buffer);
    }
    m_buffer.clear();
    m_modified = false;
    const int previous = m_state == DataSetState::Insert ? m_insertViewPos : m_cursor;
    // Browse before any control looks at the record again: the buffer is gone.
    const DataSetState was = std::exchange(m_state, DataSetState::Browse);
    rebuildView();
    const qsizetype at = m_view.indexOf(posted);
    // A row that no longer passes the filter leaves the view; the cursor stays near it.
    placeCursor(at >= 0 ? int(at) : previous);
    operation.end();
    notifyCurrent();
    notifyLayout();
    announceState(was);
    afterPost(this);
}

void ClientDataSet::cancel()
{
    if (!isEditing())
        return;
    const OperationScope operation(this, Operation::Cancel);
    beforeCancel(this);
    const bool wasInsert = m_state == DataSetState::Insert;
    m_buffer.clear();
    m_modified = false;
    const DataSetState was = std::exchange(m_state, DataSetState::Browse);
    if (wasInsert)
        placeCursor(m_cursorBeforeInsert);
    operation.end();
    if (wasInsert)
        notifyCurrent();
    notifyLayout();
    announceState(was);
    afterCancel(this);
    if (wasInsert)
        afterScroll(this);
}

void ClientDataSet::deleteRecord()
{
    checkIdle(Operation::Delete);
    checkActive();
    if (m_state == DataSetState::Insert) {
        cancel();
        return;
    }
    const OperationScope operation(this, Operation::Delete);
    if (m_view.isEmpty() || m_cursor < 0)
        throw Error(QStringLiteral("Não há registro para excluir."));
    beforeDelete(this);
    const int position = m_cursor;
    const int index = m_view.at(position);
    Row &row = m_rows[index];
    m_buffer.clear();
    m_modified = false;
    const DataSetState was = std::exchange(m_state, DataSetState::Browse);
    if (row.change == RowChange::Inserted || !m_logChanges) {
        m_rows.removeAt(index);
    } else {
        if (row.change == RowChange::Unchanged)
            row.original = row.values;
        row.change = RowChange::Deleted;
    }
    rebuildView();
    placeCursor(position);
    operation.end();
    notifyCurrent();
    notifyLayout();
    announceState(was);
    afterDelete(this);
    afterScroll(this);
}

// --- change log --------------------------------------------------------------------------------

int ClientDataSet::changeCount() const
{
    return int(std::count_if(m_rows.cbegin(), m_rows.cend(), [](const Row &r) { return r.change != RowChange::Unchanged; }));
}

DataPacket ClientDataSet::delta() const
{
    PacketContent c;
    c.delta = true;
    for (Field *f : m_fields)
        c.fields.append({f->fieldName(), f->kind(), f->kind() == FieldKind::String ? f->size() : 0, f->required(), f->readOnly()});
    for (const Row &row : m_rows) {
        if (row.change == RowChange::Unchanged)
            continue;
        c.rows.append(PacketRow{row.values, row.change, row.change == RowChange::Inserted ? QList<QVariant>() : row.original});
    }
    return protocol::encodePacket(c);
}

void ClientDataSet::mergeChangeLog()
{
    const OperationScope operation(this, Operation::Merge);
    const int current = currentRowIndex();
    int kept = -1, newIndex = 0;
    QList<Row> rows;
    rows.reserve(m_rows.size());
    for (qsizetype i = 0; i < m_rows.size(); ++i) {
        Row &row = m_rows[i];
        if (row.change == RowChange::Deleted)
            continue;
        if (i == current)
            kept = newIndex;
        row.change = RowChange::Unchanged;
        row.original.clear();
        rows.append(std::move(row));
        ++newIndex;
    }
    m_rows = std::move(rows);
    if (m_insertAt >= 0)
        m_insertAt = std::min<int>(m_insertAt, int(m_rows.size()));
    rebuildView();
    const bool inserting = m_state == DataSetState::Insert;
    if (!inserting) {
        const qsizetype at = kept >= 0 ? m_view.indexOf(kept) : -1;
        placeCursor(at >= 0 ? int(at) : m_cursor);
    }
    operation.end();
    if (!inserting)
        notifyCurrent();
    notifyLayout();
}

void ClientDataSet::cancelUpdates()
{
    if (!active())
        return;
    checkIdle(Operation::CancelUpdates);
    cancel();   // the row being edited goes first, with its events
    const OperationScope operation(this, Operation::CancelUpdates);
    const int current = currentRowIndex();
    int kept = -1, newIndex = 0;
    QList<Row> rows;
    rows.reserve(m_rows.size());
    for (qsizetype i = 0; i < m_rows.size(); ++i) {
        Row &row = m_rows[i];
        if (row.change == RowChange::Inserted)
            continue;
        if (row.change != RowChange::Unchanged) {
            row.values = std::move(row.original);
            row.original.clear();
            row.change = RowChange::Unchanged;
        }
        if (i == current)
            kept = newIndex;
        rows.append(std::move(row));
        ++newIndex;
    }
    m_rows = std::move(rows);
    rebuildView();
    const qsizetype at = kept >= 0 ? m_view.indexOf(kept) : -1;
    placeCursor(at >= 0 ? int(at) : m_cursor);
    operation.end();
    notifyCurrent();
    notifyLayout();
}

// --- filter ------------------------------------------------------------------------------------

void ClientDataSet::setFilter(const QString &expression)
{
    // FIELD = 'value' [AND FIELD = 'value' ...], any spacing, quotes inside a value doubled.
    QList<Condition> conditions;
    const QString e = expression;
    qsizetype i = 0;
    const qsizetype n = e.size();
    auto skipSpace = [&] {
        while (i < n && e.at(i).isSpace())
            ++i;
    };
    auto fail = [&](const QString &what) -> Error {
        return Error(QStringLiteral("Filtro inválido em %1 (posição %2): %3.\n%4").arg(objectName()).arg(i + 1).arg(what, expression));
    };
    skipSpace();
    while (i < n) {
        const qsizetype start = i;
        while (i < n && (e.at(i).isLetterOrNumber() || e.at(i) == QLatin1Char('_')))
            ++i;
        if (i == start)
            throw fail(QStringLiteral("esperava o nome de um campo"));
        const QString name = e.mid(start, i - start);
        Field *field = findField(name);
        if (!field)
            throw fail(QStringLiteral("campo desconhecido %1").arg(name));
        skipSpace();
        if (i >= n || e.at(i) != QLatin1Char('='))
            throw fail(QStringLiteral("esperava '='"));
        ++i;
        skipSpace();
        if (i >= n || e.at(i) != QLatin1Char('\''))
            throw fail(QStringLiteral("esperava um valor entre aspas"));
        ++i;
        QString value;
        for (;;) {
            if (i >= n)
                throw fail(QStringLiteral("aspas não fechadas"));
            if (e.at(i) == QLatin1Char('\'')) {
                if (i + 1 < n && e.at(i + 1) == QLatin1Char('\'')) {
                    value += QLatin1Char('\'');
                    i += 2;
                    continue;
                }
                ++i;
                break;
            }
            value += e.at(i++);
        }
        conditions.append({field->index(), value});
        skipSpace();
        if (i >= n)
            break;
        if (e.mid(i, 3).compare(QLatin1String("AND"), Qt::CaseInsensitive) != 0 || i + 3 >= n || !e.at(i + 3).isSpace())
            throw fail(QStringLiteral("esperava AND"));
        i += 3;
        skipSpace();
        if (i >= n)
            throw fail(QStringLiteral("esperava uma condição depois de AND"));
    }
    if (active() && m_filtered)
        checkBrowseMode(Operation::Filter);
    m_filterText = expression;
    m_conditions = std::move(conditions);
    if (active() && m_filtered) {
        rebuildView();
        notifyLayout();
        first();
    }
}

void ClientDataSet::setFiltered(bool on)
{
    if (m_filtered == on)
        return;
    if (active())
        checkBrowseMode(Operation::Filter);
    m_filtered = on;
    if (active()) {
        rebuildView();
        notifyLayout();
        first();
    }
}

bool ClientDataSet::matches(const Row &row) const
{
    if (row.change == RowChange::Deleted)
        return false;
    if (!m_filtered)
        return true;
    for (const Condition &c : m_conditions) {
        const QVariant &v = row.values.at(c.field);
        if (v.isNull())
            return false;
        if (plainText(v, m_fields.at(c.field)->kind()) != c.value)
            return false;
    }
    return true;
}

void ClientDataSet::rebuildView()
{
    m_view.clear();
    m_view.reserve(m_rows.size());
    for (qsizetype i = 0; i < m_rows.size(); ++i)
        if (matches(m_rows.at(i)))
            m_view.append(int(i));
    if (m_cursor >= m_view.size())
        m_cursor = int(m_view.size()) - 1;
}

bool ClientDataSet::locate(const QString &fieldNames, const QVariantList &values)
{
    checkBrowseMode();
    const QStringList names = fieldNames.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    if (names.size() != values.size())
        throw Error(QStringLiteral("Locate em %1: %2 campos para %3 valores.").arg(objectName()).arg(names.size()).arg(values.size()));
    QList<Field *> fields;
    for (const QString &name : names)
        fields.append(fieldByName(name.trimmed()));
    for (qsizetype pos = 0; pos < m_view.size(); ++pos) {
        const Row &row = m_rows.at(m_view.at(pos));
        bool all = true;
        for (qsizetype k = 0; k < fields.size() && all; ++k) {
            Field *f = fields.at(k);
            QVariant wanted;
            try {
                wanted = f->convert(values.at(k));
            } catch (const Error &) {
                all = false;
                break;
            }
            all = sameValue(row.values.at(f->index()), wanted, f->kind());
        }
        if (all) {
            if (int(pos) != m_cursor)
                moveCursor(int(pos), true);
            return true;
        }
    }
    return false;
}

// --- controls ----------------------------------------------------------------------------------

void ClientDataSet::disableControls() { ++m_disableCount; }

void ClientDataSet::enableControls()
{
    if (m_disableCount == 0)
        return;
    if (--m_disableCount > 0)
        return;
    m_pendingLayout = false;
    emit layoutChanged();
    emit stateChanged();
    const auto sources = m_sources;
    for (const auto &source : sources)
        if (source)
            emit source->layoutChanged();
    for (const auto &source : sources)
        if (source)
            source->updateState();
}

void ClientDataSet::resync() { notifyLayout(); }

void ClientDataSet::notifyLayout()
{
    if (m_disableCount > 0) {
        m_pendingLayout = true;
        return;
    }
    emit layoutChanged();
    const auto sources = m_sources;   // a listener may attach or detach sources meanwhile
    for (const auto &source : sources)
        if (source)
            emit source->layoutChanged();
}

void ClientDataSet::notifyCurrent()
{
    if (m_disableCount > 0)
        return;
    emit currentChanged();
    const auto sources = m_sources;
    for (const auto &source : sources)
        if (source) {
            emit source->currentChanged();
            source->onDataChange(source.data(), nullptr);
        }
}

void ClientDataSet::notifyField(Field *field)
{
    if (m_disableCount > 0)
        return;
    emit fieldChanged(field);
    const auto sources = m_sources;
    for (const auto &source : sources)
        if (source) {
            emit source->fieldChanged(field);
            source->onDataChange(source.data(), field);
        }
}

void ClientDataSet::attach(DataSource *source)
{
    if (!m_sources.contains(source))
        m_sources.append(source);
}

void ClientDataSet::detach(DataSource *source)
{
    m_sources.removeAll(source);
}

// ---------------------------------------------------------------------------------------------
// DataSource

DataSource::DataSource(QObject *parent, const QString &name) : QObject(parent)
{
    setObjectName(name);
}

DataSource::~DataSource()
{
    if (m_dataSet)
        m_dataSet->detach(this);
}

void DataSource::setDataSet(ClientDataSet *dataSet)
{
    if (m_dataSet == dataSet)
        return;
    if (m_dataSet)
        m_dataSet->detach(this);
    m_dataSet = dataSet;
    if (m_dataSet)
        m_dataSet->attach(this);
    m_lastState = state();
    emit dataSetChanged();
}

void DataSource::setEnabled(bool enabled)
{
    if (m_enabled == enabled)
        return;
    m_enabled = enabled;
    emit dataSetChanged();
    updateState();
}

DataSetState DataSource::state() const
{
    return (m_enabled && m_dataSet) ? m_dataSet->state() : DataSetState::Inactive;
}

void DataSource::updateState()
{
    const DataSetState now = state();
    if (now == m_lastState)
        return;
    m_lastState = now;
    emit stateChanged();
    onStateChange(this);
}

void DataSource::notifyStateChange()
{
    onStateChange(this);
}

// ---------------------------------------------------------------------------------------------
// KeyList

int KeyList::Add(const QString &key, int value)
{
    const int position = int(m_keys.size());
    m_keys.append(key);
    m_values.append(value);
    if (!m_positions.contains(key))   // a repeated key is found at its first position
        m_positions.insert(key, position);
    return position;
}

int KeyList::IndexOf(const QString &key) const
{
    return m_positions.value(key, -1);
}

void KeyList::Clear()
{
    m_keys.clear();
    m_values.clear();
    m_positions.clear();
}

QString stateName(DataSetState state)
{
    switch (state) {
    case DataSetState::Inactive: return QStringLiteral("inactive");
    case DataSetState::Browse: return QStringLiteral("browse");
    case DataSetState::Edit: return QStringLiteral("edit");
    case DataSetState::Insert: return QStringLiteral("insert");
    }
    return QString();
}

} // namespace toolkit

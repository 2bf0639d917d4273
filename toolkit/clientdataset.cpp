// The dataset's definition, its content (load, open, close), the operations under way, and the
// edit states with their events. The cursor and view, the change log, the filter and the data
// sources live in units of their own.

#include "clientdataset.h"

#include <utility>

namespace toolkit {

using protocol::PacketContent;
using protocol::PacketField;
using protocol::PacketRow;
using protocol::RowChange;

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
    loadContent(protocol::indexPacket(packet));
}

PacketContent ClientDataSet::checkedData(const DataPacket &packet) const
{
    PacketContent content = protocol::indexPacket(packet);
    packetColumns(content);
    return content;
}

void ClientDataSet::setData(PacketContent &&checked)
{
    loadContent(std::move(checked));
}

QList<int> ClientDataSet::packetColumns(const PacketContent &content) const
{
    if (content.delta)
        throw Error(QStringLiteral("%1: um pacote de alterações não pode ser carregado como dados.").arg(objectName()));
    QList<int> source(m_fields.size(), -1);
    for (qsizetype i = 0; i < m_fields.size(); ++i) {
        const Field *f = m_fields[i];
        const int at = content.fieldIndex(f->fieldName());
        if (at < 0)
            throw Error(QStringLiteral("%1: o campo %2 não veio no pacote de dados.").arg(objectName(), f->fieldName()));
        if (content.fields[at].kind != f->kind())
            throw Error(QStringLiteral("%1: o campo %2 veio com outro tipo no pacote de dados.").arg(objectName(), f->fieldName()));
        // A longer text than the field holds would reach the screen and the server's columns.
        if (f->kind() == FieldKind::String && content.fields[at].size != f->size())
            throw Error(QStringLiteral("%1: o campo %2 veio com outro tamanho no pacote de dados (%3 em vez de %4).")
                            .arg(objectName(), f->fieldName())
                            .arg(content.fields[at].size)
                            .arg(f->size()));
        source[i] = at;
    }
    return source;
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
    // Map the packet's columns onto the persistent fields (or take the packet's as they are).
    if (m_fields.isEmpty() && !content.delta) {
        for (const PacketField &pf : std::as_const(content.fields)) {
            Field *f = addField(pf.name, pf.kind, pf.size);
            f->setRequired(pf.required);
            f->setReadOnly(pf.readOnly);
        }
    }
    const QList<int> source = packetColumns(content);
    bool sameOrder = content.fields.size() == m_fields.size();
    for (qsizetype i = 0; i < source.size(); ++i)
        sameOrder = sameOrder && source[i] == i;
    QList<Row> rows;
    if (content.cells) {
        rows.resize(content.cells->rowCount());
        for (qsizetype i = 0; i < rows.size(); ++i)
            rows[i].packed = int(i);
    }
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
    m_cells = std::move(content.cells);
    m_cellColumns = source;
    rebuildView();
    placeCursor(m_view.isEmpty() ? -1 : 0);
    operation.end();
    notifyCurrent();
    notifyLayout();
    announceState(was);
    afterOpen(this);
    afterScroll(this);
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
    m_cells.reset();
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
    m_cells.reset();
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
    m_cells.reset();
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
        m_buffer = decodedRow(m_view.at(m_cursor)).values;
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
    if (field->holdsSame(slot, value) && slot.isNull() == value.isNull())
        return;
    slot = value;
    m_modified = true;
    notifyField(field);
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
        decodedRow(posted);
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
    decodedRow(index);
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

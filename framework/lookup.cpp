#include "lookup.h"

#include "adoibquery.h"
#include "presenter.h"

#include <toolkit/clientdataset.h>
#include <toolkit/error.h>

namespace framework {

void openDataSet(toolkit::ClientDataSet *dataSet)
{
    if (!dataSet)
        throw toolkit::Error(QStringLiteral("Pesquisa sem conjunto de dados."));
    if (dataSet->active())
        return;
    if (auto *query = qobject_cast<TADOIBQuery *>(dataSet))
        query->Open();
    else
        throw toolkit::Error(QStringLiteral("O conjunto de dados %1 não está aberto.").arg(dataSet->objectName()));
}

bool Pesquisar(toolkit::DataSource *source, const QString &title, bool, bool)
{
    toolkit::ClientDataSet *dataSet = source ? source->dataSet() : nullptr;
    openDataSet(dataSet);
    const qsizetype bar = title.indexOf(QLatin1Char('|'));
    const QString caption = bar < 0 ? title : title.left(bar);
    const QString emptyText = bar < 0 ? QString() : title.mid(bar + 1);
    if (dataSet->isEmpty()) {
        presenter().information(emptyText.isEmpty() ? QStringLiteral("Não há registros para pesquisar.") : emptyText);
        return false;
    }
    const int row = presenter().pick(dataSet, caption);
    if (row < 0 || row >= dataSet->recordCount())
        return false;
    dataSet->setRecNo(row);
    return true;
}

QStringList splitKeyList(const QString &list)
{
    return list.split(QLatin1Char('_'), Qt::SkipEmptyParts);
}

QString joinKeyList(const QStringList &keys)
{
    if (keys.isEmpty())
        return QString();
    return QLatin1Char('_') + keys.join(QLatin1Char('_')) + QLatin1Char('_');
}

bool PesquisaLista(toolkit::DataSource *source, const QString &keyField, const QString &title, bool, QString &list)
{
    toolkit::ClientDataSet *dataSet = source ? source->dataSet() : nullptr;
    openDataSet(dataSet);
    dataSet->fieldByName(keyField);   // a wrong key field is a programming error: say so now
    if (dataSet->isEmpty()) {
        presenter().information(QStringLiteral("Não há registros para pesquisar."));
        return false;
    }
    const std::optional<QStringList> chosen = presenter().pickList(dataSet, keyField, title, splitKeyList(list));
    if (!chosen)
        return false;
    list = joinKeyList(*chosen);
    return true;
}

bool Procura(toolkit::ClientDataSet *dataSet, const QString &title)
{
    if (!dataSet || !dataSet->active())
        return false;
    if (dataSet->isEmpty()) {
        presenter().information(QStringLiteral("Não há registros para procurar."));
        return false;
    }
    const int row = presenter().search(dataSet, title.isEmpty() ? QStringLiteral("Procurar") : title);
    if (row < 0 || row >= dataSet->recordCount())
        return false;
    dataSet->setRecNo(row);
    return true;
}

} // namespace framework

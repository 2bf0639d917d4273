#pragma once
// The lookup dialogs the screens call: pick one row of a data source's dataset, tick several
// rows by a key field, or search a dataset. They show through the presenter.

#include "framework_export.h"

#include <QString>

namespace toolkit {
class ClientDataSet;
class DataSource;
}

namespace framework {

// Opens a dataset for a lookup: a query runs its SQL; an in-memory dataset must already be open.
FRAMEWORK_EXPORT void openDataSet(toolkit::ClientDataSet *dataSet);

// A modal list of the data source's dataset (opened if needed), titled by the text before a
// "|"; the text after it is shown when there is nothing to choose (and the answer is false).
// True when the user chose a row: the dataset is then on it. The two flags are kept for the
// callers' form and change nothing.
FRAMEWORK_EXPORT bool Pesquisar(toolkit::DataSource *source, const QString &title, bool flag1 = false, bool flag2 = true);

// Multi-selection by `keyField`. `list` comes in and goes out as "_" key1 "_" key2 "_" (empty when
// nothing is chosen); the rows whose keys it holds start ticked. True when the user confirmed;
// giving up leaves `list` as it was. The flag is kept for the callers' form.
FRAMEWORK_EXPORT bool PesquisaLista(toolkit::DataSource *source, const QString &keyField, const QString &title, bool flag,
                                    QString &list);

// A search dialog over an open dataset; true when a row was found and the dataset is on it.
FRAMEWORK_EXPORT bool Procura(toolkit::ClientDataSet *dataSet, const QString &title = QString());

// The list string of PesquisaLista, both ways.
FRAMEWORK_EXPORT QStringList splitKeyList(const QString &list);
FRAMEWORK_EXPORT QString joinKeyList(const QStringList &keys);

} // namespace framework

using framework::PesquisaLista;
using framework::Pesquisar;
using framework::Procura;

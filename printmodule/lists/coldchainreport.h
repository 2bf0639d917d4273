#pragma once
// The day's cold-chain report: every container with when it left the kitchen and at what
// temperature, when it arrived at its delivery point, at what temperature and who received it,
// how long it travelled, how often its entries were corrected and, in words, what went wrong;
// then a summary per delivery point. Made of the containers as the application server answers
// them (GetExpedicao) and judged by the cold chain's rules; drawn by the lists' renderer and
// written by their CSV writer, so that it looks and reads like the kitchen lists.

#include "kitchenlist.h"
#include "listrenderer.h"

#include <labels/containerdispatch.h>
#include <labels/labelsource.h>

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

namespace printlists {

enum class ColdChainFlag { OutOfRangeAtDispatch, OutOfRangeAtReceipt, ExpiredAtReceipt, NotDispatched, NotReceived };

// "Fora da faixa na expedição", "Fora da faixa no recebimento", "Vencido no recebimento",
// "Não expedido", "Não recebido"
QString flagText(ColdChainFlag flag);

// What is wrong with a container, in that order: its latest temperature at dispatch or at
// receipt outside its dish's range (a dish without a mode, or travelling at room temperature, has
// none), its arrival after its use-by, no dispatch, no receipt.
QList<ColdChainFlag> flagsOf(const printlabels::ContainerDispatch &container);

// From leaving the kitchen to arriving at the point, in whole minutes; none unless both happened.
std::optional<qint64> transitMinutes(const printlabels::ContainerDispatch &container);
// "1:05": hours and minutes
QString transitText(qint64 minutes);
// The corrections of its dispatch and of its receipt.
int correctionsOf(const printlabels::ContainerDispatch &container);

struct PointSummary {
    QString clientCode, clientName, pointCode, pointName; // empty for the whole day
    int containers = 0;
    int dispatched = 0;
    int received = 0;
    int flagged = 0; // with at least one flag
    std::optional<qint64> longestTransit; // minutes
};

struct ColdChainPoint {
    PointSummary summary;
    QList<printlabels::ContainerDispatch> containers;
};

struct ColdChainReport {
    ListDay day;
    QList<ColdChainPoint> points; // each client's point once, in the containers' order
    PointSummary total; // the whole day
};

// The report of the chosen containers (a point, some dishes; empty choices take all), in the
// order the server lists them (by point, client, dish row and label, as the labels print).
ColdChainReport buildColdChainReport(const ListDay &day, const QList<printlabels::ContainerDispatch> &containers,
    const printlabels::LabelSelection &selection = {});

// "Relatório da Cadeia Fria"
QString coldChainTitle();

// On paper: a group per point with its containers, the summary per point last.
TableDocument coldChainDocument(const ColdChainReport &report);

// The spreadsheet file: one line per container, a summary line after each point's containers and
// one for the whole day last, each line standing on its own.
QByteArray coldChainCsv(const ColdChainReport &report);
void writeColdChainCsv(const ColdChainReport &report, const QString &path);

} // namespace printlists

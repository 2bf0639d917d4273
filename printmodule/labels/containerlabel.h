#pragma once
// One container label as it is printed: a stored label row (ETIQSERVTRAN) with the names of
// what it refers to, its place among the labels of its dish row, and the text of its code.

#include <rules/coldchain.h>

#include <QDate>
#include <QDateTime>
#include <QString>
#include <optional>

namespace printlabels {

struct ContainerLabel {
    // The label's key.
    QString branch;          // CDFILIAL
    QString service;         // CDSERVFILI
    QDate date;              // DTSERVTRAN
    QString diet;            // CDDIETPADST
    QString rowNumber;       // NRSERVTRAN
    QString sequence;        // NRSEQUETIQTR

    QString branchName;      // NMFILIAL
    QString serviceName;     // NMSERVICO
    QString clientName;      // NMFANTCLIE, or NMRAZSOCCLIE for a client without a trade name
    QString pointCode;       // CDDESTFILI
    QString pointName;       // NMDESTFILI
    QString dishCode;        // CDPRATO
    QString dishName;        // NMPRATO of the row
    QString unit;            // SGUNIDADE of the row
    double quantity = 0;     // QTPRATETIQTR
    int index = 0;           // this label among its dish row's labels (1-based)
    int count = 0;           // how many labels the dish row has

    // The cold chain: how the dish travels, when its row's labels were made and until when it is
    // safe (the kitchen's wall clock; invalid when the row's labels predate their recording).
    std::optional<rules::cold::Conservation> conservation;   // IDCONSERV, none when not registered
    QDateTime prepared;      // DTHRPREPARO
    QDateTime useBy;         // DTHRVALIDADE

    // The link of the receiver's phone page, signed by the server (DSLINK); empty when the
    // server signs no links.
    QString link;
};

// The text the label's code carries: its key in one line, fields separated by '|', the date as
// yyyyMMdd, behind a version tag:  ST1|0001|00001|20261208|XXXX|0000000001|0001
// A '|' inside a part is written "%7C" and a '%' "%25", so any part reads back whole.
QString keyText(const ContainerLabel &label);
// The label's key back from that text; false when the text is not one.
bool parseKeyText(const QString &text, ContainerLabel &key);

// What the label's code carries: its link when it has one (a phone opens it at the delivery
// point), else its key text.
QString codeText(const ContainerLabel &label);
// Whether a scanned text is the label's link: the same signed token, whatever address it came by.
bool isLinkOf(const QString &scanned, const ContainerLabel &label);

// "Preparo: 08/12/2026 10:30", or that it was not recorded
QString preparedText(const ContainerLabel &label);
// "Consumir até 08/12/2026 16:30", or what to do when the preparation was not recorded
QString useByText(const ContainerLabel &label);
// "Manter acima de 60 °C"...
QString instructionText(const ContainerLabel &label);

// "2 de 5"
QString positionText(const ContainerLabel &label);
// The quantity in the Brazilian number format with its unit: "4,5 KG"
QString quantityText(const ContainerLabel &label);

} // namespace printlabels

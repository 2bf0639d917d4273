#include "zandrix.h"

#include <toolkit/error.h>

namespace framework {

namespace {
SessionValues &values()
{
    static SessionValues v;
    return v;
}
ModuleOpener &opener()
{
    static ModuleOpener o;
    return o;
}
} // namespace

TDBPicture::TDBPicture(const QString &mask) : m_mask(mask)
{
    const QString picture = mask.section(QLatin1Char(';'), 0, 0);
    int run = 0;
    for (const QChar c : picture) {
        if (c == QLatin1Char('9') || c == QLatin1Char('0')) {
            ++run;
        } else if (run > 0) {
            m_levels.append(run);
            run = 0;
        }
    }
    if (run > 0)
        m_levels.append(run);
}

int TDBPicture::levelLength(int level) const
{
    return level >= 1 && level <= m_levels.size() ? m_levels.at(level - 1) : 0;
}

int TDBPicture::codeLength() const
{
    int total = 0;
    for (int n : m_levels)
        total += n;
    return total;
}

void setSession(const SessionValues &v) { values() = v; }
const SessionValues &session() { return values(); }

QString FiliProc() { return values().branch; }
QString NomeFiliProc() { return values().branchName; }
bool ModuFili() { return values().boundBranch; }
QString Operador() { return values().operatorCode; }
QString WebURL() { return values().webUrl; }
int WebPort() { return values().webPort; }

QDate DataProc(const QString &branch)
{
    const QDate own = values().branchDates.value(branch.trimmed());
    if (own.isValid())
        return own;
    if (values().processingDate.isValid())
        return values().processingDate;
    return QDate::currentDate();
}

QString DBPict(int kind)
{
    const auto it = values().pictures.constFind(kind);
    if (it != values().pictures.constEnd())
        return *it;
    return kind == 1 ? QString::fromLatin1(kDefaultDishPicture) : QString();
}

TDBPicture DBPictObj(int kind) { return TDBPicture(DBPict(kind)); }

void setModuleOpener(ModuleOpener o) { opener() = std::move(o); }

void LoadBPL(const QString &screenCode)
{
    if (!opener())
        throw toolkit::Error(QStringLiteral("Não é possível abrir o módulo %1: carregador de módulos não instalado.").arg(screenCode));
    opener()(screenCode);
}

} // namespace framework

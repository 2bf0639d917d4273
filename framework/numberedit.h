#pragma once
// The numeric edit: digits, one decimal comma and a leading minus are typed (the one rule for
// typed numbers, toolkit/numberinput.h); when the edit is left the number is shown in the pt_BR
// form the properties ask for (currency sign, thousands separators, decimals). An empty edit, or
// one whose typed text holds no number ("1.500"), holds no number: GetNumber answers 0 and
// hasNumber false.

#include "framework_export.h"

#include <toolkit/maskedit.h>

#include <optional>
#include <utility>

namespace framework {

class FRAMEWORK_EXPORT TNumberEdit : public toolkit::MaskEdit {
    Q_OBJECT
public:
    explicit TNumberEdit(QWidget *parent = nullptr, const QString &name = QString());

    double GetNumber() const;
    bool hasNumber() const;
    void SetNumber(double value);

    bool currency() const { return m_currency; }
    void setCurrency(bool on);
    bool thousands() const { return m_thousands; }
    void setThousands(bool on);
    int decimals() const { return m_decimals; }
    void setDecimals(int decimals);

    // The number as the properties show it.
    QString format(double value) const;

protected:
    bool keyAccepted(QKeyEvent *event, QChar &c) override;
    void focusExited() override;

private:
    void reformat();
    QString numberText() const;
    std::optional<double> number() const;

    std::optional<std::pair<QString, double>> m_formatted;   // the text SetNumber showed, and its number
    bool m_currency = false;
    bool m_thousands = true;
    int m_decimals = 2;
};

} // namespace framework

using framework::TNumberEdit;

#pragma once
// Masked edits with three-section edit masks, "mask;keepLiterals;blank", as the forms declare
// them: ">aaaa;0; " (up to four letters or digits, upper-cased), "ccccc;0; " (up to five of any
// character), "9.99.999.9999;0; " (digits in fixed positions, the dots only shown).
//
// Mask characters: '>' upper-case and '<' lower-case what follows ("<>" ends either), '\' takes
// the next character as a literal, 'L'/'l' a letter, 'A'/'a' a letter or digit, 'C'/'c' any
// character, '0'/'9' a digit, '#' a digit or sign, '_' a shown blank; the upper-case (or '0')
// form is required, the other optional. Anything else is a literal. The second section "0"
// keeps the literals out of the text; the third is the character shown in unfilled positions.
//
// A mask without literals edits like a plain field (a validator, a maximum length and case
// conversion); Qt's input mask is used only where literals are shown.

#include "editmask.h"
#include "event.h"
#include "focustracker.h"
#include "toolkit_export.h"

#include <QLineEdit>
#include <QString>

namespace toolkit {

class TOOLKIT_EXPORT MaskEdit : public QLineEdit, protected FocusListener {
    Q_OBJECT
public:
    explicit MaskEdit(QWidget *parent = nullptr, const QString &name = QString());
    ~MaskEdit() override;

    QString editMask() const { return m_mask.source(); }
    void setEditMask(const QString &mask);
    const EditMask &mask() const { return m_mask; }

    // The stored form: without literals when the mask says so, trailing blanks trimmed.
    // (They hide QLineEdit's own; through a QLineEdit pointer the shown text is seen.)
    QString text() const;
    void setText(const QString &text);
    // The text as shown, literals and blank characters included.
    QString editText() const { return QLineEdit::displayText(); }
    // Every required position of the mask is filled.
    bool isComplete() const;

    // Handlers take the edit as sender. onChange runs on every change of the text, setText
    // included; onKeyPress runs before a typed character is inserted (set it to QChar() to drop
    // it, or to another character to insert that one); onEnter/onExit when the focus comes
    // from, or goes to, another control of the same window.
    Event<QObject *> onChange, onEnter, onExit;
    Event<QObject *, QChar &> onKeyPress;

protected:
    void keyPressEvent(QKeyEvent *event) override;
    // After onKeyPress let the key through: whether it goes on to the edit. `c` is the
    // character it types (QChar() for a key that types none). Data-bound edits start editing here.
    virtual bool keyAccepted(QKeyEvent *event, QChar &c);
    void focusEntered() override;
    void focusExited() override;

private:
    void applyMask();
    EditMask m_mask;
    bool m_maskSetLength = false;
};

} // namespace toolkit

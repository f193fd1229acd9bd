#pragma once
// A whole-number field with spin buttons. Arrows and Up/Down step by one and
// keep the value in range; a typed value outside the range is brought to the
// nearer bound when the field loses the focus; keys other than digits, signs,
// the decimal separator and control keys are refused with a beep.

#include <QSpinBox>

namespace qb {

class SpinEdit : public QSpinBox
{
    Q_OBJECT
public:
    explicit SpinEdit(QWidget *parent = nullptr);

    // The number in the field right now, brought into the range: a value that
    // was typed and confirmed with Enter without leaving the field counts
    // like one that left it; text that is no whole number reads as minimum().
    int readValue() const;

protected:
    QValidator::State validate(QString &input, int &pos) const override;
    int valueFromText(const QString &text) const override;
    // A typed number outside the range goes to the nearer bound (the
    // toolkit's own correction would go to the bound nearer zero).
    void fixup(QString &input) const override;
    void keyPressEvent(QKeyEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
};

} // namespace qb

#include "dialogs/spinedit.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>

#include <algorithm>

namespace qb {

namespace {
// The field shows its number in the locale's digits; it reads those back, and
// the digits 0-9 as well, whatever the locale.
bool parseWhole(const QLocale &locale, const QString &text, qlonglong &value)
{
    const QString t = text.trimmed();
    QLocale strict = locale;
    strict.setNumberOptions(locale.numberOptions() | QLocale::RejectGroupSeparator);
    bool ok = false;
    value = strict.toLongLong(t, &ok);
    if (!ok)
        value = t.toLongLong(&ok, 10);
    return ok;
}

// The characters the field takes as typed: digits, signs and the decimal
// separator. Whatever they make that is no whole number reads as the minimum.
bool isAccepted(QChar c)
{
    return c.isDigit() || c == u'+' || c == u'-' || QLocale().decimalPoint().contains(c);
}
} // namespace

SpinEdit::SpinEdit(QWidget *parent)
    : QSpinBox(parent)
{
    setKeyboardTracking(true);
    setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
}

int SpinEdit::readValue() const
{
    qlonglong v = 0;
    if (!parseWhole(locale(), lineEdit()->text(), v))
        return minimum();
    return int(std::clamp<qlonglong>(v, minimum(), maximum()));
}

QValidator::State SpinEdit::validate(QString &input, int &) const
{
    const QString t = input.trimmed();
    qlonglong v = 0;
    if (parseWhole(locale(), t, v))
        return (v >= minimum() && v <= maximum()) ? QValidator::Acceptable : QValidator::Intermediate;
    return std::all_of(t.begin(), t.end(), isAccepted) ? QValidator::Intermediate : QValidator::Invalid;
}

int SpinEdit::valueFromText(const QString &text) const
{
    qlonglong v = 0;
    if (!parseWhole(locale(), text, v))
        return minimum();
    return int(std::clamp<qlonglong>(v, minimum(), maximum()));
}

void SpinEdit::fixup(QString &input) const
{
    qlonglong v = 0;
    if (parseWhole(locale(), input, v))
        input = textFromValue(int(std::clamp<qlonglong>(v, minimum(), maximum())));
}

void SpinEdit::keyPressEvent(QKeyEvent *event)
{
    const QString text = event->text();
    if (!text.isEmpty() && text.at(0).isPrint()) {
        if (!isAccepted(text.at(0))) {
            QApplication::beep();
            event->accept();
            return;
        }
    }
    QSpinBox::keyPressEvent(event);
}

void SpinEdit::focusOutEvent(QFocusEvent *event)
{
    const int v = readValue();
    QSpinBox::focusOutEvent(event);
    setValue(v);
}

} // namespace qb

#include "dialogs/spinedit.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>

#include <algorithm>

namespace qb {

namespace {
bool parseWhole(const QString &text, qlonglong &value)
{
    bool ok = false;
    value = text.trimmed().toLongLong(&ok, 10);
    return ok;
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
    if (!parseWhole(lineEdit()->text(), v))
        return minimum();
    return int(std::clamp<qlonglong>(v, minimum(), maximum()));
}

QValidator::State SpinEdit::validate(QString &input, int &) const
{
    const QString t = input.trimmed();
    if (t.isEmpty() || t == u"+" || t == u"-")
        return QValidator::Intermediate;
    qlonglong v = 0;
    if (!parseWhole(t, v))
        return QValidator::Invalid;
    return (v >= minimum() && v <= maximum()) ? QValidator::Acceptable : QValidator::Intermediate;
}

int SpinEdit::valueFromText(const QString &text) const
{
    qlonglong v = 0;
    if (!parseWhole(text, v))
        return minimum();
    return int(std::clamp<qlonglong>(v, minimum(), maximum()));
}

void SpinEdit::fixup(QString &input) const
{
    qlonglong v = 0;
    if (parseWhole(input, v))
        input = textFromValue(int(std::clamp<qlonglong>(v, minimum(), maximum())));
}

void SpinEdit::keyPressEvent(QKeyEvent *event)
{
    const QString text = event->text();
    if (!text.isEmpty() && text.at(0).isPrint()) {
        const QChar c = text.at(0);
        const QString decimal = QLocale().decimalPoint();
        if (!c.isDigit() && c != u'+' && c != u'-' && !decimal.contains(c)) {
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

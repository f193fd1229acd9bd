#pragma once
// The about box: name, version, contact lines, web address and disclaimer.
// Its timer closes it 60 seconds after it was created.

#include <QDialog>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace qb {
class ToolkitTimer;

class TfrmAbout : public QDialog
{
    Q_OBJECT
public:
    explicit TfrmAbout(QWidget *parent = nullptr);

    ToolkitTimer *Timer1;
    QLabel *lblVersion;
    QLabel *lUrl;
    QPushButton *BitBtn1;
    QPlainTextEdit *Memo1;

    void Timer1Timer();
    void lUrlClick();

    // Tests: replaces the call that opens the web address.
    static void setUrlOpener(bool (*opener)(const QString &url));

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool m_urlPressed = false; // the left button went down on the link
};

} // namespace qb

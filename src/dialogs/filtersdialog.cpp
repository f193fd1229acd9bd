#include "dialogs/filtersdialog.h"
#include "dialogs/look.h"
#include "dialogs/placement.h"

#include "common/bytes.h"
#include "dialogs/listtext.h"
#include "settings/apppaths.h"
#include "settings/profilefile.h"

#include <QCheckBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTextDocument>
#include <QVBoxLayout>
#include <QShowEvent>
#include <QStyle>

#include <new>

namespace qb {

namespace {

constexpr std::string_view kDefaults = "Defaults";

// The text area's text exactly as typed. toPlainText() would turn the
// no-break space (byte 0xA0) into a plain space and so change the entries.
QString listText(const QPlainTextEdit *m)
{
    QString text = m->document()->toRawText();
    text.replace(QChar::ParagraphSeparator, u'\n');
    text.replace(QChar::LineSeparator, u'\n');
    return text;
}

void setListText(QPlainTextEdit *m, const QString &text)
{
    if (listText(m) != text)
        m->setPlainText(text);
}

// Loads a list file into its text area. A failure leaves the list empty and
// is remembered, so that the file is not replaced at exit.
ListLoad::Status loadList(const std::filesystem::path &file, QPlainTextEdit *m)
{
    ListLoad load = loadListFile(file);
    if (load.status != ListLoad::Status::Loaded)
        return load.status;
    try {
        m->setPlainText(listTextFromLines(load.lines, load.endsWithLineBreak));
    } catch (const std::bad_alloc &) {
        m->clear();
        return ListLoad::Status::Failed;
    }
    return ListLoad::Status::Loaded;
}

void saveList(const std::filesystem::path &file, ListLoad::Status loaded, const QPlainTextEdit *m)
{
    if (loaded == ListLoad::Status::Failed)
        return;
    const ListText list = listTextToLines(listText(m));
    saveListFile(file, list.lines, list.endsWithLineBreak);
}

QCheckBox *checkBox(const char *name, const QString &caption, QWidget *parent)
{
    auto *box = new QCheckBox(caption, parent);
    box->setObjectName(QString::fromLatin1(name));
    return box;
}

QPlainTextEdit *listArea(const char *name, QWidget *parent)
{
    auto *m = new QPlainTextEdit(parent);
    m->setObjectName(QString::fromLatin1(name));
    m->setLineWrapMode(QPlainTextEdit::NoWrap);
    m->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m->setTabChangesFocus(true);
    return m;
}

QGroupBox *groupBox(const char *name, const QString &caption, QWidget *parent)
{
    auto *box = new QGroupBox(caption, parent);
    box->setObjectName(QString::fromLatin1(name));
    return box;
}

} // namespace

TfrmFilters::TfrmFilters(const AppPaths &paths, QWidget *parent)
    : QDialog(parent)
    , m_settingsFile(paths.settingsFile)
    , m_includeFile(paths.includeFile)
    , m_excludeFile(paths.excludeFile)
{
    buildControls();
    loadSettings();
}

void TfrmFilters::buildControls()
{
    setObjectName(QStringLiteral("frmFilters"));
    setWindowTitle(QStringLiteral("Line Filters"));
    resize(407, 492);
    look::fillBackground(this, look::kSilver);
    QFont f(QStringLiteral("MS Sans Serif"));
    f.setPointSize(8);
    setFont(f);

    QPalette black = palette();
    black.setColor(QPalette::Window, Qt::black);

    // Heading.
    Panel2 = new QLabel(QStringLiteral("Line Filters"), this);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    Panel2->setFixedHeight(41);
    Panel2->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel2->setAlignment(Qt::AlignCenter);
    QPalette heading = black;
    heading.setColor(QPalette::WindowText, Qt::red);
    Panel2->setPalette(heading);
    Panel2->setAutoFillBackground(true);
    Panel2->setFont(look::headingFont());

    pcFilters = new QTabWidget(this);
    pcFilters->setObjectName(QStringLiteral("pcFilters"));

    // Page "Report Filters".
    tsReportFilter = new QWidget;
    tsReportFilter->setObjectName(QStringLiteral("tsReportFilter"));
    gbReportFilters = groupBox("gbReportFilters", QStringLiteral("Reject reports that..."), tsReportFilter);
    cbRejectEmpty = checkBox("cbRejectEmpty", QStringLiteral("are empty"), gbReportFilters);
    Label1 = new QLabel(QStringLiteral("Contain:"), gbReportFilters);
    Label1->setObjectName(QStringLiteral("Label1"));
    eReportContains = new QLineEdit(gbReportFilters);
    eReportContains->setObjectName(QStringLiteral("eReportContains"));
    Label1->setBuddy(eReportContains);
    Label2 = new QLabel(QStringLiteral("Do not contain:"), gbReportFilters);
    Label2->setObjectName(QStringLiteral("Label2"));
    eReportDoesntContain = new QLineEdit(gbReportFilters);
    eReportDoesntContain->setObjectName(QStringLiteral("eReportDoesntContain"));
    Label2->setBuddy(eReportDoesntContain);
    auto *reportGrid = new QGridLayout(gbReportFilters);
    reportGrid->addWidget(cbRejectEmpty, 0, 0, 1, 2);
    reportGrid->addWidget(Label1, 1, 0);
    reportGrid->addWidget(eReportContains, 1, 1);
    reportGrid->addWidget(Label2, 2, 0);
    reportGrid->addWidget(eReportDoesntContain, 2, 1);
    auto *reportPage = new QVBoxLayout(tsReportFilter);
    reportPage->addWidget(gbReportFilters);
    reportPage->addStretch();
    pcFilters->addTab(tsReportFilter, QStringLiteral("Report Filters"));

    // Page "Line Filters".
    tsLineFilters = new QWidget;
    tsLineFilters->setObjectName(QStringLiteral("tsLineFilters"));
    gbTrim = groupBox("gbTrim", QStringLiteral("Trim"), tsLineFilters);
    gbTrim->setFixedHeight(129);
    cbBlankLines = checkBox("cbBlankLines", QStringLiteral("Remove all blank lines"), gbTrim);
    cbLeftTrim = checkBox("cbLeftTrim", QStringLiteral("Trim blank lines from the beginning of the report"), gbTrim);
    cbRightTrim = checkBox("cbRightTrim", QStringLiteral("Trim blank lines from the end of the report"), gbTrim);
    cbLeftJustify = checkBox("cbLeftJustify", QStringLiteral("Left justify lines"), gbTrim);
    auto *trim = new QVBoxLayout(gbTrim);
    trim->addWidget(cbBlankLines);
    trim->addWidget(cbLeftTrim);
    trim->addWidget(cbRightTrim);
    trim->addWidget(cbLeftJustify);

    gbInclude = groupBox("gbInclude", QStringLiteral("Only include lines that contain..."), tsLineFilters);
    gbInclude->setFixedHeight(111);
    mInclude = listArea("mInclude", gbInclude);
    auto *include = new QVBoxLayout(gbInclude);
    include->setContentsMargins(5, 5, 5, 5);
    include->addWidget(mInclude);

    gbExclude = groupBox("gbExclude", QStringLiteral("Exclude lines that contain..."), tsLineFilters);
    mExclude = listArea("mExclude", gbExclude);
    auto *exclude = new QVBoxLayout(gbExclude);
    exclude->setContentsMargins(5, 5, 5, 5);
    exclude->addWidget(mExclude);

    auto *linePage = new QVBoxLayout(tsLineFilters);
    linePage->addWidget(gbTrim);
    linePage->addWidget(gbInclude);
    linePage->addWidget(gbExclude, 1);
    pcFilters->addTab(tsLineFilters, QStringLiteral("Line Filters"));

    // Button bar.
    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFixedHeight(41);
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel1->setPalette(black);
    Panel1->setAutoFillBackground(true);
    BitBtn1 = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton), QStringLiteral("OK"), Panel1);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setDefault(true);
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);
    auto *buttons = new QHBoxLayout(Panel1);
    buttons->addStretch();
    buttons->addWidget(BitBtn1);

    auto *form = new QVBoxLayout(this);
    form->setContentsMargins(0, 0, 0, 0);
    form->setSpacing(0);
    form->addWidget(Panel2);
    auto *middle = new QVBoxLayout;
    middle->setContentsMargins(4, 4, 4, 4);
    middle->addWidget(pcFilters);
    form->addLayout(middle, 1);
    form->addWidget(Panel1);

    // Inside "Trim" the keyboard visits the trims first, the blank lines last.
    setTabOrder(cbLeftTrim, cbRightTrim);
    setTabOrder(cbRightTrim, cbLeftJustify);
    setTabOrder(cbLeftJustify, cbBlankLines);
    setTabOrder(cbBlankLines, mInclude);
    setTabOrder(mInclude, mExclude);

    connect(cbBlankLines, &QCheckBox::toggled, this, &TfrmFilters::cbBlankLinesClick);
    connect(mInclude->document(), &QTextDocument::contentsChanged, this, [this] {
        m_includeEntries.reset();
        m_includeUtf8.reset();
    });
    connect(mExclude->document(), &QTextDocument::contentsChanged, this, [this] {
        m_excludeEntries.reset();
        m_excludeUtf8.reset();
    });
}

// FormCreate: the settings in the order they are stored, then the lists.
void TfrmFilters::loadSettings()
{
    const ProfileFile ini(m_settingsFile);
    cbBlankLines->setChecked(ini.readBool(kDefaults, "BlankLines", cbBlankLines->isChecked()));
    cbLeftTrim->setChecked(ini.readBool(kDefaults, "LTrim", cbLeftTrim->isChecked()));
    cbRightTrim->setChecked(ini.readBool(kDefaults, "RTrim", cbRightTrim->isChecked()));
    cbBlankLinesClick();
    cbLeftJustify->setChecked(ini.readBool(kDefaults, "LeftJustify", cbLeftJustify->isChecked()));
    cbRejectEmpty->setChecked(ini.readBool(kDefaults, "RejectEmpty", cbRejectEmpty->isChecked()));
    eReportContains->setText(
        bytesToText(ini.readString(kDefaults, "ReportContains", textToBytes(eReportContains->text()))));
    eReportDoesntContain->setText(
        bytesToText(ini.readString(kDefaults, "ReportDoesntContain", textToBytes(eReportDoesntContain->text()))));

    m_includeLoad = loadList(m_includeFile, mInclude);
    m_excludeLoad = loadList(m_excludeFile, mExclude);
    StripBlankLines();
}

FilterSettings TfrmFilters::settings() const
{
    FilterSettings s;
    s.rejectEmpty = cbRejectEmpty->isChecked();
    s.reportContains = textToBytes(eReportContains->text());
    s.reportDoesntContain = textToBytes(eReportDoesntContain->text());
    s.lTrim = cbLeftTrim->isChecked();
    s.rTrim = cbRightTrim->isChecked();
    s.leftJustify = cbLeftJustify->isChecked();
    s.blankLines = cbBlankLines->isChecked();
    if (!m_includeEntries)
        m_includeEntries = listEntries(textToBytes(listText(mInclude)));
    if (!m_excludeEntries)
        m_excludeEntries = listEntries(textToBytes(listText(mExclude)));
    s.include = *m_includeEntries;
    s.exclude = *m_excludeEntries;
    s.reportContainsUtf8 = eReportContains->text().toStdString();
    s.reportDoesntContainUtf8 = eReportDoesntContain->text().toStdString();
    if (!m_includeUtf8)
        m_includeUtf8 = listEntries(listText(mInclude).toStdString());
    if (!m_excludeUtf8)
        m_excludeUtf8 = listEntries(listText(mExclude).toStdString());
    s.includeUtf8 = *m_includeUtf8;
    s.excludeUtf8 = *m_excludeUtf8;
    return s;
}

void TfrmFilters::FormDestroy()
{
    {
        ProfileFile ini(m_settingsFile);
        ini.writeBool(kDefaults, "BlankLines", cbBlankLines->isChecked());
        ini.writeBool(kDefaults, "LTrim", cbLeftTrim->isChecked());
        ini.writeBool(kDefaults, "RTrim", cbRightTrim->isChecked());
        ini.writeBool(kDefaults, "LeftJustify", cbLeftJustify->isChecked());
        ini.writeBool(kDefaults, "RejectEmpty", cbRejectEmpty->isChecked());
        ini.writeString(kDefaults, "ReportContains", textToBytes(eReportContains->text()));
        ini.writeString(kDefaults, "ReportDoesntContain", textToBytes(eReportDoesntContain->text()));
    }
    saveList(m_includeFile, m_includeLoad, mInclude);
    saveList(m_excludeFile, m_excludeLoad, mExclude);
}

void TfrmFilters::StripBlankLines()
{
    setListText(mInclude, withoutEmptyLines(listText(mInclude)));
    setListText(mExclude, withoutEmptyLines(listText(mExclude)));
}

void TfrmFilters::cbBlankLinesClick()
{
    const bool trimsAllowed = !cbBlankLines->isChecked();
    cbLeftTrim->setEnabled(trimsAllowed);
    cbRightTrim->setEnabled(trimsAllowed);
}

void TfrmFilters::done(int result)
{
    StripBlankLines();
    QDialog::done(result);
}

void TfrmFilters::showEvent(QShowEvent *event)
{
    pcFilters->setCurrentWidget(tsReportFilter);
    QDialog::showEvent(event);
    if (!event->spontaneous())
        placement::centreOnScreen(this);
}

} // namespace qb

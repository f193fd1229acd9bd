#include "audit/auditwindow.h"

#include "view/findbar.h"
#include "view/hexview.h"
#include "view/reportview.h"
#include "capture/decodedreport.h"
#include "common/jobdescription.h"
#include "common/report.h"
#include "settings/decodersettings.h"
#include "dialogs/messagebox.h"
#include "dialogs/placement.h"
#include "settings/apppaths.h"

#include <QAction>
#include <QEvent>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>
#include <QShowEvent>

#include <exception>
#include <optional>

namespace qb {

TfrmAuditing::TfrmAuditing(const AppPaths &paths, QWidget *parent)
    : QDialog(parent)
    , m_auditDirectory(paths.auditDirectory)
    , m_settingsFile(paths.settingsFile)
{
    setObjectName(QStringLiteral("frmAuditing"));
    buildWindow();
    prepareAuditDirectory(m_auditDirectory);
}

TfrmAuditing::~TfrmAuditing()
{
    ClearLists();
}

void TfrmAuditing::buildWindow()
{
    setWindowTitle(QStringLiteral("Print Audit"));
    resize(605, 415);
    QFont f = font();
    f.setFamily(QStringLiteral("MS Sans Serif"));
    f.setPointSize(8);
    setFont(f);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    MainMenu1 = new QMenuBar(this);
    MainMenu1->setObjectName(QStringLiteral("MainMenu1"));
    File1 = MainMenu1->addMenu(QStringLiteral("&File"));
    File1->setObjectName(QStringLiteral("File1"));
    Delete1 = File1->addAction(QStringLiteral("&Delete"), this, &TfrmAuditing::Delete1Click);
    Delete1->setObjectName(QStringLiteral("Delete1"));
    DeleteAll1 = File1->addAction(QStringLiteral("Delete &All"), this, &TfrmAuditing::DeleteAll1Click);
    DeleteAll1->setObjectName(QStringLiteral("DeleteAll1"));
    N1 = File1->addSeparator();
    N1->setObjectName(QStringLiteral("N1"));
    Exit1 = File1->addAction(QStringLiteral("E&xit"), this, &TfrmAuditing::Exit1Click);
    Exit1->setObjectName(QStringLiteral("Exit1"));
    // Find and Go to Line on the file shown, as in the main window.
    Edit1 = MainMenu1->addMenu(QStringLiteral("&Edit"));
    Edit1->setObjectName(QStringLiteral("Edit1"));
    layout->setMenuBar(MainMenu1);

    auto *body = new QHBoxLayout;
    body->setContentsMargins(0, 0, 0, 0);
    body->setSpacing(0);

    GroupBox1 = new QGroupBox(QStringLiteral("Files"), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setFixedWidth(185);
    auto *filesLayout = new QVBoxLayout(GroupBox1);
    filesLayout->setContentsMargins(5, 5, 5, 5);
    lbFiles = new QListWidget(GroupBox1);
    lbFiles->setObjectName(QStringLiteral("lbFiles"));
    lbFiles->setSelectionMode(QAbstractItemView::SingleSelection);
    lbFiles->setUniformItemSizes(true); // stays quick with thousands of lines
    filesLayout->addWidget(lbFiles);
    body->addWidget(GroupBox1);

    GroupBox2 = new QGroupBox(QStringLiteral("File Contents"), this);
    GroupBox2->setObjectName(QStringLiteral("GroupBox2"));
    auto *contentsLayout = new QVBoxLayout(GroupBox2);
    contentsLayout->setContentsMargins(5, 5, 5, 5);
    // The file's text as the main window shows a report: each byte one
    // character, only the lines in view drawn, so a large file opens at once.
    mContents = new ReportView(GroupBox2);
    mContents->setObjectName(QStringLiteral("mContents"));
    contentsLayout->addWidget(mContents);
    HexView1 = new HexView(GroupBox2);
    HexView1->setObjectName(QStringLiteral("HexView1"));
    HexView1->hide();
    contentsLayout->addWidget(HexView1);
    FindBar1 = new FindBar(mContents, GroupBox2);
    FindBar1->setRawView(HexView1);
    contentsLayout->addWidget(FindBar1);
    addFindActions(Edit1, FindBar1, mContents, this);
    Edit1->addSeparator();
    ShowRawBytes1 = Edit1->addAction(QStringLiteral("Show &Raw Bytes"));
    ShowRawBytes1->setObjectName(QStringLiteral("ShowRawBytes1"));
    ShowRawBytes1->setCheckable(true);
    connect(ShowRawBytes1, &QAction::toggled, this, &TfrmAuditing::showRawBytes);
    body->addWidget(GroupBox2, 1);
    layout->addLayout(body, 1);

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFixedHeight(41);
    Panel1->setFrameShape(QFrame::Panel);
    Panel1->setFrameShadow(QFrame::Raised);
    auto *panelLayout = new QHBoxLayout(Panel1);
    panelLayout->setContentsMargins(8, 8, 8, 8);
    panelLayout->addStretch(1);
    btnOK = new QPushButton(QStringLiteral("OK"), Panel1);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setIcon(style()->standardIcon(QStyle::SP_DialogOkButton));
    btnOK->setFixedSize(75, 25);
    btnOK->setDefault(true);
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    panelLayout->addWidget(btnOK);
    layout->addWidget(Panel1);

    // A line chosen with the keyboard or a mouse press shows its file; a
    // click on the line already selected shows it again (it may have changed
    // on disk). A press that changes the line and the click that ends it
    // load the file once.
    lbFiles->viewport()->installEventFilter(this);
    connect(lbFiles, &QListWidget::itemSelectionChanged, this, &TfrmAuditing::selectionChanged);
    connect(lbFiles, &QListWidget::itemClicked, this, &TfrmAuditing::lineClicked);
}

void TfrmAuditing::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    // Restored by the window manager (from minimized, say): the user's place,
    // list and selection stay as they were. Only a showing by the program
    // starts afresh.
    if (event->spontaneous())
        return;
    placement::centreOnScreen(this);
    ShowRawBytes1->setChecked(false);
    FormShow();
}

void TfrmAuditing::ClearLists()
{
    m_changingList = true;
    m_entries.clear();
    lbFiles->clear();
    m_changingList = false;
    m_rowChangedByPress = false;
}

void TfrmAuditing::FormShow()
{
    ClearLists();
    m_entries = listAuditFiles(m_auditDirectory);
    QStringList labels;
    labels.reserve(qsizetype(m_entries.size()));
    const QLocale locale; // the user's regional formats: the default locale is the system's
    for (const AuditEntry &entry : m_entries)
        labels << auditLabel(entry.lastWrite, locale);
    m_changingList = true;
    lbFiles->addItems(labels);
    m_changingList = false;
    selectRow(lbFiles->count() > 0 ? 0 : -1);
    showSelectedFile();
    const bool any = lbFiles->count() > 0;
    Delete1->setEnabled(any);
    DeleteAll1->setEnabled(any);
}

int TfrmAuditing::selectedRow() const
{
    const QList<QListWidgetItem *> selected = lbFiles->selectedItems();
    if (selected.isEmpty())
        return -1;
    const int row = lbFiles->row(selected.front());
    return row >= 0 && std::size_t(row) < m_entries.size() ? row : -1;
}

void TfrmAuditing::selectRow(int row)
{
    m_changingList = true;
    if (row < 0) {
        lbFiles->setCurrentRow(-1);
        lbFiles->clearSelection();
    } else {
        lbFiles->setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
    }
    m_changingList = false;
    m_rowChangedByPress = false;
}

bool TfrmAuditing::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == lbFiles->viewport()) {
        // Seen before the list handles them: a press may change the line, and
        // the release that follows may report the click.
        if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick) {
            m_pressing = true;
            m_rowChangedByPress = false;
        } else if (event->type() == QEvent::MouseButtonRelease) {
            m_pressing = false;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TfrmAuditing::selectionChanged()
{
    if (m_changingList)
        return;
    m_rowChangedByPress = m_pressing;
    lbFilesClick();
}

void TfrmAuditing::lineClicked()
{
    if (m_rowChangedByPress) {
        m_rowChangedByPress = false;
        return;
    }
    lbFilesClick();
}

void TfrmAuditing::lbFilesClick()
{
    showSelectedFile();
}

std::optional<Report> TfrmAuditing::entryReport(const AuditEntry &entry) const
{
    // A decoded report kept its bytes as received: they are decoded as the
    // user has reports decoded now (a character set chosen since may read
    // them better). With plain text chosen since, its text shows as it was
    // shown, in UTF-8.
    if (const std::optional<std::string> raw = auditRawFileName(m_auditDirectory, entry.name)) {
        const DecoderSettings settings = readDecoderSettings(ProfileFile(m_settingsFile));
        if (decodes(settings)) {
            if (const std::optional<std::string> bytes = readAuditFile(m_auditDirectory, *raw))
                return decodeJob(*bytes, settings);
        } else if (const std::optional<std::string> text = readAuditFile(m_auditDirectory, entry.name)) {
            DecoderSettings asShown;
            asShown.encoding = Encoding::Utf8;
            return decodeJob(*text, asShown);
        }
    }
    const std::optional<std::string> bytes = readAuditFile(m_auditDirectory, entry.name);
    if (!bytes)
        return std::nullopt;
    return Report::fromText(*bytes);
}

void TfrmAuditing::showSelectedFile()
{
    GroupBox2->setTitle(QStringLiteral("File Contents"));
    const int row = selectedRow();
    if (row < 0) {
        mContents->clear();
        showSelectedBytes();
        return;
    }
    std::optional<Report> report = entryReport(m_entries[std::size_t(row)]);
    if (!report) {
        MessageBox::error(QStringLiteral("Could not load file"), this);
        return;
    }
    // The print job the report names describes its file.
    const QString job = QString::fromStdString(jobDescription(*report));
    if (!job.isEmpty())
        GroupBox2->setTitle(QStringLiteral("File Contents - ") + QString(job).replace(u'&', QStringLiteral("&&")));
    lbFiles->item(row)->setToolTip(job);
    mContents->setReport(std::move(*report));
    showSelectedBytes();
}

void TfrmAuditing::showRawBytes(bool on)
{
    HexView1->setPalette(mContents->palette());
    HexView1->setVisible(on);
    mContents->setVisible(!on);
    (on ? static_cast<QWidget *>(HexView1) : mContents)->setFocus();
    showSelectedBytes();
}

void TfrmAuditing::showSelectedBytes()
{
    // Read only while shown: the bytes of a long report are not held twice
    // for nothing.
    const int row = selectedRow();
    if (HexView1->isHidden() || row < 0) {
        HexView1->setReport(nullptr);
        return;
    }
    const AuditEntry &entry = m_entries[std::size_t(row)];
    const std::optional<std::string> raw = auditRawFileName(m_auditDirectory, entry.name);
    std::optional<std::string> bytes = readAuditFile(m_auditDirectory, raw ? *raw : entry.name);
    if (!bytes) {
        HexView1->setReport(nullptr);
        MessageBox::error(QStringLiteral("Could not load file"), this);
        return;
    }
    auto shown = std::make_shared<Report>();
    shown->setRawBytes(*bytes);
    HexView1->setReport(std::move(shown));
}

void TfrmAuditing::Delete1Click()
{
    const int row = selectedRow();
    if (row < 0)
        return;
    const QString question =
        QStringLiteral("Delete the file created on: ") + lbFiles->item(row)->text() + u'?';
    if (MessageBox::question(QStringLiteral("Information"), question, QMessageBox::Information,
                             QMessageBox::Yes, this)
        != QMessageBox::Yes)
        return;
    if (!deleteAuditFile(m_auditDirectory, m_entries[std::size_t(row)].name)) {
        MessageBox::error(QStringLiteral("Could not delete file"), this);
        return;
    }
    try {
        m_entries.erase(m_entries.begin() + row);
        m_changingList = true;
        delete lbFiles->takeItem(row);
        m_changingList = false;
        // The next older file moves into the deleted line's place; after the
        // last line the new last line is selected.
        const int count = lbFiles->count();
        selectRow(count == 0 ? -1 : std::min(row, count - 1));
        showSelectedFile();
    } catch (const std::exception &e) {
        m_changingList = false;
        MessageBox::error(QString::fromLocal8Bit(e.what()), this);
    }
    // Delete and Delete All keep their state until the list is next rebuilt.
}

void TfrmAuditing::DeleteAll1Click()
{
    if (MessageBox::question(QStringLiteral("Information"), QStringLiteral("Delete all files?"),
                             QMessageBox::Information, QMessageBox::Yes, this)
        != QMessageBox::Yes)
        return;
    deleteAuditFiles(m_auditDirectory, m_entries);
    FormShow();
}

void TfrmAuditing::Exit1Click()
{
    close();
}

} // namespace qb

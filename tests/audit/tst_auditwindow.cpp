// The audit history window: opening on the newest file, deleting one line or
// all of them, the questions and error boxes, and files that change on disk
// behind the window's back.

#include "view/findbar.h"
#include "view/reportview.h"
#include "view/reporttext.h"
#include "audit/auditwindow.h"
#include "view/hexview.h"
#include "dialogs/messagebox.h"
#include "dialogs/modal.h"
#include "testsupport.h"

#include <QAction>
#include <QGroupBox>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QListWidget>
#include <QTest>

#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <fstream>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using qb::MessageBox;
using qb::TfrmAuditing;

namespace {

using qbtest::Boxes;
using qbtest::errorBox;

const Boxes &boxes() { return MessageBox::history(); }
MessageBox::Shown question(const QString &text) { return {QStringLiteral("Information"), text, QMessageBox::Information}; }

// An audit folder with files "a.txt", "b.txt", ... holding "text a", "text b",
// ..., written on 3 February 2001 at 04:05, 04:04, ..., so "a.txt" is newest.
struct Folder {
    qbtest::TempApp app;
    std::unique_ptr<TfrmAuditing> window;

    explicit Folder(int files)
    {
        window = std::make_unique<TfrmAuditing>(app.paths());
        const QDateTime base(QDate(2001, 2, 3), QTime(4, 5));
        for (int i = 0; i < files; ++i) {
            const char letter = char('a' + i);
            write(std::string(1, letter) + ".txt", "text " + std::string(1, letter) + "\r\n",
                  base.addSecs(-60 * i));
        }
    }
    fs::path dir() const { return window->auditDirectory(); }
    void write(const std::string &name, const std::string &bytes, const QDateTime &lastWrite) const
    {
        const QString path = QString::fromStdString((dir() / name).string());
        QVERIFY(qbtest::TempApp::writeFile(path, QByteArray::fromStdString(bytes)));
        QVERIFY(qbtest::setLastWrite(path, lastWrite));
    }
    QStringList listed() const
    {
        QStringList names;
        for (const qb::AuditEntry &e : window->entries())
            names << QString::fromStdString(e.name);
        return names;
    }
    QStringList onDisk() const
    {
        QStringList names;
        for (const auto &e : fs::directory_iterator(dir()))
            names << QString::fromStdString(e.path().filename().string());
        names.sort();
        return names;
    }
    QString text() const
    {
        const qb::Report &shown = window->mContents->report();
        return qb::textBetween(shown, {}, qb::endPos(shown));
    }
    int selected() const
    {
        const int row = window->lbFiles->currentRow();
        return row >= 0 && window->lbFiles->item(row)->isSelected() ? row : -1;
    }
};

QStringList lines(const QString &letters)
{
    QStringList result;
    for (QChar c : letters)
        result << QString(c) + QStringLiteral(".txt");
    return result;
}

// Makes one file impossible to delete: the immutable attribute where the
// process may set it, otherwise a folder this process may not write to.
// Undone when it goes out of scope.
class Undeletable
{
public:
    explicit Undeletable(const fs::path &file)
        : m_file(file)
    {
        const int fd = ::open(file.c_str(), O_RDONLY);
        int flags = 0;
        if (fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
            flags |= FS_IMMUTABLE_FL;
            m_immutable = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        }
        if (fd >= 0)
            ::close(fd);
        if (!m_immutable)
            m_readOnlyFolder = ::chmod(file.parent_path().c_str(), 0555) == 0;
    }
    ~Undeletable()
    {
        if (m_immutable) {
            const int fd = ::open(m_file.c_str(), O_RDONLY);
            int flags = 0;
            if (fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
                flags &= ~FS_IMMUTABLE_FL;
                ::ioctl(fd, FS_IOC_SETFLAGS, &flags);
            }
            if (fd >= 0)
                ::close(fd);
        }
        if (m_readOnlyFolder)
            ::chmod(m_file.parent_path().c_str(), 0755);
    }
    // Whether deleting really fails here (a privileged process may delete in
    // a read-only folder).
    bool works() const
    {
        return m_immutable || (m_readOnlyFolder && ::access(m_file.parent_path().c_str(), W_OK) != 0);
    }

private:
    fs::path m_file;
    bool m_immutable = false;
    bool m_readOnlyFolder = false;
};

// How a file is kept from being deleted.
enum Protection { ByFolder, ByAttribute, NoWriteBits };

} // namespace

class TestAuditWindow : public qbtest::GuiTest
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        qbtest::initGuiTest();
        QLocale::setDefault(QLocale(QStringLiteral("de_DE")));
    }
    void init()
    {
        GuiTest::init();
        // A box without a queued answer is closed at once instead of waiting
        // for a user; history() still records it.
        for (int i = 0; i < 20; ++i)
            qb::modal::setNextExec([](QDialog *) { return int(QDialog::Rejected); });
    }

    // No files, or no folder at all: nothing listed, nothing shown, nothing
    // to delete, and no message.
    void emptyFolder_data()
    {
        QTest::addColumn<bool>("removeFolder");
        QTest::newRow("no files") << false;
        QTest::newRow("folder missing") << true;
    }
    void emptyFolder()
    {
        QFETCH(bool, removeFolder);
        Folder f(0);
        if (removeFolder)
            fs::remove_all(f.dir());
        f.window->mContents->setReport(qb::Report::fromText("left over"));
        f.window->show();
        QCOMPARE(f.window->lbFiles->count(), 0);
        QCOMPARE(f.text(), QString());
        QVERIFY(!f.window->Delete1->isEnabled());
        QVERIFY(!f.window->DeleteAll1->isEnabled());
        QVERIFY(boxes().empty());
    }

    // Every showing lists the folder afresh, newest first, labelled by the
    // last-write time, with the newest selected and shown.
    void findAndGoToLineOnTheShownFile()
    {
        Folder f(2);
        f.write("a.txt", "one\r\ntwo\r\none more\r\n", QDateTime::currentDateTime());
        f.window->show();
        auto *edit = f.window->findChild<QMenu *>(QStringLiteral("Edit1"));
        QVERIFY(edit);
        const auto action = [&](const char *name) { return f.window->findChild<QAction *>(QLatin1String(name)); };
        for (const char *name : {"Find1", "FindNext1", "FindPrevious1", "GotoLine1"})
            QVERIFY(edit->actions().contains(action(name)));
        action("Find1")->trigger();
        auto *bar = f.window->findChild<qb::FindBar *>(QStringLiteral("FindBar"));
        QVERIFY(bar && !bar->isHidden());
        bar->findChild<QLineEdit *>(QStringLiteral("eFind"))->setText(QStringLiteral("one"));
        auto *count = bar->findChild<QLabel *>(QStringLiteral("lFindCount"));
        QCOMPARE(count->text(), QStringLiteral("1 of 2"));
        action("FindNext1")->trigger();
        QCOMPARE(f.window->mContents->cursorPosition(), (qb::TextPos{2, 3}));
        // Another file shown: searched again.
        f.window->lbFiles->setCurrentRow(1);
        QCOMPARE(f.text(), QStringLiteral("text b"));
        QCOMPARE(count->text(), QStringLiteral("No matches"));

        f.window->lbFiles->setCurrentRow(0);
        QString prompt;
        qb::modal::clearExecHooks();
        qb::modal::setNextExec([&](QDialog *d) {
            auto *input = qobject_cast<QInputDialog *>(d);
            if (!input)
                return int(QDialog::Rejected);
            prompt = input->labelText();
            input->setIntValue(2);
            return int(QDialog::Accepted);
        });
        action("GotoLine1")->trigger();
        QCOMPARE(prompt, QStringLiteral("Line number (1 - 3):"));
        QCOMPARE(f.window->mContents->cursorPosition(), (qb::TextPos{1, 0}));
        QVERIFY(boxes().empty());
    }

    void openingShowsTheNewest()
    {
        Folder f(3);
        f.window->show();
        QCOMPARE(f.listed(), lines("abc"));
        QCOMPARE(f.selected(), 0);
        QCOMPARE(f.text(), QStringLiteral("text a"));
        QVERIFY(f.window->Delete1->isEnabled());
        QVERIFY(f.window->DeleteAll1->isEnabled());
        // Month, day and year joined by the (German) date separator, then the short time.
        const QStringList labels{"02.03.2001 04:05", "02.03.2001 04:04", "02.03.2001 04:03"};
        for (int i = 0; i < 3; ++i)
            QCOMPARE(f.window->lbFiles->item(i)->text(), labels[i]);
        f.window->hide();

        // A file touched later moves to the top the next time.
        f.write("c.txt", "text c again", QDateTime::currentDateTime());
        f.window->lbFiles->setCurrentRow(2);
        f.window->show();
        QCOMPARE(f.listed(), lines("cab"));
        QCOMPARE(f.selected(), 0);
        QCOMPARE(f.text(), QStringLiteral("text c again"));
        QVERIFY(boxes().empty());
    }

    // After a deletion the line that moved into the deleted one's place is
    // selected, or the new last line when the last was deleted.
    void deleteSelectsTheNextLine_data()
    {
        QTest::addColumn<int>("files");
        QTest::addColumn<int>("row");
        QTest::addColumn<QStringList>("left");
        QTest::addColumn<int>("selectedAfter");
        QTest::addColumn<QString>("textAfter");
        QTest::newRow("only file") << 1 << 0 << QStringList{} << -1 << QString();
        QTest::newRow("first of three") << 3 << 0 << lines("bc") << 0 << QStringLiteral("text b");
        QTest::newRow("middle of three") << 3 << 1 << lines("ac") << 1 << QStringLiteral("text c");
        QTest::newRow("last of three") << 3 << 2 << lines("ab") << 1 << QStringLiteral("text b");
    }
    void deleteSelectsTheNextLine()
    {
        QFETCH(int, files);
        QFETCH(int, row);
        QFETCH(QStringList, left);
        QFETCH(int, selectedAfter);
        QFETCH(QString, textAfter);
        Folder f(files);
        f.window->show();
        f.window->lbFiles->setCurrentRow(row);
        const QString label = f.window->lbFiles->item(row)->text();
        MessageBox::clearHistory();
        MessageBox::setNextAnswer(QMessageBox::Yes);
        f.window->Delete1Click();
        QCOMPARE(boxes(), (Boxes{question("Delete the file created on: " + label + "?")}));
        QCOMPARE(f.listed(), left);
        QCOMPARE(f.window->lbFiles->count(), left.size());
        QCOMPARE(f.onDisk(), left);
        QCOMPARE(f.selected(), selectedAfter);
        QCOMPARE(f.text(), textAfter);
        // The menu items keep their state until the list is rebuilt.
        QVERIFY(f.window->Delete1->isEnabled());
        QVERIFY(f.window->DeleteAll1->isEnabled());
    }

    void afterTheOnlyFileIsDeleted()
    {
        Folder f(1);
        f.window->show();
        MessageBox::setNextAnswer(QMessageBox::Yes);
        f.window->Delete1Click();
        MessageBox::clearHistory();

        // Nothing selected: Delete does nothing, not even ask.
        f.window->Delete1Click();
        QVERIFY(boxes().empty());

        MessageBox::setNextAnswer(QMessageBox::Yes);
        f.window->DeleteAll1Click();
        QCOMPARE(boxes(), (Boxes{question("Delete all files?")}));
        QCOMPARE(f.window->lbFiles->count(), 0);
        QVERIFY(!f.window->Delete1->isEnabled());
        QVERIFY(!f.window->DeleteAll1->isEnabled());
    }

    void deleteAllRemovesWhatWasListed()
    {
        Folder f(3);
        f.window->show();
        // Written after the list was built: not touched, listed afterwards.
        f.write("new.txt", "new", QDateTime::currentDateTime());
        MessageBox::setNextAnswer(QMessageBox::Yes);
        f.window->DeleteAll1Click();
        QCOMPARE(f.onDisk(), QStringList{"new.txt"});
        QCOMPARE(f.listed(), QStringList{"new.txt"});
        QCOMPARE(f.selected(), 0);
        QCOMPARE(f.text(), QStringLiteral("new"));
        QVERIFY(f.window->Delete1->isEnabled());
        QVERIFY(f.window->DeleteAll1->isEnabled());
    }

    // Anything but Yes leaves files, list, selection and text alone.
    void noChangesNothing_data()
    {
        QTest::addColumn<bool>("all");
        QTest::newRow("Delete") << false;
        QTest::newRow("Delete All") << true;
    }
    void noChangesNothing()
    {
        QFETCH(bool, all);
        Folder f(3);
        f.window->show();
        f.window->lbFiles->setCurrentRow(1);
        MessageBox::clearHistory();
        MessageBox::setNextAnswer(QMessageBox::No);
        all ? f.window->DeleteAll1Click() : f.window->Delete1Click();
        QCOMPARE(boxes().size(), std::size_t(1));
        QCOMPARE(f.onDisk(), lines("abc"));
        QCOMPARE(f.listed(), lines("abc"));
        QCOMPARE(f.selected(), 1);
        QCOMPARE(f.text(), QStringLiteral("text b"));
    }

    // A listed file that cannot be deleted is reported and stays listed and
    // selected; Delete All passes over it without a word.
    void undeletableFile_data()
    {
        QTest::addColumn<int>("how");
        QTest::newRow("replaced by a folder") << int(ByFolder);
        QTest::newRow("protected file") << int(ByAttribute);
        QTest::newRow("read-only file") << int(NoWriteBits);
    }
    void undeletableFile()
    {
        QFETCH(int, how);
        const bool protect = how != ByFolder;
        Folder f(2);
        f.window->show();
        std::unique_ptr<Undeletable> guard;
        if (how == ByAttribute) {
            guard = std::make_unique<Undeletable>(f.dir() / "a.txt");
            if (!guard->works())
                QSKIP("this process may delete any file");
        } else if (how == NoWriteBits) {
            QCOMPARE(::chmod((f.dir() / "a.txt").c_str(), 0444), 0);
        } else {
            fs::remove(f.dir() / "a.txt");
            fs::create_directory(f.dir() / "a.txt");
            std::ofstream(f.dir() / "a.txt" / "inside") << "x";
        }
        MessageBox::setNextAnswer(QMessageBox::Yes);
        f.window->Delete1Click();
        QCOMPARE(boxes().size(), std::size_t(2));
        QCOMPARE(boxes()[1], errorBox("Could not delete file"));
        QCOMPARE(f.listed(), lines("ab"));
        QCOMPARE(f.selected(), 0);
        QCOMPARE(f.text(), QStringLiteral("text a"));

        MessageBox::clearHistory();
        MessageBox::setNextAnswer(QMessageBox::Yes);
        f.window->DeleteAll1Click();
        QCOMPARE(boxes(), (Boxes{question("Delete all files?")}));
        if (protect) {
            // Listed again (with whatever else the protection kept).
            QCOMPARE(f.listed().value(0), QStringLiteral("a.txt"));
            QCOMPARE(f.listed().size(), f.onDisk().size());
            QCOMPARE(f.selected(), 0);
            QCOMPARE(f.text(), QStringLiteral("text a"));
            QVERIFY(f.window->Delete1->isEnabled());
        } else {
            QCOMPARE(f.listed(), QStringList{}); // a folder is never listed
            QVERIFY(!f.window->Delete1->isEnabled());
        }
    }

    // A file removed after the list was built: choosing it reports "Could not
    // load file" once per choice and keeps the text shown; deleting it
    // reports "Could not delete file".
    void fileRemovedBehindTheWindow()
    {
        Folder f(2);
        f.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
        fs::remove(f.dir() / "b.txt");
        QListWidget *list = f.window->lbFiles;
        const QPoint second = list->visualItemRect(list->item(1)).center();

        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, second);
        QCOMPARE(f.selected(), 1);
        QCOMPARE(boxes(), (Boxes{errorBox("Could not load file")}));
        QCOMPARE(f.text(), QStringLiteral("text a"));

        // Clicking the selected line again tries again.
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, second);
        QCOMPARE(boxes().size(), std::size_t(2));

        // Choosing with the keyboard loads once as well.
        MessageBox::clearHistory();
        QTest::keyClick(list, Qt::Key_Up);
        QCOMPARE(f.selected(), 0);
        QVERIFY(boxes().empty());
        QTest::keyClick(list, Qt::Key_Down);
        QCOMPARE(boxes(), (Boxes{errorBox("Could not load file")}));

        MessageBox::clearHistory();
        MessageBox::setNextAnswer(QMessageBox::Yes);
        f.window->Delete1Click();
        QCOMPARE(boxes().size(), std::size_t(2));
        QCOMPARE(boxes()[1], errorBox("Could not delete file"));
        QCOMPARE(f.listed(), lines("ab"));
    }

    // An entry that is no regular file gives "Could not load file" at once
    // instead of hanging or filling the memory (a file over 64 MiB too: see
    // the audit store's reading test); a name that is not valid UTF-8 is
    // shown like any other.
    void entriesOfEveryKind_data()
    {
        QTest::addColumn<QByteArray>("kind");
        QTest::addColumn<bool>("loads");
        QTest::newRow("FIFO") << QByteArray("fifo") << false;
        QTest::newRow("link to a device") << QByteArray("device") << false;
        QTest::newRow("name not UTF-8") << QByteArray("latin1") << true;
    }
    void entriesOfEveryKind()
    {
        QFETCH(QByteArray, kind);
        QFETCH(bool, loads);
        Folder f(0);
        const fs::path entry = f.dir() / (kind == "latin1" ? "caf\xe9.txt" : "x.txt");
        if (kind == "fifo") {
            QCOMPARE(::mkfifo(entry.c_str(), 0644), 0);
        } else if (kind == "device") {
            fs::create_symlink("/dev/null", entry);
        } else {
            f.write(entry.filename().string(), "caf\xe9\r\n", QDateTime::currentDateTime());
        }
        // A window that waited for a writer on the FIFO gets one after a
        // while, and then fails the test instead of hanging it.
        std::atomic<bool> shown{false};
        std::thread writer([&] {
            while (kind == "fifo" && !shown) {
                const int fd = ::open(entry.c_str(), O_WRONLY | O_NONBLOCK);
                if (fd >= 0) {
                    ::close(fd);
                    return;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
        });
        f.window->show();
        shown = true;
        writer.join();
        QCOMPARE(f.window->lbFiles->count(), 1);
        QCOMPARE(boxes(), loads ? Boxes{} : Boxes{errorBox("Could not load file")});
        QCOMPARE(f.text(), loads ? QStringLiteral("caf\u00e9") : QString());
    }

    // Restored from minimized by the window manager, the window keeps its
    // list, the user's selection and its place; a showing by the program
    // starts afresh (openingShowsTheNewest).
    void restoringKeepsTheUsersChoice()
    {
        Folder f(3);
        f.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
        QTest::keyClick(f.window->lbFiles, Qt::Key_End);
        f.window->move(f.window->pos() + QPoint(13, 7));
        const QPoint place = f.window->pos();
        f.write("new.txt", "new", QDateTime::currentDateTime());
        f.window->setWindowState(Qt::WindowMinimized);
        f.window->setWindowState(Qt::WindowNoState);
        QVERIFY(f.window->isVisible());
        QCOMPARE(f.listed(), lines("abc"));
        QCOMPARE(f.selected(), 2);
        QCOMPARE(f.text(), QStringLiteral("text c"));
        QCOMPARE(f.window->pos(), place);
    }

    // Each byte is one character; line ends become lines.
    void bytesShowAsCharacters()
    {
        Folder f(0);
        f.write("x.txt", std::string("\x80\xe9\x81 \x9f\r\nz\r\n", 10), QDateTime::currentDateTime());
        f.window->show();
        QCOMPARE(f.text(), QStringView(u"\u20ac\u00e9\u0081 \u0178\nz").toString());
    }

    // A decoded report's entry shows from the bytes it kept, decoded as
    // reports are now, its print job named above it; with plain text chosen
    // since, its text shows as it was shown. An entry without kept bytes
    // shows its text as always.
    void decodedEntryShownFromItsBytes_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<QByteArray>("prn"); // none when empty
        QTest::addColumn<QByteArray>("txt");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("job");
        const QByteArray pjl = "\x1b%-12345X@PJL JOB NAME=\"A&B 4711\"\r\n@PJL SET USERNAME=\"jdoe\"\r\n"
                               "@PJL ENTER LANGUAGE=PCL\r\n\x1b" "EINVOICE\r\n\x1b%-12345X";
        QTest::newRow("print job") << QByteArray("Language=pcl") << pjl << QByteArray("stale\r\n") << "INVOICE"
                                   << "Job: A&B 4711 (jdoe)";
        QTest::newRow("receipt") << QByteArray("Language=escpos\r\nEncoding=cp850") << QByteArray("\x1b@Caf\x82\n")
                                 << QByteArray("stale\r\n") << "Caf\u00e9" << "";
        QTest::newRow("character set chosen since") << QByteArray("Encoding=cp852") << QByteArray("\x9b")
                                                    << QByteArray("\xc3\xb8\r\n") << "\u0164" << "";
        QTest::newRow("plain text chosen since") << QByteArray() << pjl << QByteArray("Caf\xc3\xa9\r\n") << "Caf\u00e9"
                                                 << "";
        QTest::newRow("plain entry") << QByteArray("Language=escpos") << QByteArray() << QByteArray("caf\xe9\r\n")
                                     << "caf\u00e9" << "";
    }
    void decodedEntryShownFromItsBytes()
    {
        QFETCH(QByteArray, ini);
        QFETCH(QByteArray, prn);
        QFETCH(QByteArray, txt);
        QFETCH(QString, shown);
        QFETCH(QString, job);
        Folder f(0);
        f.app.writeIni("[Defaults]\r\n" + ini + "\r\n");
        f.write("old.txt", "older\r\n", QDateTime::currentDateTime().addSecs(-600));
        if (!prn.isEmpty())
            f.write("e.prn", prn.toStdString(), QDateTime::currentDateTime());
        f.write("e.txt", txt.toStdString(), QDateTime::currentDateTime());
        f.window->show();
        QCOMPARE(f.listed(), (QStringList{"e.txt", "old.txt"}));
        // The lines of the report shown, in UTF-8 when it is decoded.
        const qb::Report &report = f.window->mContents->report();
        QCOMPARE(report.isDecoded(), !prn.isEmpty());
        QCOMPARE(report.lineCount(), std::size_t(1));
        QCOMPARE(report.isDecoded() ? QString::fromUtf8(report.line(0)) : f.text(), shown);
        QCOMPARE(f.window->GroupBox2->title(),
                 job.isEmpty() ? QStringLiteral("File Contents") : "File Contents - " + QString(job).replace("&", "&&"));
        QCOMPARE(f.window->lbFiles->item(0)->toolTip(), job);
        // The next entry is described by its own job.
        f.window->lbFiles->setCurrentRow(1);
        QCOMPARE(f.text(), QStringLiteral("older"));
        QCOMPARE(f.window->GroupBox2->title(), QStringLiteral("File Contents"));
    }

    // Delete and Delete All take a decoded entry's kept bytes with it.
    void deletingTakesTheKeptBytes_data()
    {
        QTest::addColumn<bool>("all");
        QTest::newRow("delete") << false;
        QTest::newRow("delete all") << true;
    }
    void deletingTakesTheKeptBytes()
    {
        QFETCH(bool, all);
        Folder f(0);
        f.write("a.txt", "A\r\n", QDateTime::currentDateTime());
        f.write("a.prn", "A\n", QDateTime::currentDateTime());
        f.write("b.txt", "B\r\n", QDateTime::currentDateTime().addSecs(-60));
        f.write("b.prn", "B\n", QDateTime::currentDateTime().addSecs(-60));
        f.window->show();
        MessageBox::setNextAnswer(QMessageBox::Yes);
        all ? f.window->DeleteAll1Click() : f.window->Delete1Click();
        QCOMPARE(f.onDisk(), all ? QStringList() : (QStringList{"b.prn", "b.txt"}));
        QCOMPARE(f.listed(), all ? QStringList() : QStringList{"b.txt"});
    }

    // Show Raw Bytes shows an entry's bytes as received where it kept them,
    // else its file's, follows the selection, finds in them, and goes back to
    // the text; the window opens on the text again.
    void rawBytesOfEachEntry()
    {
        Folder f(0);
        f.write("a.txt", "Caf\xc3\xa9\r\n", QDateTime::currentDateTime());
        f.write("a.prn", "\x1b@Caf\x82\n", QDateTime::currentDateTime());
        f.write("b.txt", "plain\r\n", QDateTime::currentDateTime().addSecs(-60));
        f.window->show();
        const auto dumped = [&] { return std::string(f.window->HexView1->dump().bytes()); };
        QVERIFY(f.window->HexView1->isHidden());
        f.window->findChild<QAction *>("ShowRawBytes1")->trigger();
        QVERIFY(!f.window->HexView1->isHidden() && f.window->mContents->isHidden());
        QCOMPARE(dumped(), std::string("\x1b@Caf\x82\n"));
        f.window->FindBar1->open();
        f.window->FindBar1->eFind->setText("82 0a");
        f.window->FindBar1->findNext();
        QCOMPARE(f.window->HexView1->selectedText(), QStringLiteral("82 0a"));
        QCOMPARE(f.window->HexView1->marked(), std::string("\x82\n"));
        f.window->FindBar1->close();
        QVERIFY(f.window->HexView1->marked().empty());
        f.window->lbFiles->setCurrentRow(1);
        QCOMPARE(dumped(), std::string("plain\r\n"));
        f.window->ShowRawBytes1->trigger();
        QVERIFY(f.window->HexView1->isHidden() && !f.window->mContents->isHidden());
        QVERIFY(dumped().empty());
        QCOMPARE(f.text(), QStringLiteral("plain"));
        f.window->ShowRawBytes1->trigger();
        f.window->hide();
        f.window->show();
        QVERIFY(!f.window->ShowRawBytes1->isChecked() && f.window->HexView1->isHidden());
    }
};

QTEST_MAIN(TestAuditWindow)
#include "tst_auditwindow.moc"

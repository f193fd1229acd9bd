#pragma once
// Shared helpers of the tests: temporary program folders, real clients on
// 127.0.0.1, waiting on the event loop, a file size limit, and a sound player
// that records what it was asked.

#include "dialogs/messagebox.h"
#include "processing/sound.h"
#include "settings/apppaths.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <sys/resource.h>

namespace qbtest {

// A folder that stands in for the executable's folder.
class TempApp
{
public:
    TempApp();
    QString dir() const { return m_dir.path(); }
    QString file(const QString &name) const { return m_dir.filePath(name); }
    const qb::AppPaths &paths() const { return m_paths; }
    void writeIni(const QByteArray &text) const;
    QByteArray readIni() const;
    // A file's bytes; "<missing>" when it cannot be read.
    static QByteArray readFile(const QString &path);
    static bool writeFile(const QString &path, const QByteArray &bytes);

private:
    QTemporaryDir m_dir;
    qb::AppPaths m_paths;
};

// Sets a file's last-write time (to the millisecond); false when refused.
bool setLastWrite(const QString &path, const QDateTime &local);

// The message boxes shown, as the program records them: the "Error" box and
// the standard error box ("Quillbox"), each with the error icon.
using Boxes = std::vector<qb::MessageBox::Shown>;
inline qb::MessageBox::Shown errorBox(const QString &text) { return {QStringLiteral("Error"), text, QMessageBox::Critical}; }
inline qb::MessageBox::Shown standardBox(const QString &text)
{
    return {QStringLiteral("Quillbox"), text, QMessageBox::Critical};
}

// Plain lines from a list of byte strings.
std::vector<std::string> toLines(const QByteArrayList &list);

// The value of key in the settings file's text (the first one), trimmed.
QByteArray iniValue(const QByteArray &ini, const QByteArray &key);

// Entries that stand where a file is read but are no file to read, one data
// row each in a column "kind" of type QByteArray: a FIFO, a link to
// /dev/zero, a folder and a regular file one byte larger than the reader's
// bound.
void addUnreadableRows();
// Makes such an entry at path; the oversized file starts with text.
bool makeUnreadable(const QString &path, const QByteArray &kind, qint64 bound, const QByteArray &text);
// What stands at path, the link itself when it is one, with the size and the
// first bytes of a file: equal before and after means left as it was.
QByteArray describeEntry(const QString &path);

// A free TCP port on all interfaces at this moment, within [low, high]. Only
// for ports the program confines to a range; elsewhere listen on port 0.
int freePort(int low = 3100, int high = 9999);

struct Send {
    std::vector<std::string> chunks;
    int pauseMs = 0;      // between chunks
    bool reset = false;   // end with a reset instead of an orderly close
    // Called before each chunk after the first, with its index: a latch
    // between the pieces of a report.
    std::function<void(std::size_t)> between = nullptr;
};

// Connects to 127.0.0.1:port and sends in a thread of its own, so the
// program's event loop keeps running in the test's thread.
std::thread sendAsync(int port, Send what);
// Convenience: one chunk, orderly close.
std::thread sendAsync(int port, const std::string &bytes);

// Runs the event loop until pred() holds or the time is up.
bool waitFor(const std::function<bool()> &pred, int timeoutMs = 20000);

// Initialises the bundled pictures, a clean modal state and a fixed address
// lookup (no test waits on a resolver); call in initTestCase().
void initGuiTest();

// Base of the tests of windows: initGuiTest() first, and before each test no
// answer queued, no box recorded and the real screen size.
class GuiTest : public QObject
{
    Q_OBJECT
protected Q_SLOTS:
    void initTestCase() { initGuiTest(); }
    void init();
};
// What the fixed address lookup of initGuiTest() answers.
inline const QString kTestAddresses = QStringLiteral("192.0.2.7 198.51.100.3");

// While it lives, files may not grow past `bytes` (a write failure that a
// privileged user meets too); SIGXFSZ is ignored meanwhile.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

private:
    rlimit m_saved{};
    void (*m_handler)(int) = nullptr;
};

// A sound player that records what it was asked; with fail set it throws.
struct RecordingPlayer : qb::SoundPlayer {
    QStringList calls;
    bool fail = false;
    void playAsterisk() override;
    void playFile(const std::string &path) override;
};

} // namespace qbtest

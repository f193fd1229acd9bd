#include "testsupport.h"
#include "sockets.h"

#include "app/mainwindow.h"
#include "common/resources.h"
#include "dialogs/messagebox.h"
#include "dialogs/modal.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QTest>

#include <csignal>
#include <stdexcept>

#include <arpa/inet.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace qbtest {

TempApp::TempApp()
    : m_paths(qb::AppPaths::forExecutable(std::filesystem::path(m_dir.path().toStdString()) / "quillbox",
                                          std::filesystem::path(m_dir.path().toStdString()) / "config"))
{
}

void TempApp::writeIni(const QByteArray &text) const
{
    writeFile(QString::fromStdString(m_paths.settingsFile.string()), text);
}

QByteArray TempApp::readIni() const { return readFile(QString::fromStdString(m_paths.settingsFile.string())); }

QByteArray TempApp::readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

bool TempApp::writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

bool setLastWrite(const QString &path, const QDateTime &local)
{
    timespec times[2];
    times[0].tv_sec = times[1].tv_sec = time_t(local.toSecsSinceEpoch());
    times[0].tv_nsec = times[1].tv_nsec = long(local.time().msec()) * 1'000'000L;
    return ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0) == 0;
}

std::vector<std::string> toLines(const QByteArrayList &list)
{
    std::vector<std::string> lines;
    for (const QByteArray &line : list)
        lines.push_back(line.toStdString());
    return lines;
}

QByteArray iniValue(const QByteArray &ini, const QByteArray &key)
{
    for (const QByteArray &line : ini.split('\n'))
        if (line.startsWith(key + '='))
            return line.mid(key.size() + 1).trimmed();
    return {};
}

void addUnreadableRows()
{
    QTest::addColumn<QByteArray>("kind");
    QTest::newRow("FIFO") << QByteArray("fifo");
    QTest::newRow("link to /dev/zero") << QByteArray("zero");
    QTest::newRow("folder") << QByteArray("folder");
    QTest::newRow("one byte too large") << QByteArray("oversized");
}

bool makeUnreadable(const QString &path, const QByteArray &kind, qint64 bound, const QByteArray &text)
{
    const QByteArray name = QFile::encodeName(path);
    if (kind == "fifo")
        return ::mkfifo(name.constData(), 0644) == 0;
    if (kind == "zero")
        return ::symlink("/dev/zero", name.constData()) == 0;
    if (kind == "folder")
        return ::mkdir(name.constData(), 0755) == 0;
    if (kind == "oversized")
        return TempApp::writeFile(path, text) && ::truncate(name.constData(), off_t(bound + 1)) == 0;
    return false;
}

QByteArray describeEntry(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat st {};
    if (::lstat(name.constData(), &st) != 0)
        return "nothing";
    if (S_ISFIFO(st.st_mode))
        return "FIFO";
    if (S_ISDIR(st.st_mode))
        return "folder";
    if (S_ISLNK(st.st_mode)) {
        char target[4096];
        const ssize_t n = ::readlink(name.constData(), target, sizeof target);
        return "link to " + QByteArray(target, n < 0 ? 0 : qsizetype(n));
    }
    if (S_ISREG(st.st_mode)) {
        QFile f(path);
        const QByteArray start = f.open(QIODevice::ReadOnly) ? f.read(64) : QByteArray("<unreadable>");
        return "file of " + QByteArray::number(qint64(st.st_size)) + " bytes: " + start;
    }
    return "other";
}

int freePort(int low, int high)
{
    // Tests run in parallel: start each process at a scattered place so that
    // two of them rarely probe the same ports.
    static unsigned next = unsigned(::getpid()) * 2654435761u;
    for (int tries = 0; tries <= high - low; ++tries) {
        next = next * 1103515245u + 12345u;
        const int port = low + int((next >> 8) % unsigned(high - low + 1));
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        const int one = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_ANY);
        addr.sin_port = htons(uint16_t(port));
        const bool free = ::bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0;
        ::close(fd);
        if (free)
            return port;
    }
    return 0;
}

std::thread sendAsync(int port, Send what)
{
    return std::thread([port, what = std::move(what)] {
        const int fd = connectTo(port, 1);
        if (fd < 0)
            return;
        for (std::size_t i = 0; i < what.chunks.size(); ++i) {
            if (i > 0 && what.between)
                what.between(i);
            if (!sendAll(fd, what.chunks[i]))
                break;
            if (what.pauseMs > 0 && i + 1 < what.chunks.size())
                std::this_thread::sleep_for(std::chrono::milliseconds(what.pauseMs));
        }
        if (what.reset)
            resetClose(fd);
        else
            ::close(fd);
    });
}

std::thread sendAsync(int port, const std::string &bytes) { return sendAsync(port, Send{{bytes}}); }

bool waitFor(const std::function<bool()> &pred, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!pred()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QTest::qWait(2);
    }
    return true;
}

void initGuiTest()
{
    qb::initResources();
    qb::modal::clearExecHooks();
    // A dialog or box that a test did not answer must not wait for a user
    // who never comes: it fails the test and closes at once.
    qb::modal::setFallbackExec([](QDialog *dialog) {
        qWarning("unanswered modal window: %s %s", dialog->metaObject()->className(),
                 qPrintable(dialog->windowTitle()));
        QTest::qFail("a modal window opened that the test did not answer", __FILE__, __LINE__);
        return int(QDialog::Rejected);
    });
    qb::MessageBox::clearHistory();
    qb::TForm1::setAddressLookup([] { return kTestAddresses; });
}

void GuiTest::init()
{
    qb::MessageBox::clearHistory();
    qb::modal::clearExecHooks();
    qb::TForm1::setScreenSizeOverride(QSize());
}

FileSizeLimit::FileSizeLimit(rlim_t bytes)
{
    ::getrlimit(RLIMIT_FSIZE, &m_saved);
    m_handler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = m_saved;
    small.rlim_cur = bytes;
    if (::setrlimit(RLIMIT_FSIZE, &small) != 0)
        qFatal("cannot limit the file size");
}

FileSizeLimit::~FileSizeLimit()
{
    ::setrlimit(RLIMIT_FSIZE, &m_saved);
    std::signal(SIGXFSZ, m_handler);
}

void RecordingPlayer::playAsterisk()
{
    calls << QStringLiteral("asterisk");
    if (fail)
        throw std::runtime_error("no sound");
}

void RecordingPlayer::playFile(const std::string &path)
{
    calls << QStringLiteral("file:") + QString::fromStdString(path);
    if (fail)
        throw std::runtime_error("no sound");
}

} // namespace qbtest

#pragma once
// Shared helpers of the tests: temporary program folders, real clients on
// 127.0.0.1, and waiting on the event loop.

#include "settings/apppaths.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

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
    static QByteArray readFile(const QString &path);
    static void writeFile(const QString &path, const QByteArray &bytes);

private:
    QTemporaryDir m_dir;
    qb::AppPaths m_paths;
};

// A free TCP port on all interfaces at this moment, within [low, high].
int freePort(int low = 3100, int high = 9999);

struct Send {
    std::vector<std::string> chunks;
    int pauseMs = 0;      // between chunks
    bool reset = false;   // end with a reset instead of an orderly close
};

// Connects to 127.0.0.1:port and sends in a thread of its own, so the
// program's event loop keeps running in the test's thread.
std::thread sendAsync(int port, Send what);
// Convenience: one chunk, orderly close.
std::thread sendAsync(int port, const std::string &bytes);

// Runs the event loop until pred() holds or the time is up.
bool waitFor(const std::function<bool()> &pred, int timeoutMs = 10000);

// Initialises the bundled pictures and a clean modal state; call in initTestCase().
void initGuiTest();

} // namespace qbtest

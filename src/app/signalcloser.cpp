#include "app/signalcloser.h"

#include "dialogs/modal.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace qb {

namespace {
int g_pipe[2] = {-1, -1};

extern "C" void onTerminationSignal(int)
{
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const auto n = ::write(g_pipe[1], &byte, 1);
    errno = saved;
}
} // namespace

void SignalCloser::installHandlers()
{
    if (g_pipe[0] >= 0 || ::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    struct sigaction sa = {};
    sa.sa_handler = onTerminationSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(sig, &sa, nullptr);
}

SignalCloser::SignalCloser(QObject *parent)
    : SignalCloser(std::function<void()>(), parent)
{
}

SignalCloser::SignalCloser(std::function<void()> close, QObject *parent)
    : QObject(parent)
    , m_close(std::move(close))
{
    installHandlers();
    if (g_pipe[0] < 0)
        return;
    m_notifier = new QSocketNotifier(qintptr(g_pipe[0]), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &SignalCloser::onSignal);
    // A signal may have come before there was anyone to act on it.
    char byte = 0;
    if (::read(g_pipe[0], &byte, 1) == 1)
        this->close();
}

SignalCloser::~SignalCloser()
{
    struct sigaction sa = {};
    sa.sa_handler = SIG_DFL;
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(sig, &sa, nullptr);
}

void SignalCloser::onSignal()
{
    char buffer[64];
    while (::read(g_pipe[0], buffer, sizeof buffer) > 0) {
    }
    close();
}

void SignalCloser::close()
{
    if (m_close)
        m_close();
    else
        modal::requestClose();
}

} // namespace qb

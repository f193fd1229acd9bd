// Reception speed: reports of several sizes (80-character lines) sent through
// the real listener on 127.0.0.1, beside a bare recv loop over the same bytes
// measured in the same run.
//
//   bench_capture [sizes in MiB...]      default: 1 8 32
//
// For each size it prints:
//   bare     seconds a blocking recv loop takes to take in the bytes
//   capture  seconds the listener takes to receive and assemble them into
//            lines (no window)
//   screen   seconds from the first byte sent to the report standing in the
//            main window's text area
//   close    seconds from the client's close to the report on screen

#include "app/mainwindow.h"
#include "capture/listener.h"
#include "common/resources.h"
#include "dialogs/modal.h"
#include "settings/apppaths.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

std::string makeReport(std::size_t bytes)
{
    std::string line(78, 'x');
    for (std::size_t i = 0; i < line.size(); ++i)
        line[i] = char('A' + i % 26);
    line += "\r\n";
    std::string out;
    out.reserve(bytes);
    while (out.size() + line.size() <= bytes)
        out += line;
    return out;
}

int connectTo(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(uint16_t(port));
    while (::connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return fd;
}

struct Sender {
    std::thread thread;
    std::atomic<Clock::time_point> firstByte{}, closed{};
};

void startSender(Sender &s, int port, const std::string &data)
{
    s.thread = std::thread([&s, port, &data] {
        const int fd = connectTo(port);
        s.firstByte = Clock::now();
        std::size_t sent = 0;
        while (sent < data.size()) {
            const ssize_t n = ::send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
            if (n <= 0)
                break;
            sent += std::size_t(n);
        }
        s.closed = Clock::now();
        ::close(fd);
    });
}

double seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

double bareRecv(const std::string &data)
{
    const int lfd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(lfd, reinterpret_cast<sockaddr *>(&addr), sizeof addr);
    ::listen(lfd, 8);
    socklen_t len = sizeof addr;
    ::getsockname(lfd, reinterpret_cast<sockaddr *>(&addr), &len);
    Sender s;
    startSender(s, ntohs(addr.sin_port), data);
    const int fd = ::accept(lfd, nullptr, nullptr);
    std::string sink;
    sink.reserve(data.size());
    std::vector<char> buf(1 << 16);
    ssize_t n;
    while ((n = ::recv(fd, buf.data(), buf.size(), 0)) > 0)
        sink.append(buf.data(), std::size_t(n));
    const auto end = Clock::now();
    s.thread.join();
    ::close(fd);
    ::close(lfd);
    return seconds(s.firstByte, end);
}

double captureOnly(const std::string &data)
{
    qb::Listener listener;
    listener.setPort(0);
    listener.open();
    Clock::time_point end{};
    bool done = false;
    QObject::connect(&listener, &qb::Listener::clientDisconnected, [&](quint64, const qb::Lines &lines, const QString &) {
        end = Clock::now();
        done = !lines.empty();
    });
    Sender s;
    startSender(s, listener.boundPort(), data);
    while (!done)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    s.thread.join();
    return seconds(s.firstByte, end);
}

std::pair<double, double> toScreen(qb::TForm1 &form, int port, const std::string &data)
{
    form.Clear1Click();
    Sender s;
    startSender(s, port, data);
    while (form.shownLines().empty())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    const auto end = Clock::now();
    s.thread.join();
    return {seconds(s.firstByte, end), seconds(s.closed, end)};
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    qputenv("QUILLBOX_NO_SOUND", "1");
    QApplication app(argc, argv);
    qb::initResources();
    std::vector<int> sizes;
    for (int i = 1; i < argc; ++i)
        sizes.push_back(std::atoi(argv[i]));
    if (sizes.empty())
        sizes = {1, 8, 32};

    QTemporaryDir dir;
    const auto paths = qb::AppPaths::forExecutable(std::filesystem::path(dir.path().toStdString()) / "quillbox",
                                                   std::filesystem::path(dir.path().toStdString()) / "config");
    {
        std::ofstream ini(paths.settingsFile);
        ini << "[Defaults]\r\nPort=0\r\n";
    }
    qb::TForm1 form(paths);
    const int port = form.Server->boundPort();

    std::printf("%8s %10s %10s %10s %10s %14s\n", "MiB", "bare s", "capture s", "screen s", "close s", "capture/bare");
    for (int mib : sizes) {
        const std::string data = makeReport(std::size_t(mib) << 20);
        const double bare = bareRecv(data);
        const double capture = captureOnly(data);
        const auto [screen, afterClose] = toScreen(form, port, data);
        std::printf("%8d %10.3f %10.3f %10.3f %10.3f %14.2f\n", mib, bare, capture, screen, afterClose,
                    capture / bare);
        std::fflush(stdout);
    }
    return 0;
}

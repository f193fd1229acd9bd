// Takes the README's pictures: run under Xvfb with the xcb platform.
//   xvfb-run -s "-screen 0 1024x768x24" build/docs/screenshots docs

#include "app/mainwindow.h"
#include "capture/portdialog.h"
#include "common/resources.h"
#include "dialogs/aboutbox.h"
#include "settings/apppaths.h"

#include <QApplication>
#include <QIcon>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

#include <arpa/inet.h>
#include <fstream>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
void send(int port, const std::string &bytes)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(uint16_t(port));
    if (::connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0)
        [[maybe_unused]] auto n = ::send(fd, bytes.data(), bytes.size(), 0);
    ::close(fd);
}

void shoot(QWidget *w, const QString &file)
{
    for (int i = 0; i < 20; ++i)
        QTest::qWait(50);
    const QRect r = w->frameGeometry();
    QGuiApplication::primaryScreen()->grabWindow(0, r.x(), r.y(), r.width(), r.height()).save(file);
}
} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    qb::initResources();
    if (QIcon::themeName().isEmpty() || QIcon::themeName() == QLatin1String("hicolor"))
        QIcon::setThemeName(QStringLiteral("Adwaita"));
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QTemporaryDir dir;
    const auto paths = qb::AppPaths::forExecutable(std::filesystem::path(dir.path().toStdString()) / "quillbox",
                                                   std::filesystem::path(dir.path().toStdString()) / "config");
    std::ofstream(paths.settingsFile) << "[Defaults]\r\nPort=9100\r\nShowToolbar=1\r\nShowStatusbar=1\r\n"
                                         "[Font]\r\nName=DejaVu Sans Mono\r\nSize=9\r\n";
    qb::TForm1 form(paths);
    qb::TfrmPort port(&form);
    qb::TfrmAbout about(&form);
    form.setForms(&port, nullptr, nullptr, &about, nullptr);
    form.showAtStart();
    send(9100, "          ACME LAB SYSTEMS - SAMPLE RUN REPORT\r\n"
               "          ------------------------------------\r\n"
               "Run:      2026-12-08 06:42      Operator: JD\r\n"
               "Sample    Result    Units     Flag\r\n"
               "A-1001    4.82      mmol/L\r\n"
               "A-1002    6.10      mmol/L    H\r\n"
               "A-1003    3.95      mmol/L\r\n"
               "\r\n"
               "Total samples: 3       Checksum: 0x5E1A\r\n");
    for (int i = 0; i < 40 && form.shownLines().empty(); ++i)
        QTest::qWait(50);
    shoot(&form, out + QStringLiteral("/mainwindow.png"));
    about.show();
    shoot(&about, out + QStringLiteral("/about.png"));
    about.hide();
    port.show();
    shoot(&port, out + QStringLiteral("/port.png"));
    port.hide();
    form.FormDestroy();
    return 0;
}

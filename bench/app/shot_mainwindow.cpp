// Pictures of the main window over the scripted network, for looking at the
// layout: at the design size and narrowed below 370 pixels, during a scan
// and after it. Writes PNG files into the directory given as the argument.

#include "app/MainForm.h"
#include "app/TestNetwork.h"

#include <QApplication>
#include <QDir>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <latch>

using namespace norvane;

namespace {
constexpr int NarrowWidth = 340;
constexpr int ScanTimeoutMs = 20000;
} // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUTPUT-DIRECTORY\n", argv[0]);
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));

    test::FakePlatform fake;
    test::buildSmallNetwork(fake);
    // The walk waits in the third computer's lookup until the pictures of
    // the running scan are taken.
    std::latch held(1);
    std::latch release(1);
    fake.onCall = [&](const std::string& call) {
        if (call == "getHostByName(GAMMA)") {
            held.count_down();
            release.wait();
        }
    };
    const QTemporaryDir home;
    TMainForm form(fake, MainFormStorage{std::make_unique<QSettings>(
                                             home.filePath(QStringLiteral("Norvane.conf")),
                                             QSettings::IniFormat),
                                         home.filePath(QStringLiteral("data"))});
    form.setCompletionSound([] {});
    form.show();
    held.wait();
    QTest::qWait(300);
    const QSize design = form.size();
    const auto shoot = [&](const char* name) {
        QTest::qWait(100);
        form.grab().save(out.filePath(QString::fromLatin1(name)));
    };
    shoot("scanning-design.png");
    form.resize(NarrowWidth, design.height());
    shoot("scanning-narrow.png");
    form.resize(design);
    release.count_down();
    if (!QTest::qWaitFor([&] { return !form.isScanning(); }, ScanTimeoutMs))
        return 1;
    shoot("done-design.png");
    form.resize(NarrowWidth, design.height());
    shoot("done-narrow.png");
    return 0;
}

// Pictures of the main window over the scripted network, for looking at the
// layout: at the design size and narrowed below 370 pixels, during a scan
// and after it, and with optional columns chosen from the header's menu.
// Writes PNG files into the directory given as the argument.

#include "gui/FormParts.h"
#include "gui/TestWindow.h"
#include "widgets/ResourceListView.h"

#include <QApplication>
#include <QDir>
#include <QHeaderView>
#include <QMenu>
#include <QTest>

#include <cstdio>
#include <latch>

using namespace norvane;

namespace {
constexpr int NarrowWidth = 340;
constexpr int WideWidth = 900;
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

    test::Window window;
    test::buildSmallNetwork(window.fake);
    // The walk waits in the third computer's lookup until the pictures of
    // the running scan are taken.
    std::latch held(1);
    std::latch release(1);
    window.fake.onCall = [&](const std::string& call) {
        if (call == "getHostByName(GAMMA)") {
            held.count_down();
            release.wait();
        }
    };
    ComputerRecord alpha;
    alpha.dnsName = QStringLiteral("alpha.corp.example");
    alpha.operatingSystem = QStringLiteral("Windows Server 2022");
    alpha.osVersion = QStringLiteral("10.0 (20348)");
    alpha.foundBy = FoundBy::BrowseList;
    alpha.foundBy |= FoundBy::Directory;
    window.fake.facts["ALPHA"] = alpha;
    window.create();
    TMainForm& form = *window.form;
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
    if (!window.waitIdle())
        return 1;
    shoot("done-design.png");
    form.resize(NarrowWidth, design.height());
    shoot("done-narrow.png");

    form.resize(WideWidth, design.height());
    QHeaderView* header = test::parts(form).listView->horizontalHeader();
    emit header->customContextMenuRequested(QPoint(10, 5));
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    if (!menu)
        return 1;
    menu->actions().at(1)->trigger();
    menu->actions().at(2)->trigger();
    QTest::qWait(100);
    menu->grab().save(out.filePath(QStringLiteral("column-menu.png")));
    menu->close();
    shoot("columns-chosen.png");
    return 0;
}

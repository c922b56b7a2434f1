// The program's entry: the application object, the main window over the
// Linux network platform, and the message loop. Showing the window starts
// the first scan; a failed start-up check ends the program instead, and the
// window's destruction still writes the settings. SIGTERM, SIGINT and SIGHUP
// close the program as its close box does; the session manager's request to
// save the program's state at log-out writes the settings. The options of a
// scan from the command line lead elsewhere, before anything of the GUI
// exists.

#include "CommandLine.h"
#include "CommandLineProgram.h"
#include "common/Product.h"
#include "linux/AlsaSoundPlayer.h"
#include "linux/LinuxPlatform.h"
#include "mainwindow/NorvaneApplication.h"
#include "mainwindow/QuitSignals.h"
#include "mainwindow/TMainForm.h"

#include <QSessionManager>

#include <cstdlib>
#include <memory>

int main(int argc, char* argv[]) {
    if (norvane::wantsCommandLine(argc, argv))
        return norvane::runCommandLine(argc, argv,
                                       [] { return std::make_unique<norvane::LinuxPlatform>(); });

    norvane::NorvaneApplication app(argc, argv);
    QApplication::setOrganizationName(QString::fromLatin1(norvane::OrganizationName));
    QApplication::setApplicationName(QString::fromLatin1(norvane::ApplicationTitle));
    QApplication::setApplicationDisplayName(QString::fromLatin1(norvane::ApplicationTitle));

    // Before the window, so that a signal during start-up is not lost; the
    // request is answered once the message loop runs.
    norvane::QuitSignals quitSignals;

    norvane::LinuxPlatform platform;
    norvane::TMainForm form(platform);
    QObject::connect(&quitSignals, &norvane::QuitSignals::quitRequested, &form,
                     &norvane::TMainForm::closeUnattended);
    QObject::connect(&app, &QGuiApplication::saveStateRequest, &form,
                     [&form](QSessionManager&) { form.saveState(); });
    const norvane::AlsaSoundPlayer player;
    form.setCompletionSound([&player] {
        if (!player.play(QString::fromLatin1(norvane::CompletionSound)))
            QApplication::beep();
    });
    // A failed start-up check ends the program without a message loop; the
    // window's destruction still writes the settings.
    if (form.isDoomed())
        return EXIT_FAILURE;
    form.show();
    return QApplication::exec();
}

// The program's entry: the application object, the main window over the
// Linux network platform, and the message loop. Showing the window starts
// the first scan; a failed start-up check ends the program instead, and the
// window's destruction still writes the settings.

#include "common/Product.h"
#include "linux/AlsaSoundPlayer.h"
#include "linux/LinuxPlatform.h"
#include "mainwindow/Application.h"
#include "mainwindow/TMainForm.h"

#include <cstdlib>

int main(int argc, char* argv[]) {
    norvane::NorvaneApplication app(argc, argv);
    QApplication::setOrganizationName(QString::fromLatin1(norvane::OrganizationName));
    QApplication::setApplicationName(QString::fromLatin1(norvane::ApplicationTitle));
    QApplication::setApplicationDisplayName(QString::fromLatin1(norvane::ApplicationTitle));

    norvane::LinuxPlatform platform;
    norvane::TMainForm form(platform);
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

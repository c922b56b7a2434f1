#include "CommandLineProgram.h"

#include "ChangesCommand.h"
#include "Console.h"
#include "InterruptSignals.h"
#include "ScanCommand.h"
#include "common/Product.h"

#include <QCoreApplication>
#include <QSettings>

namespace norvane {

int runCommandLine(int argc, char* argv[], const PlatformFactory& makePlatform) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QString::fromLatin1(OrganizationName));
    QCoreApplication::setApplicationName(QString::fromLatin1(ApplicationTitle));
    QCoreApplication::setApplicationVersion(QStringLiteral(NORVANE_VERSION));
    const InterruptSignals interrupts;
    ProcessConsole console([] { return InterruptSignals::received() != 0; });
    if (wantsChanges(QCoreApplication::arguments())) {
        QSettings settings;
        return ChangesCommand(console, [&settings] { return StoreSettings::read(settings); })
            .run(QCoreApplication::arguments());
    }
    const std::unique_ptr<NetworkPlatform> platform = makePlatform();
    ScanCommandContext context{*platform, console};
    context.stopSignal = &InterruptSignals::received;
    context.storeSettings = [] { return StoreSettings::read(QSettings()); };
    return ScanCommand(std::move(context)).run(QCoreApplication::arguments());
}

} // namespace norvane

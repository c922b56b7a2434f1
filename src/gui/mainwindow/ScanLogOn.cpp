#include "ScanLogOn.h"

#include "dialogs/ErrorBox.h"
#include "dialogs/TLogOnDlg.h"

#include <QAction>
#include <QTimer>
#include <QWidget>

namespace norvane {

ScanLogOn::ScanLogOn(ScanController& scan, QWidget* window)
    : QObject(window), m_window(window),
      m_forget(new QAction(QStringLiteral("Forget Remembered &Log-ons"), window)) {
    m_forget->setObjectName(QStringLiteral("actForgetLogOns"));
    connect(m_forget, &QAction::triggered, this, &ScanLogOn::forgetAll);
    scan.setCredentialHooks(
        {[this](const QString& group) {
             if (!m_keyring.unavailableReason().isEmpty())
                 return std::optional<Credentials>();
             return m_keyring.find(group);
         },
         [this](const CredentialRequest& request) {
             return TLogOnDlg::ask(request, m_keyring.unavailableReason(), m_window);
         },
         [this](const QString& group, const Credentials& credentials) {
             if (m_keyring.remember(group, credentials))
                 return;
             // Told once the scan's change is applied, not in its midst.
             QTimer::singleShot(0, this, [this, group] {
                 showErrorBox(m_window, QStringLiteral("The keyring did not keep the log-on "
                                                       "for %1.")
                                            .arg(group));
             });
         }});
}

void ScanLogOn::forgetAll() {
    if (!m_keyring.forgetAll())
        showErrorBox(m_window, QStringLiteral("The keyring could not be reached; remembered "
                                              "log-ons may remain."));
}

} // namespace norvane

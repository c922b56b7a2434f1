#pragma once

// The window's side of share-listing log-ons: it answers a scan's requests
// for credentials from the keyring and the log-on dialog, keeps what the
// user asked to remember, and offers the command that forgets it all.

#include "CredentialKeyring.h"
#include "ScanController.h"

#include <QObject>

class QAction;
class QWidget;

namespace norvane {

class ScanLogOn : public QObject {
    Q_OBJECT
public:
    ScanLogOn(ScanController& scan, QWidget* window);

    // "Forget Remembered Log-ons", for the Resource menu.
    QAction* forgetAction() const { return m_forget; }

private:
    void forgetAll();

    QWidget* m_window;
    CredentialKeyring m_keyring;
    QAction* m_forget;
};

} // namespace norvane

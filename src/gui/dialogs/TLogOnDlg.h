#pragma once

// The log-on dialog of a share scan: a computer refused to list its shares,
// and the user may give a name, a domain (suggested: the computer's group)
// and a password for the rest of the scan, and have them remembered for the
// group. Where nothing can be remembered, the box says why and stays off.

#include "scan/CredentialSource.h"

#include <QDialog>

#include <optional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace norvane {

// Longest entries, in characters: at three UTF-8 bytes each they still fit
// the SMB library's 256-byte buffers, so no entry is ever cut.
constexpr int MaxLogOnNameLength = 80;
constexpr int MaxLogOnPasswordLength = 80;

class TLogOnDlg : public QDialog {
    Q_OBJECT

public:
    // `rememberUnavailable` says why credentials cannot be remembered;
    // empty when they can.
    TLogOnDlg(const CredentialRequest& request, const QString& rememberUnavailable,
              QWidget* parent = nullptr);
    ~TLogOnDlg() override;

    // What the user gave; takes the password out of its field.
    CredentialAnswer takeAnswer();

    // Runs the dialog modally; nothing when cancelled.
    static std::optional<CredentialAnswer> ask(const CredentialRequest& request,
                                               const QString& rememberUnavailable, QWidget* parent);

private:
    void clearPassword();

    QLabel* lblPrompt;
    QLineEdit* edtUser;
    QLineEdit* edtDomain;
    QLineEdit* edtPassword;
    QCheckBox* chkRemember;
    QLabel* lblRememberReason;
    QPushButton* btnOk;
    QPushButton* btnCancel;
};

} // namespace norvane

#include "TLogOnDlg.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace norvane {

TLogOnDlg::TLogOnDlg(const CredentialRequest& request, const QString& rememberUnavailable,
                     QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("LogOnDlg"));
    setWindowTitle(QStringLiteral("Log On to List Shares"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    lblPrompt = new QLabel(
        QStringLiteral("%1 does not list its shares without a log-on. Enter a user name and "
                       "password for it; they are used for the rest of this scan.")
            .arg(request.computer),
        this);
    lblPrompt->setObjectName(QStringLiteral("lblPrompt"));
    lblPrompt->setWordWrap(true);

    edtUser = new QLineEdit(request.user, this);
    edtUser->setObjectName(QStringLiteral("edtUser"));
    edtUser->setMaxLength(MaxLogOnNameLength);
    edtDomain = new QLineEdit(request.group, this);
    edtDomain->setObjectName(QStringLiteral("edtDomain"));
    edtDomain->setMaxLength(MaxLogOnNameLength);
    edtPassword = new QLineEdit(this);
    edtPassword->setObjectName(QStringLiteral("edtPassword"));
    edtPassword->setEchoMode(QLineEdit::Password);
    edtPassword->setMaxLength(MaxLogOnPasswordLength);

    chkRemember = new QCheckBox(QStringLiteral("&Remember for %1").arg(request.group), this);
    chkRemember->setObjectName(QStringLiteral("chkRemember"));
    lblRememberReason = new QLabel(rememberUnavailable, this);
    lblRememberReason->setObjectName(QStringLiteral("lblRememberReason"));
    lblRememberReason->setWordWrap(true);
    lblRememberReason->setEnabled(false);
    if (!rememberUnavailable.isEmpty()) {
        chkRemember->setEnabled(false);
        chkRemember->setToolTip(rememberUnavailable);
    } else {
        lblRememberReason->hide();
    }

    auto* buttons = new QDialogButtonBox(this);
    btnOk = buttons->addButton(QDialogButtonBox::Ok);
    btnOk->setObjectName(QStringLiteral("btnOk"));
    btnCancel = buttons->addButton(QDialogButtonBox::Cancel);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    const auto needUser = [this] { btnOk->setEnabled(!edtUser->text().trimmed().isEmpty()); };
    connect(edtUser, &QLineEdit::textChanged, this, needUser);
    needUser();

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("&User name:"), edtUser);
    form->addRow(QStringLiteral("&Domain:"), edtDomain);
    form->addRow(QStringLiteral("&Password:"), edtPassword);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblPrompt);
    layout->addLayout(form);
    layout->addWidget(chkRemember);
    layout->addWidget(lblRememberReason);
    layout->addWidget(buttons);
    (request.user.isEmpty() ? edtUser : edtPassword)->setFocus();
}

TLogOnDlg::~TLogOnDlg() {
    clearPassword();
}

CredentialAnswer TLogOnDlg::takeAnswer() {
    CredentialAnswer answer;
    answer.credentials.user = edtUser->text().trimmed().toStdString();
    answer.credentials.domain = edtDomain->text().trimmed().toStdString();
    QString password = edtPassword->text();
    answer.credentials.password = SecretText::fromQString(password);
    wipe(password);
    clearPassword();
    answer.remember = chkRemember->isEnabled() && chkRemember->isChecked();
    return answer;
}

void TLogOnDlg::clearPassword() {
    // The password lives in the field no longer than the dialog needs it.
    edtPassword->clear();
}

std::optional<CredentialAnswer> TLogOnDlg::ask(const CredentialRequest& request,
                                               const QString& rememberUnavailable,
                                               QWidget* parent) {
    TLogOnDlg dialog(request, rememberUnavailable, parent);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.takeAnswer();
}

} // namespace norvane

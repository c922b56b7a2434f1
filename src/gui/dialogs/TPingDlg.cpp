#include "TPingDlg.h"

#include "DialogGeometry.h"
#include "common/AppError.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

namespace norvane {

namespace {
constexpr QSize ClientSize(321, 361);
constexpr int FieldLeft = 218;
constexpr int FieldWidth = 75;
constexpr int LabelGap = 6;
// Digits only, one per position; empty positions read back as blanks.
constexpr const char* FiveDigits = "00000; ";
constexpr const char* TwoDigits = "00; ";

QLineEdit* maskedEdit(const char* mask, const QString& text, const char* name, QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setInputMask(QString::fromLatin1(mask));
    edit->setText(text);
    return edit;
}

QLabel* label(const QString& text, const char* name, QWidget* buddy, QWidget* parent) {
    auto* result = new QLabel(text, parent);
    result->setObjectName(QString::fromLatin1(name));
    result->setBuddy(buddy);
    return result;
}
} // namespace

TPingDlg::TPingDlg(const QString& hostCaption, AddressSource selectedAddress,
                   NetworkPlatform& platform, QWidget* parent, ErrorHandler errorHandler)
    : QDialog(parent), m_platform(platform), m_selectedAddress(std::move(selectedAddress)),
      m_errorHandler(errorHandlerOr(std::move(errorHandler), this)),
      GroupBox(new QGroupBox(QStringLiteral("Ping options"), this)),
      edtBytes(maskedEdit(FiveDigits, QStringLiteral("32"), "edtBytes", GroupBox)),
      edtNumber(maskedEdit(TwoDigits, QStringLiteral("4"), "edtNumber", GroupBox)),
      edtTimeOut(maskedEdit(FiveDigits, QStringLiteral("1000"), "edtTimeOut", GroupBox)),
      chkFragment(new QCheckBox(QStringLiteral("Set don't &fragment flag in packet"), GroupBox)),
      Memo(new QPlainTextEdit(this)), btnStart(new QPushButton(QStringLiteral("&Start"), this)),
      btnCancel(new QPushButton(QStringLiteral("Cancel"), this)), m_output(Memo),
      m_fields(edtBytes, edtNumber, edtTimeOut, chkFragment) {
    setObjectName(QStringLiteral("PingDlg"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    GroupBox->setObjectName(QStringLiteral("GroupBox"));
    lblBytes = label(QStringLiteral("Send &buffer size (bytes):"), "lblBytes", edtBytes, GroupBox);
    lblNumber = label(QStringLiteral("Number of &echo requests to send:"), "lblNumber", edtNumber,
                      GroupBox);
    lblTimeOut = label(QStringLiteral("&Timeout to wait for each reply (ms):"), "lblTimeOut",
                       edtTimeOut, GroupBox);
    chkFragment->setObjectName(QStringLiteral("chkFragment"));
    chkFragment->setChecked(true);
    lblResults = label(QStringLiteral("Ping &results:"), "lblResults", Memo, this);

    Memo->setObjectName(QStringLiteral("Memo"));
    Memo->setReadOnly(true);
    Memo->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QPalette memoPalette = Memo->palette();
    memoPalette.setColor(QPalette::Base, memoPalette.color(QPalette::Window));
    Memo->setPalette(memoPalette);

    btnStart->setObjectName(QStringLiteral("btnStart"));
    btnStart->setDefault(true);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    connect(btnStart, &QPushButton::clicked, this, &TPingDlg::btnStartClick);
    connect(btnCancel, &QPushButton::clicked, this, &TPingDlg::reject);

    layOut();
    setTabOrder(btnStart, btnCancel);
    setTabOrder(btnCancel, edtBytes);
    setTabOrder(edtBytes, edtNumber);
    setTabOrder(edtNumber, edtTimeOut);
    setTabOrder(edtTimeOut, chkFragment);
    setTabOrder(chkFragment, Memo);
    btnStart->setFocus();

    FormCreate(hostCaption);
}

TPingDlg::~TPingDlg() {
    if (FIcmpHandle != InvalidIcmpHandle)
        m_platform.icmpCloseHandle(FIcmpHandle);
}

void TPingDlg::layOut() {
    // The option labels keep their places; when the font needs more room
    // than the design gave, the field column moves right and the dialog
    // grows with it.
    placeFitted(lblBytes, QRect(9, 19, 113, 13));
    placeFitted(lblNumber, QRect(9, 51, 160, 13));
    placeFitted(lblTimeOut, QRect(9, 82, 164, 13));
    placeFitted(chkFragment, QRect(9, 114, 184, 13));
    const int labelsRight = std::max({lblBytes->geometry().right(), lblNumber->geometry().right(),
                                      lblTimeOut->geometry().right()});
    const int extra = std::max(0, labelsRight + LabelGap - FieldLeft);
    const int fieldLeft = FieldLeft + extra;
    placeHeightFitted(edtBytes, QRect(fieldLeft, 18, FieldWidth, 21));
    placeHeightFitted(edtNumber, QRect(fieldLeft, 50, FieldWidth, 21));
    placeHeightFitted(edtTimeOut, QRect(fieldLeft, 81, FieldWidth, 21));
    const int boxWidth = 305 + extra;
    const int boxHeight = std::max(136, chkFragment->geometry().bottom() + LabelGap);
    const int below = boxHeight - 136;
    GroupBox->setGeometry(8, 4, boxWidth, boxHeight);
    placeFitted(lblResults, QRect(8, 142 + below, 57, 13));
    Memo->setGeometry(8, 157 + below, boxWidth, 162);
    btnStart->setGeometry(156 + extra, 328 + below, 75, 25);
    btnCancel->setGeometry(239 + extra, 328 + below, 75, 25);
    setFixedSize(ClientSize.width() + extra, ClientSize.height() + below);
}

void TPingDlg::FormCreate(const QString& hostCaption) {
    FHostName = hostCaption.mid(2);
    setWindowTitle(QStringLiteral("Ping ") + FHostName);
    FIcmpHandle = m_platform.icmpCreateFile();
}

void TPingDlg::btnStartClick() {
    struct ActiveRun {
        TPingDlg& dialog;
        explicit ActiveRun(TPingDlg& d) : dialog(d) { ++dialog.m_activeRuns; }
        ~ActiveRun() {
            if (--dialog.m_activeRuns == 0 && dialog.m_closeWhenIdle)
                dialog.QDialog::reject();
        }
    } active(*this);
    PingRun run(m_platform, FIcmpHandle, m_output, m_fields, m_pacing, FCancelled);
    try {
        run.run(FHostName, m_selectedAddress);
    } catch (const AppError& error) {
        m_errorHandler(error.message());
    }
}

void TPingDlg::reject() {
    FCancelled = true;
    QDialog::reject();
}

void TPingDlg::closeEvent(QCloseEvent* event) {
    if (m_activeRuns > 0) {
        m_closeWhenIdle = true;
        event->ignore();
        return;
    }
    QDialog::reject();
    event->accept();
}

} // namespace norvane

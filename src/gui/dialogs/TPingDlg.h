#pragma once

// The Ping dialog: echo requests to the computer of the main list's
// selected row, one line per request in the results box.

#include "ErrorBox.h"
#include "PingDialogParts.h"
#include "platform/NetworkPlatform.h"

#include <QDialog>

#include <functional>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace norvane {

class TPingDlg : public QDialog {
    Q_OBJECT

public:
    // The selected row's text of the "IP Address" column, read at each Start.
    using AddressSource = std::function<QString()>;

    // `hostCaption` is the selected row's name, two backslashes first. A
    // field that is not a number goes to `errorHandler` (by default the
    // error box).
    TPingDlg(const QString& hostCaption, AddressSource selectedAddress, NetworkPlatform& platform,
             QWidget* parent = nullptr, ErrorHandler errorHandler = {});
    ~TPingDlg() override;

    // One run.
    void btnStartClick();
    // Cancel and Escape stop the run before its next request and close the
    // dialog once no run is active.
    void reject() override;

protected:
    // The close box during a run sets no flag: the run completes first.
    void closeEvent(QCloseEvent* event) override;

private:
    void FormCreate(const QString& hostCaption);
    void layOut();

    NetworkPlatform& m_platform;
    AddressSource m_selectedAddress;
    ErrorHandler m_errorHandler;
    IcmpHandle FIcmpHandle = InvalidIcmpHandle;
    QString FHostName;
    bool FCancelled = false;
    int m_activeRuns = 0;
    bool m_closeWhenIdle = false;

    QGroupBox* GroupBox;
    QLabel* lblBytes;
    QLineEdit* edtBytes;
    QLabel* lblNumber;
    QLineEdit* edtNumber;
    QLabel* lblTimeOut;
    QLineEdit* edtTimeOut;
    QCheckBox* chkFragment;
    QLabel* lblResults;
    QPlainTextEdit* Memo;
    QPushButton* btnStart;
    QPushButton* btnCancel;

    MemoOutput m_output;
    EditFields m_fields;
    EventLoopPacing m_pacing;
};

} // namespace norvane

#pragma once

// The Other Subnets dialog: the address ranges a scan sweeps beside the
// local network (one per line), the probe rate, and the domain whose
// directory is read. OK checks every range line first: a refused line is
// named below the box and selected, and nothing typed is lost; only when
// every line parses are the values written to the settings.

#include "settings/SourceSettings.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;

namespace norvane {

class TSourcesDlg : public QDialog {
    Q_OBJECT

public:
    // `FRegistry` is the main window's settings object.
    explicit TSourcesDlg(QSettings& FRegistry, QWidget* parent = nullptr);

    // The refusal shown, empty when none.
    QString refusal() const;

private:
    void btnOkClick();

    QSettings& m_registry;
    QLabel* lblRanges;
    QPlainTextEdit* memRanges;
    QLabel* lblRefusal;
    QLabel* lblRate;
    QSpinBox* spnRate;
    QLabel* lblDomain;
    QLineEdit* edtDomain;
    QPushButton* btnOk;
    QPushButton* btnCancel;
};

} // namespace norvane

#include "TSourcesDlg.h"

#include "DialogGeometry.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTextBlock>

namespace norvane {

namespace {
constexpr QSize ClientSize(398, 262);
} // namespace

TSourcesDlg::TSourcesDlg(QSettings& FRegistry, QWidget* parent)
    : QDialog(parent), m_registry(FRegistry) {
    setObjectName(QStringLiteral("SourcesDlg"));
    setWindowTitle(QStringLiteral("Other Subnets"));
    setFixedSize(ClientSize);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    lblRanges = new QLabel(QStringLiteral("&Address ranges to sweep, one per line:"), this);
    lblRanges->setObjectName(QStringLiteral("lblRanges"));
    placeFitted(lblRanges, QRect(10, 10, 293, 13));
    memRanges = new QPlainTextEdit(this);
    memRanges->setObjectName(QStringLiteral("memRanges"));
    memRanges->setPlaceholderText(QStringLiteral("192.168.20.0/24\n10.1.0.10-10.1.0.90"));
    memRanges->setTabChangesFocus(true);
    memRanges->setGeometry(10, 28, 293, 120);
    lblRanges->setBuddy(memRanges);
    lblRefusal = new QLabel(this);
    lblRefusal->setObjectName(QStringLiteral("lblRefusal"));
    lblRefusal->setWordWrap(true);
    lblRefusal->setStyleSheet(QStringLiteral("color: #b00000"));
    lblRefusal->setGeometry(10, 152, 293, 30);

    lblRate = new QLabel(QStringLiteral("&Probes a second:"), this);
    lblRate->setObjectName(QStringLiteral("lblRate"));
    placeFitted(lblRate, QRect(10, 192, 100, 13));
    spnRate = new QSpinBox(this);
    spnRate->setObjectName(QStringLiteral("spnRate"));
    spnRate->setRange(static_cast<int>(MinProbesPerSecond), static_cast<int>(MaxProbesPerSecond));
    placeHeightFitted(spnRate, QRect(120, 188, 90, 21));
    lblRate->setBuddy(spnRate);

    lblDomain = new QLabel(QStringLiteral("&Directory domain:"), this);
    lblDomain->setObjectName(QStringLiteral("lblDomain"));
    placeFitted(lblDomain, QRect(10, 226, 100, 13));
    edtDomain = new QLineEdit(this);
    edtDomain->setObjectName(QStringLiteral("edtDomain"));
    edtDomain->setPlaceholderText(QStringLiteral("the ticket's realm"));
    placeHeightFitted(edtDomain, QRect(120, 222, 183, 21));
    lblDomain->setBuddy(edtDomain);

    btnOk = new QPushButton(QStringLiteral("OK"), this);
    btnOk->setObjectName(QStringLiteral("btnOk"));
    btnOk->setGeometry(314, 28, 75, 25);
    btnOk->setDefault(true);
    btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setGeometry(314, 62, 75, 25);
    connect(btnOk, &QPushButton::clicked, this, &TSourcesDlg::btnOkClick);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

    const SourceSettings stored = SourceSettings::read(m_registry);
    memRanges->setPlainText(stored.ranges.join(QLatin1Char('\n')));
    spnRate->setValue(static_cast<int>(stored.probesPerSecond));
    edtDomain->setText(stored.domain);
    memRanges->setFocus();
}

QString TSourcesDlg::refusal() const {
    return lblRefusal->text();
}

void TSourcesDlg::btnOkClick() {
    const RangeLines lines = parseRangeLines(memRanges->toPlainText());
    if (lines.refusedLine != 0) {
        lblRefusal->setText(QStringLiteral("Line %1: %2.").arg(lines.refusedLine).arg(lines.error));
        // The refused line selected, for the user to mend.
        const QTextBlock block = memRanges->document()->findBlockByNumber(lines.refusedLine - 1);
        QTextCursor cursor(block);
        cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
        memRanges->setTextCursor(cursor);
        memRanges->setFocus();
        return;
    }
    const SourceSettings settings{.domain = edtDomain->text().trimmed(),
                                  .ranges = lines.texts,
                                  .probesPerSecond = static_cast<unsigned>(spnRate->value())};
    settings.write(m_registry);
    accept();
}

} // namespace norvane

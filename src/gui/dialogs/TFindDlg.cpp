#include "TFindDlg.h"

#include "DialogGeometry.h"
#include "common/AppError.h"
#include "tools/ResourceList.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>

#include <optional>

namespace norvane {

namespace {
constexpr QSize ClientSize(398, 129);
} // namespace

TFindDlg::TFindDlg(ResourceList& list, QSettings& FRegistry, QWidget* parent,
                   ErrorHandler errorHandler)
    : QDialog(parent), m_list(list), m_errorHandler(errorHandlerOr(std::move(errorHandler), this)),
      m_store(FRegistry), m_history(m_store) {
    setObjectName(QStringLiteral("FindDlg"));
    setWindowTitle(QStringLiteral("Find Network Resource"));
    setFixedSize(ClientSize);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    PageControl = new QTabWidget(this);
    PageControl->setObjectName(QStringLiteral("PageControl"));
    PageControl->setGeometry(10, 10, 293, 109);
    auto* page1 = new QWidget;
    page1->setObjectName(QStringLiteral("Page1"));
    PageControl->addTab(page1, QStringLiteral("Resource Name"));

    lblNamed = new QLabel(QStringLiteral("&Named:"), page1);
    lblNamed->setObjectName(QStringLiteral("lblNamed"));
    cboName = new QComboBox(page1);
    cboName->setObjectName(QStringLiteral("cboName"));
    cboName->setEditable(true);
    cboName->setInsertPolicy(QComboBox::NoInsert);
    cboName->setDuplicatesEnabled(true);
    // No completion while typing: a remembered longer name filled in
    // behind the cursor would be searched instead of what was typed. The
    // history is offered by the drop-down list.
    cboName->setCompleter(nullptr);
    lblNamed->setBuddy(cboName);
    placeFitted(lblNamed, QRect(12, 12, 37, 13));
    // The name box starts where the label ends if the label had to grow.
    const int boxLeft = std::max(59, lblNamed->geometry().right() + 6);
    placeHeightFitted(cboName, QRect(boxLeft, 9, 277 - boxLeft, 21));

    btnOk = new QPushButton(QStringLiteral("OK"), this);
    btnOk->setObjectName(QStringLiteral("btnOk"));
    btnOk->setGeometry(314, 30, 75, 25);
    btnOk->setDefault(true);
    btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setGeometry(314, 64, 75, 25);
    connect(btnOk, &QPushButton::clicked, this, &TFindDlg::btnOkClick);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

    FormCreate();
    cboName->setFocus();
}

TFindDlg::~TFindDlg() {
    // A dialog destroyed without being closed still writes its order; while
    // it is being destroyed there is no window left to report a failure in.
    if (!m_historySaved) {
        try {
            m_history.save();
        } catch (const AppError&) {
        }
    }
}

void TFindDlg::FormCreate() {
    std::optional<QString> failure;
    try {
        m_history.load();
    } catch (const AppError& error) {
        failure = error.message();
    }
    cboName->addItems(m_history.items());
    cboName->setCurrentIndex(-1);
    cboName->setEditText(QString());
    if (failure)
        m_errorHandler(*failure);
}

void TFindDlg::btnOkClick() {
    const QString text = cboName->currentText();
    hide();
    const int row = findResource(m_list, text);
    if (row >= 0) {
        m_list.showHit(row);
    } else {
        showMessageBox(parentWidget(), QMessageBox::Information,
                       QStringLiteral("Resource '") + text + QStringLiteral("' not found."),
                       QStringLiteral("FindMissBox"));
    }
    try {
        const qsizetype found = m_history.update(text);
        if (found >= 0)
            cboName->setCurrentIndex(int(found));
    } catch (const AppError& error) {
        m_errorHandler(error.message());
    }
    accept();
}

void TFindDlg::done(int result) {
    QDialog::done(result);
    saveHistoryOnce();
}

void TFindDlg::saveHistoryOnce() {
    if (m_historySaved)
        return;
    m_historySaved = true;
    try {
        m_history.save();
    } catch (const AppError& error) {
        m_errorHandler(error.message());
    }
}

} // namespace norvane

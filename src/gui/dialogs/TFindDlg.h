#pragma once

// The Find dialog: the user types or picks a name, and the first row of the
// main list with that name is shown, or a box says it was not found. Every
// confirmed name that is not blank goes into the history kept in the
// settings group "FindResourceMRU".

#include "ErrorBox.h"
#include "tools/FindHistory.h"
#include "tools/SettingsHistoryStore.h"

#include <QDialog>

class QComboBox;
class QLabel;
class QPushButton;
class QSettings;
class QTabWidget;

namespace norvane {

class ResourceList;

class TFindDlg : public QDialog {
    Q_OBJECT

public:
    // `FRegistry` is the main window's settings object; the dialog uses it
    // from creation until it is destroyed. Settings errors go to
    // `errorHandler` (by default the error box).
    TFindDlg(ResourceList& list, QSettings& FRegistry, QWidget* parent = nullptr,
             ErrorHandler errorHandler = {});
    ~TFindDlg() override;

    // Closing by any way writes the history order.
    void done(int result) override;

    const FindHistory& history() const { return m_history; }

private:
    // Loads the history into the name box; a failure keeps what loaded.
    void FormCreate();
    void btnOkClick();
    void saveHistoryOnce();

    ResourceList& m_list;
    ErrorHandler m_errorHandler;
    SettingsHistoryStore m_store;
    FindHistory m_history;
    bool m_historySaved = false;

    QTabWidget* PageControl;
    QLabel* lblNamed;
    QComboBox* cboName;
    QPushButton* btnOk;
    QPushButton* btnCancel;
};

} // namespace norvane

#pragma once

// The About box: the program's icon, name, version, author and copyright,
// with one OK button.

#include <QDialog>

class QLabel;
class QPushButton;

namespace norvane {

class TAboutBox : public QDialog {
    Q_OBJECT

public:
    explicit TAboutBox(QWidget* parent = nullptr);

private:
    // Loads the program's icon into ProgramIcon.
    void FormCreate();

    QLabel* ProgramIcon;
    QLabel* lblName;
    QLabel* lblVersion;
    QLabel* lblAuthor;
    QLabel* lblCopyright;
    QPushButton* btnOk;
};

} // namespace norvane

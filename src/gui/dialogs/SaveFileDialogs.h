#pragma once

// The save-file dialog and the replace question of the Save As command.

#include "report/SaveCommands.h"

class QWidget;

namespace norvane {

class SaveFileDialogs : public SaveDialogs {
public:
    explicit SaveFileDialogs(QWidget* owner) : m_owner(owner) {}

    std::optional<QString> askFileName(const QString& initialName) override;
    bool confirmReplace(const QString& path) override;

private:
    QWidget* m_owner;
};

} // namespace norvane

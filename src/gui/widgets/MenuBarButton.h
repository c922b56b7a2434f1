#pragma once

// A caption-only button of the window's menu bar: a click or Alt with its
// underlined letter drops its menu down.

#include <QToolButton>

namespace norvane {

class MenuBarButton : public QToolButton {
    Q_OBJECT
public:
    MenuBarButton(const QString& caption, QMenu* menu, QWidget* parent = nullptr);

protected:
    // The underlined letter opens the menu at once, every time; a plain
    // tool button would run its pressed-look animation first and then let
    // a repeated press go unanswered.
    bool event(QEvent* event) override;
};

} // namespace norvane

#include "MenuBarButton.h"

#include <QEvent>

namespace norvane {

MenuBarButton::MenuBarButton(const QString& caption, QMenu* menu, QWidget* parent)
    : QToolButton(parent) {
    setText(caption);
    setMenu(menu);
    setPopupMode(QToolButton::InstantPopup);
    setToolButtonStyle(Qt::ToolButtonTextOnly);
    setAutoRaise(true);
    // The caption alone: no drop-down arrow beside it.
    setStyleSheet(QStringLiteral("QToolButton::menu-indicator { image: none; }"));
}

bool MenuBarButton::event(QEvent* event) {
    if (event->type() == QEvent::Shortcut && isEnabled()) {
        showMenu();
        return true;
    }
    return QToolButton::event(event);
}

} // namespace norvane

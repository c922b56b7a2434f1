#include "BusyCursor.h"

#include <QCursor>
#include <QGuiApplication>

namespace norvane {

BusyCursor::BusyCursor() {
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr) {
        QGuiApplication::setOverrideCursor(QCursor(Qt::BusyCursor));
        m_active = true;
    }
}

BusyCursor::~BusyCursor() {
    if (m_active)
        QGuiApplication::restoreOverrideCursor();
}

} // namespace norvane

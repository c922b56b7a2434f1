#include "PingDialogParts.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QEventLoop>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScopeGuard>
#include <QTextBlock>
#include <QTextCursor>
#include <QTimer>

#include <future>

#include <memory>

namespace norvane {

void MemoOutput::appendLine(const QString& line) {
    if (m_lines == 0)
        m_memo->setPlainText(line);
    else
        m_memo->appendPlainText(line);
    ++m_lines;
}

void MemoOutput::deleteFirstLine() {
    if (m_lines == 0)
        return;
    if (m_lines == 1) {
        m_memo->clear();
    } else {
        QTextCursor cursor(m_memo->document()->firstBlock());
        cursor.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
    }
    --m_lines;
}

QLineEdit* EditFields::edit(PingField field) const {
    switch (field) {
    case PingField::SendSize:
        return m_bytes;
    case PingField::RequestCount:
        return m_number;
    case PingField::TimeOut:
        break;
    }
    return m_timeOut;
}

QString EditFields::text(PingField field) const {
    return edit(field)->displayText();
}

void EditFields::setText(PingField field, const QString& text) {
    edit(field)->setText(text);
}

bool EditFields::dontFragment() const {
    return m_fragment->isChecked();
}

void EventLoopPacing::processEvents() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void EventLoopPacing::pause(std::chrono::milliseconds duration) {
    QEventLoop loop;
    QTimer::singleShot(duration, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

EchoOutcome EventLoopPacing::send(const std::function<EchoOutcome()>& request) {
    // The echo blocks; the window keeps painting meanwhile. A quit posted
    // before the loop runs is served when it starts.
    QEventLoop loop;
    std::future<EchoOutcome> outcome = std::async(std::launch::async, [&] {
        const auto quit = qScopeGuard(
            [&] { QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection); });
        return request();
    });
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    return outcome.get();
}

} // namespace norvane

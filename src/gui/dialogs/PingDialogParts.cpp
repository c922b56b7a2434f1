#include "PingDialogParts.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QEventLoop>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCursor>
#include <QThread>
#include <QTimer>

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
    EchoOutcome outcome;
    QEventLoop loop;
    std::unique_ptr<QThread> thread(QThread::create([&] { outcome = request(); }));
    QObject::connect(thread.get(), &QThread::finished, &loop, &QEventLoop::quit);
    thread->start();
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    thread->wait();
    return outcome;
}

} // namespace norvane

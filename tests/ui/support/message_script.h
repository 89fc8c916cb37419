#pragma once

#include "ui/message_box.h"

#include <QList>

#include <functional>

// Answers the program's message boxes without showing them, for the scope's lifetime, and
// records each: tests assert "message 114 was shown" by id. Answers come from the queue given
// to Answer(); with the queue empty, a question gets No and any other box OK.
class CMessageScript {
public:
    CMessageScript();
    ~CMessageScript();
    CMessageScript(const CMessageScript&) = delete;
    CMessageScript& operator=(const CMessageScript&) = delete;

    void Answer(QMessageBox::StandardButton button) { m_answers.append(button); }
    // Runs for each box before it is answered, while the code that shows it waits: a test can look
    // at the state a box is shown in.
    void OnShown(std::function<void(const SMessage&)> hook) { m_onShown = std::move(hook); }

    const QList<SMessage>& Shown() const { return m_shown; }
    // The ids shown so far, in order.
    QList<int> ShownIds() const;

private:
    QList<QMessageBox::StandardButton> m_answers;
    QList<SMessage> m_shown;
    std::function<void(const SMessage&)> m_onShown;
};

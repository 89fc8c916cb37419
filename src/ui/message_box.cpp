#include "ui/message_box.h"

#include "ui/active_window_scope.h"
#include "ui/strings.h"

namespace {

MessageAnswerer& Answerer()
{
    static MessageAnswerer answerer;
    return answerer;
}

QMessageBox::Icon IconOf(EMessageKind kind)
{
    switch (kind) {
    case EMessageKind::Error:
        return QMessageBox::Critical;
    case EMessageKind::Question:
        return QMessageBox::Question;
    case EMessageKind::Exclamation:
        return QMessageBox::Warning;
    }
    return QMessageBox::NoIcon;
}

} // namespace

QMessageBox::StandardButton ShowMessage(QWidget* parent, const SMessage& message)
{
    if (Answerer())
        return Answerer()(message);
    const bool question = message.m_kind == EMessageKind::Question;
    QMessageBox box(IconOf(message.m_kind), LoadString(kIdsCaption), message.m_text,
                    question ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok, parent);
    return static_cast<QMessageBox::StandardButton>(RunModal(box));
}

void MessageBoxError(QWidget* parent, int id)
{
    ShowMessage(parent, {id, LoadString(id), EMessageKind::Error});
}

void MessageBoxExclamation(QWidget* parent, int id)
{
    ShowMessage(parent, {id, LoadString(id), EMessageKind::Exclamation});
}

bool MessageBoxQuestion(QWidget* parent, int id, const QString& text)
{
    const SMessage message {id, text.isEmpty() ? LoadString(id) : text, EMessageKind::Question};
    return ShowMessage(parent, message) == QMessageBox::Yes;
}

void SetMessageAnswerer(MessageAnswerer answerer)
{
    Answerer() = std::move(answerer);
}

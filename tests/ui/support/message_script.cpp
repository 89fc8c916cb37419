#include "support/message_script.h"

CMessageScript::CMessageScript()
{
    SetMessageAnswerer([this](const SMessage& message) {
        m_shown.append(message);
        if (m_onShown)
            m_onShown(message);
        if (!m_answers.isEmpty())
            return m_answers.takeFirst();
        return message.m_kind == EMessageKind::Question ? QMessageBox::No : QMessageBox::Ok;
    });
}

CMessageScript::~CMessageScript()
{
    SetMessageAnswerer({});
}

QList<int> CMessageScript::ShownIds() const
{
    QList<int> ids;
    for (const SMessage& message : m_shown)
        ids.append(message.m_nId);
    return ids;
}

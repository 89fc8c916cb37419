#pragma once

#include <QMessageBox>
#include <QString>

#include <functional>

class QWidget;

// Message boxes, always captioned with string 106. Errors have the critical icon and OK;
// questions the question icon and Yes and No; warnings the warning icon and OK.
enum class EMessageKind {
    Error,
    Question,
    Exclamation,
};

// What a box shows: the string id it came from (0 for a text of no id) and its text.
struct SMessage {
    int m_nId;
    QString m_text;
    EMessageKind m_kind;
};

// Shows message modally over parent (entered in the main window's m_pActiveWnd while it runs)
// and returns the button pressed.
QMessageBox::StandardButton ShowMessage(QWidget* parent, const SMessage& message);

// String id as an error box.
void MessageBoxError(QWidget* parent, int id);
// String id as a warning box.
void MessageBoxExclamation(QWidget* parent, int id);
// String id, or text when one is given, as a question; true for Yes.
bool MessageBoxQuestion(QWidget* parent, int id, const QString& text = {});

// Test seam: while an answerer is set, boxes are not shown; the answerer gets each one and
// returns the button "pressed". Setting an empty function shows real boxes again.
using MessageAnswerer = std::function<QMessageBox::StandardButton(const SMessage&)>;
void SetMessageAnswerer(MessageAnswerer answerer);

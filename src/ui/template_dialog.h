#pragma once

#include "ui/dialog_builder.h"

#include <QDialog>

class QLineEdit;
class QPushButton;
class QVBoxLayout;

// A dialog built from a template: its title, window decorations, font and controls come from the
// template; its client area (the template's size) sits below an optional menu bar. Controls are
// found by id. A push button with id kIdOk calls OnOK, one with id kIdCancel rejects.
//
// OnInitDialog runs at the start of exec(), after the caller has set up the object and before the
// window shows. A dialog object serves one modal run.
class CTemplateDialog : public QDialog {
    Q_OBJECT

public:
    CTemplateDialog(const SDialogTemplate& dialogTemplate, QWidget* parent);

    template <class T> T* Control(int id) const { return FindControl<T>(*this, id); }

    int exec() override;

protected:
    virtual void OnInitDialog() {}
    // OK: ends the modal loop with Accepted.
    virtual void OnOK() { accept(); }

    // Enter presses the focused push button, else the template's default button, else OK; Escape
    // rejects. (Qt's own rule would make the first button the default of a window that has none.)
    void keyPressEvent(QKeyEvent* event) override;

    QVBoxLayout& WindowLayout() const { return *m_pLayout; }

    // The edit field id.
    QLineEdit& Field(int id) const;
    // Moves the focus to edit field id with its text selected, ready to be typed over: where a
    // dialog sends the user after refusing what the field holds.
    void FocusField(int id);

private:
    QPushButton* DefaultButton() const;

    QVBoxLayout* m_pLayout;
};

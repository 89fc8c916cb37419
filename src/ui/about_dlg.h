#pragma once

#include "ui/template_dialog.h"

// The About box (template 100): the program's icon, version and what powers it.
class CAboutDlg : public CTemplateDialog {
    Q_OBJECT

public:
    explicit CAboutDlg(QWidget* parent) : CTemplateDialog(kAboutTemplate, parent) {}
};

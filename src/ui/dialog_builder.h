#pragma once

#include "ui/resources/dialog_templates.h"

#include <QFont>
#include <QRect>
#include <QString>
#include <QWidget>

// a * b / c rounded half away from zero, computed in 64 bits; -1 when c is 0.
int MulDiv(int a, int b, int c);

// Dialog units of one font. Across, a unit is a quarter of the average width of "A".."Z" and
// "a".."z" (rounded to whole pixels first, as (advance / 26 + 1) / 2); down, an eighth of the
// font's height. DejaVu Sans 9 pt at 96 dpi gives 7 and 14 pixels.
class CDialogUnits {
public:
    explicit CDialogUnits(const QFont& font);

    int BaseX() const { return m_nBaseX; }
    int BaseY() const { return m_nBaseY; }
    QRect ToPixels(int x, int y, int cx, int cy) const;
    QSize ToPixels(int cx, int cy) const;

private:
    int m_nBaseX;
    int m_nBaseY;
};

// Turns a template into widgets: the controls, in tab order, at their rectangles, on a client
// widget the size of the template. Each control with an id is named after it (ControlName), so a
// window finds it again with FindControl.
class CDialogBuilder {
public:
    // The font a template's window uses: the desktop's dialog font at the template's point size.
    static QFont DialogFont(const SDialogTemplate& dialogTemplate);

    // Builds the template's controls on client, which takes the template's font and size.
    static void Build(const SDialogTemplate& dialogTemplate, QWidget& client);

private:
    static QWidget* MakeControl(const SControlTemplate& control, QWidget& client,
                                const CDialogUnits& units);
};

QString ControlName(int id);

// The control with id below parent, or null when there is none or it is not a T.
template <class T> T* FindControl(const QWidget& parent, int id)
{
    return parent.findChild<T*>(ControlName(id));
}

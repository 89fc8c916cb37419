#pragma once

#include <span>

// Windows are described as data: a template gives the window's title, its size in dialog units
// and the point size of its font, and lists its controls in tab order, each with its id, kind,
// text and rectangle in dialog units. CDialogBuilder turns a template into widgets. A dialog unit
// is a quarter of the font's average character width across and an eighth of its height down, so
// a layout keeps its proportions in any font.

enum class EControlKind {
    Label,      // static text; "&x" marks the mnemonic, which moves the focus to the next control
    Icon,       // an icon from the program's resources; the text holds its id, e.g. "128"
    ListBox,    // single-selection list of texts
    Edit,       // one-line text field
    PushButton, // "&x" marks the mnemonic
};

// Style flags of a control.
enum EControlStyle : unsigned {
    kStyleNone = 0,
    kStyleDefaultButton = 1u << 0, // pressed by Enter wherever the focus is
    kStyleVScroll = 1u << 1,       // a vertical scroll bar when the content is taller
    kStyleBorder = 1u << 2,        // a sunken frame
};

// Style flags of a window.
enum EDialogStyle : unsigned {
    kDialogModalFrame = 0,
    kDialogMinimizeBox = 1u << 0, // a top-level window the user may minimise
};

// Control ids the platform gives a meaning of their own.
inline constexpr int kIdStatic = -1; // a control the program never looks up
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;

struct SControlTemplate {
    int m_nId;
    EControlKind m_kind;
    const char* m_pszText;
    int m_x;
    int m_y;
    int m_cx;
    int m_cy;
    unsigned m_style;
};

struct SDialogTemplate {
    int m_nId;
    const char* m_pszTitle;
    int m_cx;
    int m_cy;
    int m_nPointSize;
    unsigned m_style;
    std::span<const SControlTemplate> m_controls;
};

// 100: the About box.
extern const SDialogTemplate kAboutTemplate;
// 102: the main window with the destination list.
extern const SDialogTemplate kMainTemplate;
// 110: one destination's name and URL.
extern const SDialogTemplate kDestinationTemplate;

// Control ids of template 102.
inline constexpr int kIdDestinationList = 1000;
inline constexpr int kIdEncrypt = 1002;
inline constexpr int kIdAdd = 1003;
inline constexpr int kIdModify = 1004;
inline constexpr int kIdDelete = 1005;
inline constexpr int kIdExit = 1006;
inline constexpr int kIdUpper = 1007;
inline constexpr int kIdLower = 1008;
inline constexpr int kIdHelp = 57670;

// Control ids of template 110.
inline constexpr int kIdDestinationUrl = 1019;
inline constexpr int kIdDestinationName = 1022;

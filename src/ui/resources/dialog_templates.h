#pragma once

#include <span>

// Windows are described as data: a template gives the window's title, its size in dialog units
// and the point size of its font, and lists its controls in tab order, each with its id, kind,
// text and rectangle in dialog units. CDialogBuilder turns a template into widgets. A dialog unit
// is a quarter of the font's average character width across and an eighth of its height down, so
// a layout keeps its proportions in any font.

enum class EControlKind {
    Label,       // static text; "&x" marks the mnemonic, which moves the focus to the next control
    Icon,        // an icon from the program's resources; the text holds its id, e.g. "128"
    ListBox,     // single-selection list of texts
    Edit,        // one-line text field
    PushButton,  // "&x" marks the mnemonic
    CheckBox,    // a box that ticks and clears itself when clicked; "&x" marks the mnemonic
    ProgressBar, // a bar showing a position from 0 to 100
    GroupBox,    // a captioned frame drawn around the controls that lie on it
};

// Style flags of a control.
enum EControlStyle : unsigned {
    kStyleNone = 0,
    kStyleDefaultButton = 1u << 0, // pressed by Enter wherever the focus is
    kStyleVScroll = 1u << 1,       // a vertical scroll bar when the content is taller
    kStyleBorder = 1u << 2,        // a sunken frame
    kStylePassword = 1u << 3,      // an edit that hides the characters typed
    kStyleCenter = 1u << 4,        // a label whose text is centred
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
// 129: the key pair list, with Create, Import, Delete, Property and reordering.
extern const SDialogTemplate kKeyManagerTemplate;
// 130: the internet settings: FTP location and account, web URL.
extern const SDialogTemplate kInternetSettingTemplate;
// 132: a new key pair's name, where its public key goes, and the creation's progress.
extern const SDialogTemplate kKeyCreatorTemplate;
// 133: one key pair's name, creation date and method, with its two exports.
extern const SDialogTemplate kKeyPropertyTemplate;
// 134: the name and export file of a key pair to import.
extern const SDialogTemplate kImportTemplate;

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

// Control ids of template 129 (Delete, Upper and Lower share the ids of template 102's buttons).
inline constexpr int kIdKeyPairList = 1009;
inline constexpr int kIdCreateKeyPair = 1011;
inline constexpr int kIdKeyProperty = 1014;
inline constexpr int kIdImportKeyPair = 1035;

// Control ids of template 133 (the name field is kIdKeyPairName).
inline constexpr int kIdCreateDate = 1031;
inline constexpr int kIdExportKeyPair = 1032;
inline constexpr int kIdExportPublicKey = 1039;

// Control ids of template 134 (the name field is kIdKeyPairName).
inline constexpr int kIdImportFile = 1037;
inline constexpr int kIdBrowse = 1038;

// Control ids of templates 130 and 132 (the URL field shares its id with template 110's; 132's
// name field shares template 110's name id).
inline constexpr int kIdFtpLocation = 1015;
inline constexpr int kIdFtpUser = 1016;
inline constexpr int kIdFtpPassword = 1017;
inline constexpr int kIdAnonymous = 1018;
inline constexpr int kIdWebUrl = 1019;
inline constexpr int kIdKeyPairName = 1022;
inline constexpr int kIdCreationStatus = 1024;
inline constexpr int kIdCreationProgress = 1027;

#include "ui/resources/dialog_templates.h"

namespace {

constexpr SControlTemplate kAboutControls[] = {
    {kIdStatic, EControlKind::Icon, "128", 11, 17, 20, 20, kStyleNone},
    {kIdStatic, EControlKind::Label, "Pellmar-Gate Version 1.0.0.2", 40, 10, 119, 8, kStyleNone},
    {kIdStatic, EControlKind::Label, "RSA && AES key generator powered by OpenSSL", 40, 40, 188, 8,
     kStyleNone},
    {kIdOk, EControlKind::PushButton, "OK", 178, 7, 50, 16, kStyleDefaultButton},
};

constexpr SControlTemplate kMainControls[] = {
    {kIdStatic, EControlKind::Label, "Des&tination List", 7, 7, 56, 8, kStyleNone},
    {kIdDestinationList, EControlKind::ListBox, "", 7, 19, 248, 136, kStyleVScroll | kStyleBorder},
    {kIdEncrypt, EControlKind::PushButton, "&Encrypt...", 262, 7, 50, 16, kStyleNone},
    {kIdAdd, EControlKind::PushButton, "&Add...", 262, 25, 50, 16, kStyleNone},
    {kIdModify, EControlKind::PushButton, "&Modify...", 262, 43, 50, 16, kStyleNone},
    {kIdDelete, EControlKind::PushButton, "&Delete", 262, 61, 50, 16, kStyleNone},
    {kIdUpper, EControlKind::PushButton, "&Upper", 262, 79, 50, 16, kStyleNone},
    {kIdLower, EControlKind::PushButton, "&Lower", 262, 97, 50, 16, kStyleNone},
    {kIdExit, EControlKind::PushButton, "E&xit", 262, 115, 50, 16, kStyleNone},
    {kIdHelp, EControlKind::PushButton, "&Help", 262, 133, 50, 16, kStyleNone},
};

constexpr SControlTemplate kDestinationControls[] = {
    {kIdStatic, EControlKind::Label, "&Name", 7, 9, 27, 8, kStyleNone},
    {kIdDestinationName, EControlKind::Edit, "", 38, 7, 214, 14, kStyleBorder},
    {kIdStatic, EControlKind::Label, "&URL", 7, 30, 24, 8, kStyleNone},
    {kIdDestinationUrl, EControlKind::Edit, "", 38, 28, 214, 14, kStyleBorder},
    {kIdOk, EControlKind::PushButton, "OK", 74, 50, 50, 14, kStyleDefaultButton},
    {kIdCancel, EControlKind::PushButton, "Cancel", 135, 50, 50, 14, kStyleNone},
};

constexpr SControlTemplate kKeyManagerControls[] = {
    {kIdStatic, EControlKind::Label, "&Key pair list", 7, 7, 47, 8, kStyleNone},
    {kIdKeyPairList, EControlKind::ListBox, "", 7, 18, 229, 122, kStyleVScroll | kStyleBorder},
    {kIdCreateKeyPair, EControlKind::PushButton, "&Create...", 242, 7, 60, 16, kStyleNone},
    {kIdImportKeyPair, EControlKind::PushButton, "&Import...", 242, 26, 60, 16, kStyleNone},
    {kIdDelete, EControlKind::PushButton, "&Delete", 242, 45, 60, 16, kStyleNone},
    {kIdKeyProperty, EControlKind::PushButton, "&Property...", 242, 64, 60, 16, kStyleNone},
    {kIdUpper, EControlKind::PushButton, "&Upper", 242, 83, 60, 16, kStyleNone},
    {kIdLower, EControlKind::PushButton, "&Lower", 242, 102, 60, 16, kStyleNone},
    {kIdOk, EControlKind::PushButton, "E&xit", 242, 121, 60, 16, kStyleDefaultButton},
};

constexpr SControlTemplate kInternetSettingControls[] = {
    {kIdStatic, EControlKind::Label, "&FTP", 7, 9, 22, 8, kStyleNone},
    {kIdFtpLocation, EControlKind::Edit, "", 49, 7, 208, 14, kStyleBorder},
    {kIdStatic, EControlKind::Label, "User &name", 7, 28, 39, 8, kStyleNone},
    {kIdFtpUser, EControlKind::Edit, "", 49, 26, 74, 14, kStyleBorder},
    {kIdStatic, EControlKind::Label, "&Password", 137, 28, 42, 8, kStyleNone},
    {kIdFtpPassword, EControlKind::Edit, "", 183, 26, 74, 14, kStyleBorder | kStylePassword},
    {kIdAnonymous, EControlKind::CheckBox, "&Anonymous", 7, 46, 62, 10, kStyleNone},
    {kIdStatic, EControlKind::Label, "&URL", 7, 63, 24, 8, kStyleNone},
    {kIdWebUrl, EControlKind::Edit, "", 50, 61, 208, 14, kStyleBorder},
    {kIdOk, EControlKind::PushButton, "OK", 265, 7, 50, 14, kStyleDefaultButton},
    {kIdCancel, EControlKind::PushButton, "Cancel", 265, 24, 50, 14, kStyleNone},
};

constexpr SControlTemplate kKeyCreatorControls[] = {
    {kIdStatic, EControlKind::Label, "&Name", 7, 14, 27, 8, kStyleNone},
    {kIdKeyPairName, EControlKind::Edit, "", 40, 10, 217, 14, kStyleBorder},
    {kIdStatic, EControlKind::Label, "&FTP", 7, 31, 22, 8, kStyleNone},
    {kIdFtpLocation, EControlKind::Edit, "", 40, 29, 217, 14, kStyleBorder},
    {kIdStatic, EControlKind::Label, "User &ID", 7, 50, 36, 8, kStyleNone},
    {kIdFtpUser, EControlKind::Edit, "", 49, 48, 74, 14, kStyleBorder},
    {kIdStatic, EControlKind::Label, "&Password", 137, 50, 42, 8, kStyleNone},
    {kIdFtpPassword, EControlKind::Edit, "", 183, 48, 74, 14, kStyleBorder | kStylePassword},
    {kIdAnonymous, EControlKind::CheckBox, "&Anonymous", 7, 68, 62, 10, kStyleNone},
    {kIdStatic, EControlKind::Label, "&URL", 7, 86, 24, 8, kStyleNone},
    {kIdWebUrl, EControlKind::Edit, "", 40, 84, 217, 14, kStyleBorder},
    {kIdCreationStatus, EControlKind::Label, "Start key pair creation", 7, 105, 250, 8,
     kStyleCenter},
    {kIdCreationProgress, EControlKind::ProgressBar, "", 7, 118, 250, 14, kStyleBorder},
    {kIdOk, EControlKind::PushButton, "OK", 77, 138, 50, 14, kStyleDefaultButton},
    {kIdCancel, EControlKind::PushButton, "Cancel", 136, 138, 50, 14, kStyleNone},
};

// "Create date" and "Encrypt method" are 50 units wide instead of 33 and 41: the desktop font is
// wider than the one the layout was drawn for, and they still end before the fields beside them.
constexpr SControlTemplate kKeyPropertyControls[] = {
    {kIdStatic, EControlKind::Label, "&Name", 7, 10, 27, 8, kStyleNone},
    {kIdKeyPairName, EControlKind::Edit, "", 58, 8, 120, 14, kStyleBorder},
    {kIdStatic, EControlKind::Label, "Create date", 7, 28, 50, 8, kStyleNone},
    {kIdCreateDate, EControlKind::Label, "2007/03/01", 60, 28, 120, 8, kStyleNone},
    {kIdStatic, EControlKind::Label, "Encrypt method", 7, 46, 50, 8, kStyleNone},
    {kIdStatic, EControlKind::Label, "RSA 2048bit", 60, 46, 120, 8, kStyleNone},
    {kIdStatic, EControlKind::GroupBox, "Export", 186, 7, 78, 48, kStyleNone},
    {kIdExportPublicKey, EControlKind::PushButton, "&Public key...", 196, 18, 60, 14, kStyleNone},
    {kIdExportKeyPair, EControlKind::PushButton, "&Key pair...", 196, 36, 60, 14, kStyleNone},
    {kIdOk, EControlKind::PushButton, "OK", 136, 65, 60, 14, kStyleDefaultButton},
    {kIdCancel, EControlKind::PushButton, "Cancel", 204, 65, 60, 14, kStyleNone},
};

constexpr SControlTemplate kImportControls[] = {
    {kIdStatic, EControlKind::Label, "&Name", 7, 10, 27, 8, kStyleNone},
    {kIdKeyPairName, EControlKind::Edit, "", 48, 8, 183, 14, kStyleBorder},
    {kIdStatic, EControlKind::Label, "&File", 7, 30, 33, 8, kStyleNone},
    {kIdImportFile, EControlKind::Edit, "", 48, 28, 184, 14, kStyleBorder},
    {kIdBrowse, EControlKind::PushButton, "&Browse...", 235, 28, 50, 14, kStyleNone},
    {kIdOk, EControlKind::PushButton, "OK", 180, 49, 50, 14, kStyleDefaultButton},
    {kIdCancel, EControlKind::PushButton, "Cancel", 235, 49, 50, 14, kStyleNone},
};

} // namespace

const SDialogTemplate kAboutTemplate = {
    100, "Version of Pellmar-Gate", 235, 63, 9, kDialogModalFrame, kAboutControls,
};

const SDialogTemplate kMainTemplate = {
    102, "Pellmar-Gate", 319, 162, 9, kDialogMinimizeBox, kMainControls,
};

const SDialogTemplate kDestinationTemplate = {
    110, "Destination Information", 259, 71, 8, kDialogModalFrame, kDestinationControls,
};

const SDialogTemplate kKeyManagerTemplate = {
    129, "Key Pair Management", 309, 147, 9, kDialogModalFrame, kKeyManagerControls,
};

const SDialogTemplate kInternetSettingTemplate = {
    130, "Internet settings", 322, 83, 8, kDialogModalFrame, kInternetSettingControls,
};

const SDialogTemplate kKeyCreatorTemplate = {
    132, "Create Key Pair", 264, 159, 8, kDialogModalFrame, kKeyCreatorControls,
};

const SDialogTemplate kKeyPropertyTemplate = {
    133, "Property of Key Pair", 271, 86, 8, kDialogModalFrame, kKeyPropertyControls,
};

const SDialogTemplate kImportTemplate = {
    134, "Import Key Pair", 292, 70, 8, kDialogModalFrame, kImportControls,
};

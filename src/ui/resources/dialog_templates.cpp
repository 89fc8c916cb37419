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

#pragma once

#include <QString>

// Ids of the string table texts the windows refer to by name.
inline constexpr int kIdsAboutBox = 101;
inline constexpr int kIdsKeyManagement = 102;
inline constexpr int kIdsInternetSettings = 104;
inline constexpr int kIdsConfFilesHaveProblems = 105;
inline constexpr int kIdsCaption = 106;
inline constexpr int kIdsUrlWrong = 109;
inline constexpr int kIdsCreateDestination = 110;
inline constexpr int kIdsModifyDestination = 111;
inline constexpr int kIdsSetName = 112;
inline constexpr int kIdsNameUsed = 113;
inline constexpr int kIdsDeleteDestination = 114;
inline constexpr int kIdsEncryptedFilesFilter = 115;
inline constexpr int kIdsUrlUsed = 133;
inline constexpr int kIdsUrlUnreachable = 134;
inline constexpr int kIdsNotPublicKey = 139;
inline constexpr int kIdsDecrypt = 140;
inline constexpr int kIdsFailedToEncrypt = 144;
inline constexpr int kIdsAllFilesFilter = 145;
inline constexpr int kIdsCannotDecrypt = 146;
inline constexpr int kIdsCannotDownloadPublicKey = 147;

// The text of string id; empty when the table has none.
QString LoadString(int id);

// The text of string id with its first "%s" replaced by argument (taken as it is: a '%' in it is
// no format).
QString FormatString(int id, const QString& argument);

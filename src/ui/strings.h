#pragma once

#include <QString>

// Ids of the string table texts the windows refer to by name.
inline constexpr int kIdsAboutBox = 101;
inline constexpr int kIdsKeyManagement = 102;
inline constexpr int kIdsInternetSettings = 104;
inline constexpr int kIdsConfFilesHaveProblems = 105;
inline constexpr int kIdsCaption = 106;
inline constexpr int kIdsInternetSettingsNotWritten = 107;
inline constexpr int kIdsFtpWrong = 108;
inline constexpr int kIdsUrlWrong = 109;
inline constexpr int kIdsCreateDestination = 110;
inline constexpr int kIdsModifyDestination = 111;
inline constexpr int kIdsSetName = 112;
inline constexpr int kIdsNameUsed = 113;
inline constexpr int kIdsDeleteDestination = 114;
inline constexpr int kIdsEncryptedFilesFilter = 115;
inline constexpr int kIdsKeyPairNotCreated = 116;
inline constexpr int kIdsKeyCreationStarted = 117;
inline constexpr int kIdsKeyPairGenerated = 118;
inline constexpr int kIdsDeleteKeyPair = 119;
inline constexpr int kIdsKeyPairExportFilter = 120;
inline constexpr int kIdsKeyPairNotExported = 121;
inline constexpr int kIdsExportKeyPair = 122;
inline constexpr int kIdsSetFileName = 123;
inline constexpr int kIdsExportFileMissing = 124;
inline constexpr int kIdsNotKeyExportFile = 125;
inline constexpr int kIdsKeyPairExists = 126;
inline constexpr int kIdsKeyPairFileNotCreated = 127;
inline constexpr int kIdsFtpUploadFailed = 128;
inline constexpr int kIdsPublicKeyFileNotCreated = 129;
inline constexpr int kIdsHttpDownloadFailed = 130;
inline constexpr int kIdsUrlMayBeWrong = 131;
inline constexpr int kIdsRegisterPublicKey = 132;
inline constexpr int kIdsUrlUsed = 133;
inline constexpr int kIdsUrlUnreachable = 134;
inline constexpr int kIdsCreatingKeyFile = 135;
inline constexpr int kIdsFtpUploading = 136;
inline constexpr int kIdsHttpDownloading = 137;
inline constexpr int kIdsKeyCreationFinished = 138;
inline constexpr int kIdsNotPublicKey = 139;
inline constexpr int kIdsDecrypt = 140;
inline constexpr int kIdsExportPublicKey = 141;
inline constexpr int kIdsPublicKeyExportFilter = 142;
inline constexpr int kIdsPublicKeyNotExported = 143;
inline constexpr int kIdsFailedToEncrypt = 144;
inline constexpr int kIdsAllFilesFilter = 145;
inline constexpr int kIdsCannotDecrypt = 146;
inline constexpr int kIdsCannotDownloadPublicKey = 147;

// The text of string id; empty when the table has none.
QString LoadString(int id);

// The text of string id with its first "%s" replaced by argument (taken as it is: a '%' in it is
// no format).
QString FormatString(int id, const QString& argument);

#pragma once

#include <QString>

// Ids of the string table texts the windows refer to by name.
inline constexpr int kIdsAboutBox = 101;
inline constexpr int kIdsKeyManagement = 102;
inline constexpr int kIdsInternetSettings = 104;
inline constexpr int kIdsConfFilesHaveProblems = 105;
inline constexpr int kIdsCaption = 106;
inline constexpr int kIdsDeleteDestination = 114;
inline constexpr int kIdsDecrypt = 140;

// The text of string id; empty when the table has none.
QString LoadString(int id);

// The text of string id with its first "%s" replaced by argument (taken as it is: a '%' in it is
// no format).
QString FormatString(int id, const QString& argument);

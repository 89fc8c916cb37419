#pragma once

#include <string>

// Stores the local file at localPath on the FTP server that location ("ftp://host[:port]/path",
// port 21 unless given) names. The path's last segment is the remote file name, the segments
// before it the directories it goes into, from the server's root down.
//
// Everything happens over one connection with one login, as user with password (both passed as
// they are, empty texts too; "anonymous" logs in anonymously). Each directory is entered by its
// absolute path (/a, then /a/b, ...) and made when it cannot be entered; then the file is stored
// once, under its absolute path, replacing a file of that name. Directories made before a later
// step fails stay on the server.
//
// True when the server reports the whole file stored. False, with no connection attempted, when
// the location is not an ftp:// URL with a path, the local file is not a readable file, or the
// location or account holds a control character; false as well when the login is refused, a
// directory can neither be entered nor made, or the store fails.
[[nodiscard]] bool FtpUploadFile(const std::string& location, const std::string& localPath,
                                 const std::string& user, const std::string& password);

#pragma once

#include <string>

// The container a file is encrypted into by default: the file's name with its last extension
// replaced by ".enp", in the file's folder (report.doc -> report.enp, README -> README.enp,
// archive.tar.gz -> archive.tar.enp). A leading dot starts a hidden file's name, not an extension
// (.profile -> .profile.enp). A bare file name gives a bare container name.
std::string DefaultContainerPath(const std::string& file);

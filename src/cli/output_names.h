#pragma once

#include <string>

// Where `pellmar encrypt FILE` puts its container by default: FILE's folder, FILE's name with its
// last extension replaced by ".enp" (report.doc -> report.enp, README -> README.enp). A leading dot
// starts a hidden file's name, not an extension (.profile -> .profile.enp).
std::string DefaultContainerPath(const std::string& file);

#pragma once

#include "util/temp_file.h"

#include <cstddef>
#include <string>

// The most of a response body a download keeps. Public key files are under 2 KB; a server that
// sends more is cut off there rather than being allowed to fill the disk.
inline constexpr std::size_t kMaxDownloadBytes = 1024 * 1024;

// Fetches url ("http://" or "https://") with one GET into a new temporary file in the temp folder.
//
// The request asks for "/" + the URL's path + "?dummy=" + the current time in whole seconds (a
// path with a query of its own gets a second '?' part), and tells caches on the way not to answer
// it, so a key file replaced a moment ago is seen at once. Redirects to http and https are
// followed, at most 10 of them, and never from https to plain http. Server certificates are always
// checked: against caFile (PEM certificates of the authorities to trust) when it is given, else
// against the system's store.
//
// The answer's status is not looked at: whatever body comes, an error page included, is stored,
// and the caller judges its content. A body that breaks off is kept as far as it came, and one
// longer than kMaxDownloadBytes is cut there.
//
// Returns the file, closed, with the body in it. It is deleted when the returned object goes out
// of scope unless the caller keeps it (CTempFile::Release). Empty, leaving no file behind, when
// the URL is not accepted, no answer comes, the body is empty or the file cannot be written.
[[nodiscard]] CTempFile HttpDownloadFile(const std::string& url, const std::string& caFile = {});

// True when both files can be read and hold the same bytes.
[[nodiscard]] bool CompareFiles(const std::string& a, const std::string& b);

#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The URL prefixes the program understands, compared byte for byte and case-sensitively.
inline constexpr std::string_view kFtpScheme = "ftp://";
inline constexpr std::string_view kHttpScheme = "http://";
inline constexpr std::string_view kHttpsScheme = "https://";

// The longest URL accepted, in bytes.
inline constexpr std::size_t kMaxUrlLength = 1023;

// A URL cut into its pieces, each exactly as the user typed it: nothing is decoded, escaped or
// lower-cased, and a user name with '@' in front of the host stays part of the host.
struct UrlParts {
    std::string m_scheme; // the matched prefix, "://" included
    std::string m_host;
    std::uint16_t m_nPort = 0;
    std::string m_path; // the text after the first '/' behind the host; never empty
};

// An FTP path cut at its '/': the directories from the root down, then the remote file name.
// Two '/' in a row give an empty directory name; a '/' at the very end stays on the file name.
struct SRemotePath {
    std::vector<std::string> m_directories;
    std::string m_fileName;
};

// Cuts url into scheme, host, port and path, trying the accepted prefixes in the given order
// (known ones only: ftp://, http://, https://). Nothing when no prefix matches, when no '/'
// follows the host or nothing follows that '/', or when the URL is longer than kMaxUrlLength.
// "host:port" sets the port, read as atoi would and kept to its low 16 bits; without it the
// scheme's default port applies.
[[nodiscard]] std::optional<UrlParts> ParseUrl(std::string_view url,
                                               std::initializer_list<std::string_view> schemes);

[[nodiscard]] SRemotePath SplitRemotePath(std::string_view path);

// True when text begins with "http://" or "https://". Only the prefix is looked at.
[[nodiscard]] bool IsHttpUrl(std::string_view text);

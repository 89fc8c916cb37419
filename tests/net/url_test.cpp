#include "net/url.h"

#include <gtest/gtest.h>

namespace {

const std::initializer_list<std::string_view> kFtp {kFtpScheme};
const std::initializer_list<std::string_view> kWeb {kHttpScheme, kHttpsScheme};

struct SUrlCase {
    std::string m_url;
    std::initializer_list<std::string_view> m_schemes;
    bool m_bParsed;
    std::string m_scheme;
    std::string m_host;
    std::uint16_t m_nPort;
    std::string m_path;
    // For ftp:// rows only: the directories and file name the path splits into.
    std::vector<std::string> m_directories;
    std::string m_fileName;
    bool m_bHttp;
};

SUrlCase Rejected(std::string url, std::initializer_list<std::string_view> schemes, bool http)
{
    return {std::move(url), schemes, false, "", "", 0, "", {}, "", http};
}

SUrlCase Web(std::string url, std::string scheme, std::string host, std::uint16_t port,
             std::string path)
{
    return {std::move(url),
            kWeb,
            true,
            std::move(scheme),
            std::move(host),
            port,
            std::move(path),
            {},
            "",
            true};
}

SUrlCase Ftp(std::string url, std::string host, std::uint16_t port, std::string path,
             std::vector<std::string> directories, std::string fileName)
{
    return {std::move(url),
            kFtp,
            true,
            "ftp://",
            std::move(host),
            port,
            std::move(path),
            std::move(directories),
            std::move(fileName),
            false};
}

TEST(ParseUrl, CutsUrlsAsTheUserTypedThem)
{
    const std::string longPath(1023 - std::string("http://h/").size(), 'x');
    const SUrlCase cases[] = {
        Ftp("ftp://host/pub/keys/k.txt", "host", 21, "pub/keys/k.txt", {"pub", "keys"}, "k.txt"),
        Ftp("ftp://host:2121/k.txt", "host", 2121, "k.txt", {}, "k.txt"),
        Ftp("ftp://host/a/b/", "host", 21, "a/b/", {"a"}, "b/"),
        Ftp("ftp://host/a//b", "host", 21, "a//b", {"a", ""}, "b"),
        Ftp("ftp://host/f", "host", 21, "f", {}, "f"),
        Ftp("ftp://host//k", "host", 21, "/k", {""}, "k"),
        Web("http://host/~me/k.txt", "http://", "host", 80, "~me/k.txt"),
        Web("https://host:8443/k", "https://", "host", 8443, "k"),
        Web("https://host/k", "https://", "host", 443, "k"),
        // Nothing is decoded or recognised beyond the first '/' and the port.
        Web("http://me@host/k", "http://", "me@host", 80, "k"),
        Web("http://host/k?x=1", "http://", "host", 80, "k?x=1"),
        Web("http://host/a:b", "http://", "host", 80, "a:b"),
        Web("http://Host/%41", "http://", "Host", 80, "%41"),
        // The port is read as atoi reads and keeps its low 16 bits.
        Web("http://host:70000/k", "http://", "host", 4464, "k"),
        Web("http://host:65535/k", "http://", "host", 65535, "k"),
        Web("http://host:/k", "http://", "host", 0, "k"),
        Web("http://host: 81x/k", "http://", "host", 81, "k"),
        Web("http://host:-1/k", "http://", "host", 65535, "k"),
        Web("http://host:8080:90/k", "http://", "host", 8080, "k"),
        Web("http://h/" + longPath, "http://", "h", 80, longPath),
        // Rejected: prefixes in another case, no path, a scheme the caller does not take, too long.
        Rejected("HTTP://host/k", kWeb, false),
        Rejected("Ftp://host/f", kFtp, false),
        Rejected("http://host", kWeb, true),
        Rejected("http://host/", kWeb, true),
        Rejected("https://host:8443/", kWeb, true),
        Rejected("ftp://host", kFtp, false),
        Rejected("ftp://host/", kFtp, false),
        Rejected("https://host/k", kFtp, true),
        Rejected("ftp://host/k", kWeb, false),
        Rejected("", kWeb, false),
        Rejected("http://h/" + longPath + "x", kWeb, true),
    };
    for (const SUrlCase& expected : cases) {
        SCOPED_TRACE(expected.m_url);
        EXPECT_EQ(IsHttpUrl(expected.m_url), expected.m_bHttp);
        const std::optional<UrlParts> parts = ParseUrl(expected.m_url, expected.m_schemes);
        ASSERT_EQ(parts.has_value(), expected.m_bParsed);
        if (!parts)
            continue;
        EXPECT_EQ(parts->m_scheme, expected.m_scheme);
        EXPECT_EQ(parts->m_host, expected.m_host);
        EXPECT_EQ(parts->m_nPort, expected.m_nPort);
        EXPECT_EQ(parts->m_path, expected.m_path);
        if (expected.m_scheme != "ftp://")
            continue;
        const SRemotePath remote = SplitRemotePath(parts->m_path);
        EXPECT_EQ(remote.m_directories, expected.m_directories);
        EXPECT_EQ(remote.m_fileName, expected.m_fileName);
    }
}

} // namespace

#include "net/http_download.h"

#include "net/curl_library.h"
#include "support/child_process.h"
#include "support/local_server.h"
#include "support/scratch_folder.h"

#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const CCurlLibrary g_curlLibrary;

// One plain and one TLS web server for the whole suite, serving the same folder of files. Each
// logs the requests it gets to its own file.
struct SWebServers {
    SWebServers()
        : m_http("http_server.py", {"--root", m_folder / "www", "--log", m_folder / "http.log"}),
          m_https("http_server.py", {"--root", m_folder / "www", "--log", m_folder / "https.log",
                                     "--tls", m_folder / "tls"})
    {
        ::mkdir((m_folder / "www").c_str(), 0755);
    }

    CScratchFolder m_folder;
    CLocalServer m_http;
    CLocalServer m_https;
};

std::int32_t Now()
{
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(std::time(nullptr)));
}

std::string FirstLineOf(const std::string& text)
{
    return text.substr(0, text.find('\n'));
}

class HttpDownloadFileTest : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        // Requests for 127.0.0.1 must reach the test servers, never a proxy of the machine.
        ::setenv("no_proxy", "*", 1);
        s_servers = std::make_unique<SWebServers>();
    }
    static void TearDownTestSuite() { s_servers.reset(); }

    static std::string Http(const std::string& path)
    {
        return "http://" + s_servers->m_http.GetAddress() + "/" + path;
    }
    static std::string Https(const std::string& path)
    {
        return "https://" + s_servers->m_https.GetAddress() + "/" + path;
    }
    static std::string Served(const std::string& name)
    {
        return s_servers->m_folder / ("www/" + name);
    }
    static std::string HttpLog() { return s_servers->m_folder / "http.log"; }
    static std::string TestCa() { return s_servers->m_folder / "tls/ca.pem"; }

    static std::unique_ptr<SWebServers> s_servers;
    // The temp folder the downloads go to, fresh for each test.
    CScratchFolder m_scratch;
};

std::unique_ptr<SWebServers> HttpDownloadFileTest::s_servers;

TEST_F(HttpDownloadFileTest, AsksForThePathWithItsQueryAndTheTimeBypassingCaches)
{
    WriteWholeFile(Served("k.txt"), "key\n");
    ::mkdir(Served("dir").c_str(), 0755);
    WriteWholeFile(Served("dir/k.txt"), "other key\n");
    struct SCase {
        std::string m_path;
        std::string m_requestStart;
        std::string m_body;
    } cases[] = {
        {"k.txt", "GET /k.txt?dummy=", "key\n"},
        {"dir/k.txt?v=2", "GET /dir/k.txt?v=2?dummy=", "other key\n"},
    };
    for (const SCase& expected : cases) {
        SCOPED_TRACE(expected.m_path);
        const CLogWatch log(HttpLog());
        const std::int32_t before = Now();
        const CTempFile file = HttpDownloadFile(Http(expected.m_path));
        const std::int32_t after = Now();
        ASSERT_TRUE(file);
        EXPECT_EQ(ReadWholeFile(file.GetPath()), expected.m_body);

        const std::string request = log.NewText();
        const std::string line = FirstLineOf(request);
        ASSERT_EQ(line.rfind(expected.m_requestStart, 0), 0u) << line;
        const std::int32_t dummy = std::atoi(line.c_str() + expected.m_requestStart.size());
        EXPECT_EQ(line, expected.m_requestStart + std::to_string(dummy) + " HTTP/1.1");
        EXPECT_LE(before, dummy);
        EXPECT_LE(dummy, after);
        EXPECT_NE(request.find("\nCache-Control: no-cache\n"), std::string::npos) << request;
        EXPECT_NE(request.find("\nPragma: no-cache\n"), std::string::npos) << request;
    }
}

TEST_F(HttpDownloadFileTest, StoresTheBodyAsItCameUpToOneMebibyte)
{
    const std::string oneMebibyte(kMaxDownloadBytes, 'm');
    WriteWholeFile(Served("1023"), std::string(1023, 'x'));
    WriteWholeFile(Served("1mib"), oneMebibyte);
    WriteWholeFile(Served("over-1mib"), oneMebibyte + std::string(100000, 'o'));
    WriteWholeFile(Served("target"), "after a redirect");
    struct SCase {
        std::string m_path;
        std::string m_body;
    } cases[] = {
        {"1023", std::string(1023, 'x')},
        {"1mib", oneMebibyte},
        {"over-1mib", oneMebibyte},
        // A body that breaks off is kept as far as it came.
        {"broken", "0123456789"},
        {"redirect-to/target", "after a redirect"},
    };
    for (const SCase& expected : cases) {
        SCOPED_TRACE(expected.m_path);
        std::string path;
        {
            const CTempFile file = HttpDownloadFile(Http(expected.m_path));
            ASSERT_TRUE(file);
            path = file.GetPath();
            EXPECT_EQ(path.rfind(m_scratch.TempFolder(), 0), 0u) << path;
            EXPECT_TRUE(ReadWholeFile(path) == expected.m_body)
                << ReadWholeFile(path).size() << " bytes stored";
        }
        EXPECT_FALSE(PathExists(path));
    }
}

TEST_F(HttpDownloadFileTest, StoresAnErrorPageAsABody)
{
    const CTempFile file = HttpDownloadFile(Http("no-such-key.txt"));
    ASSERT_TRUE(file);
    EXPECT_NE(ReadWholeFile(file.GetPath()).find("404"), std::string::npos);
}

TEST_F(HttpDownloadFileTest, FailsLeavingNoFile)
{
    const CLogWatch log(HttpLog());
    const std::string cases[] = {
        Http("empty"),
        Http("loop"), // redirects without end
        "HTTP://" + s_servers->m_http.GetAddress() + "/k.txt",
        "http://" + s_servers->m_http.GetAddress(),
        "http://" + s_servers->m_http.GetAddress() + "/",
        "ftp://" + s_servers->m_http.GetAddress() + "/k.txt",
        "http://127.0.0.1:1/k.txt", // nothing listens there
        "http://me@" + s_servers->m_http.GetAddress() + "/k.txt",
        // A line end would end the request line and start a header of the URL's making.
        Http("k.txt\r\nX-Injected: 1"),
    };
    for (const std::string& url : cases) {
        SCOPED_TRACE(url);
        EXPECT_FALSE(HttpDownloadFile(url));
        EXPECT_EQ(m_scratch.CountTempFiles(), 0);
    }
    EXPECT_EQ(log.NewText().find("X-Injected"), std::string::npos);
}

TEST_F(HttpDownloadFileTest, FailsLeavingNoFileWhenTheBodyCannotBeWritten)
{
    WriteWholeFile(Served("4k"), std::string(4096, 'k'));
    EXPECT_TRUE(RunWithFileSizeLimit(1000, [&] { return !HttpDownloadFile(Http("4k")); }));
    EXPECT_EQ(m_scratch.CountTempFiles(), 0);
}

TEST_F(HttpDownloadFileTest, TrustsAServerOnlyThroughTheGivenAuthority)
{
    WriteWholeFile(Served("k.txt"), "key\n");

    {
        const CTempFile trusted = HttpDownloadFile(Https("k.txt"), TestCa());
        ASSERT_TRUE(trusted);
        EXPECT_EQ(ReadWholeFile(trusted.GetPath()), "key\n");
    }
    EXPECT_FALSE(HttpDownloadFile(Https("k.txt")));
    EXPECT_EQ(m_scratch.CountTempFiles(), 0);
}

TEST_F(HttpDownloadFileTest, NeverFollowsARedirectFromHttpsToHttp)
{
    WriteWholeFile(Served("k.txt"), "key\n");
    const CLogWatch log(HttpLog());
    EXPECT_FALSE(HttpDownloadFile(Https("redirect-to/" + Http("k.txt")), TestCa()));
    EXPECT_EQ(m_scratch.CountTempFiles(), 0);
    EXPECT_EQ(log.NewText(), "");
}

TEST(CompareFiles, TellsWhetherTwoFilesHoldTheSameBytes)
{
    CScratchFolder scratch;
    const std::string twoReads(2046, 'r');
    struct SCase {
        std::optional<std::string> m_a;
        std::optional<std::string> m_b;
        bool m_bSame;
    } cases[] = {
        {"", "", true},
        {twoReads, twoReads, true},
        {"key", "key", true},
        {twoReads, twoReads + "r", false},
        {"ke", "key", false},
        {twoReads + "a", twoReads + "b", false},
        {"key", std::nullopt, false},
        {std::nullopt, "key", false},
    };
    for (std::size_t at = 0; at < std::size(cases); ++at) {
        const SCase& test = cases[at];
        SCOPED_TRACE(at);
        const std::string a = scratch / "a";
        const std::string b = scratch / "b";
        ::unlink(a.c_str());
        ::unlink(b.c_str());
        if (test.m_a)
            WriteWholeFile(a, *test.m_a);
        if (test.m_b)
            WriteWholeFile(b, *test.m_b);
        EXPECT_EQ(CompareFiles(a, b), test.m_bSame);
        EXPECT_EQ(CompareFiles(b, a), test.m_bSame);
    }
}

} // namespace

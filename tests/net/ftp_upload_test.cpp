#include "net/ftp_upload.h"

#include "net/curl_library.h"
#include "support/local_server.h"
#include "support/scratch_folder.h"

#include <gtest/gtest.h>
#include <memory>
#include <set>
#include <sstream>
#include <sys/stat.h>

namespace {

const CCurlLibrary g_curlLibrary;

const std::string kUser = "user";
const std::string kPassword = "secret";

// One FTP server for the whole suite. Its root is ftp/ in the folder; ftp/locked is a folder
// nobody may create anything in.
struct SFtpServer {
    SFtpServer()
        : m_server("ftp_server.py", {"--root", m_folder / "ftp", "--log", m_folder / "ftp.log"})
    {
    }

    CScratchFolder m_folder;
    CLocalServer m_server;
};

// One command the server received: the client's port tells the connections apart.
struct SCommand {
    std::string m_client;
    std::string m_line;
};

// The commands the server's log gained since the object was made.
class CCommandWatch {
public:
    explicit CCommandWatch(std::string path) : m_log(std::move(path)) {}

    std::vector<SCommand> NewCommands() const
    {
        std::istringstream lines(m_log.NewText());
        std::vector<SCommand> commands;
        for (std::string line; std::getline(lines, line);) {
            const std::size_t space = line.find(' ');
            commands.push_back({line.substr(0, space), line.substr(space + 1)});
        }
        return commands;
    }

    // The logins and the directory and store commands, in the order they came.
    std::vector<std::string> NewTransferCommands() const
    {
        std::vector<std::string> lines;
        for (const SCommand& command : NewCommands()) {
            for (const char* verb : {"USER ", "CWD ", "MKD ", "STOR "}) {
                if (command.m_line.rfind(verb, 0) == 0)
                    lines.push_back(command.m_line);
            }
        }
        return lines;
    }

private:
    CLogWatch m_log;
};

class FtpUploadFileTest : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        ::setenv("no_proxy", "*", 1);
        s_server = std::make_unique<SFtpServer>();
    }
    static void TearDownTestSuite() { s_server.reset(); }

    static std::string Location(const std::string& path)
    {
        return "ftp://" + s_server->m_server.GetAddress() + "/" + path;
    }
    static std::string OnServer(const std::string& path)
    {
        return s_server->m_folder / ("ftp/" + path);
    }
    static CCommandWatch WatchCommands() { return CCommandWatch(s_server->m_folder / "ftp.log"); }

    // A local public key file to send.
    std::string LocalFile(const std::string& content)
    {
        const std::string path = m_scratch / "public.key";
        WriteWholeFile(path, content);
        return path;
    }

    static std::unique_ptr<SFtpServer> s_server;
    CScratchFolder m_scratch;
};

std::unique_ptr<SFtpServer> FtpUploadFileTest::s_server;

TEST_F(FtpUploadFileTest, WalksTheDirectoriesByAbsolutePathThenStoresOnceOverOneLogin)
{
    ASSERT_EQ(::mkdir(OnServer("pub").c_str(), 0755), 0);
    struct SCase {
        std::string m_path;
        std::vector<std::string> m_commands;
        std::string m_storedAt;
    } cases[] = {
        // /pub exists, /pub/keys does not.
        {"pub/keys/k.txt",
         {"CWD /pub", "CWD /pub/keys", "MKD /pub/keys", "CWD /pub/keys", "STOR /pub/keys/k.txt"},
         "pub/keys/k.txt"},
        {"top.txt", {"STOR /top.txt"}, "top.txt"},
        // An empty segment is a directory step of its own.
        {"e//f.txt", {"CWD /e", "MKD /e", "CWD /e", "CWD /e/", "STOR /e//f.txt"}, "e/f.txt"},
        {"sp ace/#h/k 1%.txt",
         {"CWD /sp ace", "MKD /sp ace", "CWD /sp ace", "CWD /sp ace/#h", "MKD /sp ace/#h",
          "CWD /sp ace/#h", "STOR /sp ace/#h/k 1%.txt"},
         "sp ace/#h/k 1%.txt"},
    };
    for (const SCase& expected : cases) {
        SCOPED_TRACE(expected.m_path);
        const std::string content = "key for " + expected.m_path + "\n";
        const CCommandWatch watch = WatchCommands();
        EXPECT_TRUE(FtpUploadFile(Location(expected.m_path), LocalFile(content), kUser, kPassword));

        std::vector<std::string> commands {"USER " + kUser};
        commands.insert(commands.end(), expected.m_commands.begin(), expected.m_commands.end());
        EXPECT_EQ(watch.NewTransferCommands(), commands);
        std::set<std::string> connections;
        for (const SCommand& command : watch.NewCommands())
            connections.insert(command.m_client);
        EXPECT_EQ(connections.size(), 1u);
        EXPECT_EQ(ReadWholeFile(OnServer(expected.m_storedAt)), content);
    }
}

TEST_F(FtpUploadFileTest, ReplacesTheFileStoredBefore)
{
    ASSERT_TRUE(FtpUploadFile(Location("again.txt"), LocalFile("first"), kUser, kPassword));
    ASSERT_TRUE(FtpUploadFile(Location("again.txt"), LocalFile("second"), kUser, kPassword));
    EXPECT_EQ(ReadWholeFile(OnServer("again.txt")), "second");
}

TEST_F(FtpUploadFileTest, LogsInAnonymously)
{
    const CCommandWatch watch = WatchCommands();
    ASSERT_TRUE(FtpUploadFile(Location("anon/k.txt"), LocalFile("key"), "anonymous", "me@home"));
    EXPECT_EQ(watch.NewTransferCommands().front(), "USER anonymous");
    EXPECT_EQ(ReadWholeFile(OnServer("anon/k.txt")), "key");
}

TEST_F(FtpUploadFileTest, FailsStoringNothing)
{
    const std::string local = LocalFile("key");
    const std::string address = s_server->m_server.GetAddress();
    struct SCase {
        std::string m_location;
        std::string m_localPath;
        std::string m_password;
        bool m_bConnects;
        bool m_bTriesStore = false;
    } cases[] = {
        {Location("refused/k.txt"), local, "wrong", true},
        // A folder that may not be made ends the call before any store.
        {Location("locked/new/k.txt"), local, kPassword, true},
        {Location("locked/k.txt"), local, kPassword, true, true},
        // A trailing '/' leaves no file name to store under.
        {Location("t/b/"), local, kPassword, true},
        {Location("missing/k.txt"), m_scratch / "missing.key", kPassword, false},
        {Location("folder/k.txt"), m_scratch.Path(), kPassword, false},
        {"FTP://" + address + "/k.txt", local, kPassword, false},
        {"http://" + address + "/k.txt", local, kPassword, false},
        {Location(""), local, kPassword, false},
        {"ftp://" + address, local, kPassword, false},
        // A line end would end the command and start one of the location's making.
        {Location("x\r\nDELE again.txt\r\nCWD /k.txt"), local, kPassword, false},
        {Location("k.txt"), local, "secret\r\nDELE again.txt", false},
        // Nothing listens there: the port after the host is the one used.
        {"ftp://127.0.0.1:1/k.txt", local, kPassword, false},
    };
    for (const SCase& test : cases) {
        SCOPED_TRACE(test.m_location + " " + test.m_localPath);
        const CCommandWatch watch = WatchCommands();
        EXPECT_FALSE(FtpUploadFile(test.m_location, test.m_localPath, kUser, test.m_password));
        const std::vector<SCommand> commands = watch.NewCommands();
        EXPECT_EQ(!commands.empty(), test.m_bConnects);
        int stores = 0;
        for (const SCommand& command : commands) {
            stores += command.m_line.rfind("STOR ", 0) == 0;
            EXPECT_NE(command.m_line.rfind("DELE", 0), 0u) << command.m_line;
        }
        EXPECT_EQ(stores, test.m_bTriesStore ? 1 : 0);
        EXPECT_EQ(ReadWholeFile(local), "key");
        EXPECT_EQ(m_scratch.CountTempFiles(), 0);
    }
    EXPECT_FALSE(PathExists(OnServer("refused")));
    EXPECT_FALSE(PathExists(OnServer("locked/new")));
    EXPECT_FALSE(PathExists(OnServer("locked/k.txt")));
    EXPECT_EQ(EntriesOf(OnServer("t/b")), std::vector<std::string>());
}

} // namespace

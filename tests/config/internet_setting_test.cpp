#include "config/internet_setting.h"

#include "config/base64.h"
#include "crypto/openssl_providers.h"
#include "support/child_process.h"
#include "support/machine_id_scope.h"
#include "support/run_program.h"
#include "support/scratch_folder.h"

#include <gtest/gtest.h>
#include <optional>
#include <sys/stat.h>
#include <tuple>

namespace {

// FTP location, user, password, anonymous, URL.
using Values = std::tuple<std::string, std::string, std::string, bool, std::string>;

const Values kDefaults {"", "", "", false, ""};

Values ValuesOf(const CInternetSetting& setting)
{
    return {setting.GetFtp(), setting.GetUser(), setting.GetPassword(), setting.IsAnonymous(),
            setting.GetUrl()};
}

void Apply(const Values& values, CInternetSetting& setting)
{
    setting.SetFtp(std::get<0>(values));
    setting.SetUser(std::get<1>(values));
    setting.SetPassword(std::get<2>(values));
    setting.SetAnonymous(std::get<3>(values));
    setting.SetUrl(std::get<4>(values));
}

std::vector<std::string> LinesOf(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    EXPECT_EQ(start, text.size()) << "the last line ends with CR LF";
    return lines;
}

// Sets the process's umask for the scope's lifetime.
class CUmaskScope {
public:
    explicit CUmaskScope(mode_t mask) : m_previous(::umask(mask)) {}
    ~CUmaskScope() { ::umask(m_previous); }
    CUmaskScope(const CUmaskScope&) = delete;
    CUmaskScope& operator=(const CUmaskScope&) = delete;

private:
    mode_t m_previous;
};

class InternetSettingTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_providers->IsReady()) << m_providers->GetError(); }

    std::string FilePath() const { return m_scratch / "inet.conf"; }

    Values Load()
    {
        m_setting = std::make_unique<CInternetSetting>();
        EXPECT_TRUE(m_setting->Load(m_scratch.Path()));
        return ValuesOf(*m_setting);
    }
    Values LoadFrom(const std::string& content)
    {
        WriteWholeFile(FilePath(), content);
        return Load();
    }
    void Save(const Values& values)
    {
        Load();
        Apply(values, *m_setting);
        ASSERT_TRUE(m_setting->Save());
    }

    // The value of the file's PASSWORD= line.
    std::string StoredPassword() const
    {
        for (const std::string& line : LinesOf(ReadWholeFile(FilePath()))) {
            if (line.starts_with("PASSWORD="))
                return line.substr(9);
        }
        ADD_FAILURE() << "no PASSWORD= line";
        return {};
    }

    // `openssl enc` with the stored password's settings, base64 on one line, under the current
    // machine identifier.
    SProgramResult RunPasswordTool(const char* direction, const std::string& input) const
    {
        WriteWholeFile(m_scratch / "tool-input", input);
        return RunProgram("/usr/bin/env",
                          {"openssl", "enc", direction, "-bf-cbc", "-md", "md5", "-a", "-A",
                           "-pass", "pass:" + g_szMachineId, "-provider", "legacy", "-provider",
                           "default", "-in", "tool-input"},
                          m_scratch.Path());
    }

    CScratchFolder m_scratch;
    std::optional<COpenSslProviders> m_providers {std::in_place};
    CMachineIdScope m_machineId {kKnownMachineId};
    std::unique_ptr<CInternetSetting> m_setting;
};

const std::string kLongPassword =
    "a long pass phrase with blanks, ümlauts and = + / signs " + std::string(60, '#');

TEST_F(InternetSettingTest, MissingFileGivesTheDefaultsAndAnEmptyPrivateFile)
{
    CUmaskScope permissive(0);
    EXPECT_EQ(Load(), kDefaults);
    EXPECT_EQ(ReadWholeFile(FilePath()), "");
    EXPECT_EQ(ModeOf(FilePath()), 0600u);

    Apply({"ftp://example.org/", "me", "pw", true, "http://example.org/"}, *m_setting);
    ASSERT_TRUE(m_setting->Save());
    EXPECT_EQ(ModeOf(FilePath()), 0600u);
    EXPECT_EQ(m_scratch.CountTempFiles(), 0);
}

TEST_F(InternetSettingTest, SavedSettingsReadBackExactlyFromFiveCrLfLines)
{
    const Values values {" ftp://example.org/keys/ ", " user name ", "  pw 8-15  ", true,
                         "https://example.org/ö/key.txt "};
    Save(values);

    const std::vector<std::string> lines = LinesOf(ReadWholeFile(FilePath()));
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], "FTP= ftp://example.org/keys/ ");
    EXPECT_EQ(lines[1], "USER= user name ");
    EXPECT_TRUE(lines[2].starts_with("PASSWORD=U2FsdGVkX1")) << lines[2];
    EXPECT_EQ(lines[2].size(), 9u + 44u) << "an 11-byte password makes a 32-byte block";
    EXPECT_EQ(lines[3], "ANONYMOUS=1");
    EXPECT_EQ(lines[4], "URL=https://example.org/ö/key.txt ");
    EXPECT_EQ(Load(), values);

    Save(kDefaults);
    EXPECT_EQ(StoredPassword().size(), 32u) << "even an empty password is protected";
    EXPECT_EQ(Load(), kDefaults);
}

TEST_F(InternetSettingTest, StoredPasswordDecryptsWithTheOpensslTool)
{
    for (const std::string& password :
         {std::string(), std::string(kKnownPassword), kLongPassword}) {
        Save({"", "", password, false, ""});
        const SProgramResult tool = RunPasswordTool("-d", StoredPassword());
        EXPECT_EQ(tool.m_nExitStatus, 0) << tool.m_err;
        EXPECT_EQ(tool.m_out, password);
    }
}

TEST_F(InternetSettingTest, PasswordMadeByTheOpensslToolLoads)
{
    for (const std::string& password :
         {std::string(), std::string(kKnownPassword), kLongPassword}) {
        const SProgramResult tool = RunPasswordTool("-e", password);
        ASSERT_EQ(tool.m_nExitStatus, 0) << tool.m_err;
        const std::string stored = tool.m_out.substr(0, tool.m_out.find('\n'));
        EXPECT_EQ(LoadFrom("FTP=f\r\nPASSWORD=" + stored + "\r\n"),
                  (Values {"f", "", password, false, ""}));
    }
}

TEST_F(InternetSettingTest, AnotherComputerLoadsAnEmptyPasswordAndEverythingElse)
{
    const std::string content = std::string("FTP=ftp://example.org/\r\nUSER=me\r\nPASSWORD=") +
                                kKnownBlockBase64 +
                                "\r\nANONYMOUS=1\r\nURL=http://example.org/k\r\n";
    EXPECT_EQ(LoadFrom(content),
              (Values {"ftp://example.org/", "me", kKnownPassword, true, "http://example.org/k"}));

    CMachineIdScope otherComputer("NO_ADAPTER_FOUND");
    EXPECT_EQ(LoadFrom(content),
              (Values {"ftp://example.org/", "me", "", true, "http://example.org/k"}));

    // The next save there writes the empty password in its protected form.
    ASSERT_TRUE(m_setting->Save());
    const SProgramResult tool = RunPasswordTool("-d", StoredPassword());
    EXPECT_EQ(tool.m_nExitStatus, 0) << tool.m_err;
    EXPECT_EQ(tool.m_out, "");
}

TEST_F(InternetSettingTest, ParsesForgivingly)
{
    const std::string known = std::string("PASSWORD=") + kKnownBlockBase64 + "\r\n";
    struct Case {
        const char* what;
        std::string content;
        Values values;
    };
    const Case cases[] = {
        {"empty file", "", kDefaults},
        {"anonymous 1", "ANONYMOUS=1\r\n", {"", "", "", true, ""}},
        {"anonymous true", "ANONYMOUS=true\r\n", kDefaults},
        {"anonymous 01", "ANONYMOUS=01\r\n", kDefaults},
        {"anonymous blank and 1", "ANONYMOUS= 1\r\n", kDefaults},
        {"anonymous 1 and blank", "ANONYMOUS=1 \r\n", kDefaults},
        {"anonymous empty", "ANONYMOUS=\r\n", kDefaults},
        {"plain-text password", "PASSWORD=hunter2\r\n", kDefaults},
        {"empty password", "PASSWORD=\r\n", kDefaults},
        {"a bad password keeps the one before",
         known + "PASSWORD=!!!!\r\nPASSWORD=\r\n",
         {"", "", kKnownPassword, false, ""}},
        {"later keys win, in any order",
         "URL=u1\r\nUSER=a\r\nFTP=f1\r\nURL=u2\r\nUSER=b\r\nFTP=f2\r\n",
         {"f2", "b", "", false, "u2"}},
        {"keys match case and column", "ftp=x\r\n FTP=y\r\nUser=z\r\nUSER =w\r\n", kDefaults},
        {"other lines are ignored",
         "[0]\r\nTOTAL=1\r\nNAME=n\r\nUSER=me\r\n",
         {"", "me", "", false, ""}},
        {"LF line ends",
         "FTP=f\nUSER=u\n" + std::string("PASSWORD=") + kKnownBlockBase64 + "\nANONYMOUS=1\nURL=w",
         {"f", "u", kKnownPassword, true, "w"}},
        {"CR line ends", "FTP=f\rUSER=u\rANONYMOUS=1\rURL=w\r", {"f", "u", "", true, "w"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(LoadFrom(c.content), c.values) << c.what;
}

TEST_F(InternetSettingTest, TwoSavesDifferOnlyInThePasswordLine)
{
    const Values values {"ftp://example.org/", "me", kKnownPassword, false, "http://example.org/"};
    Save(values);
    std::vector<std::string> first = LinesOf(ReadWholeFile(FilePath()));
    ASSERT_TRUE(m_setting->Save());
    std::vector<std::string> second = LinesOf(ReadWholeFile(FilePath()));
    ASSERT_EQ(first.size(), 5u);
    ASSERT_EQ(second.size(), 5u);
    EXPECT_NE(first[2], second[2]);
    first.erase(first.begin() + 2);
    second.erase(second.begin() + 2);
    EXPECT_EQ(first, second);
    EXPECT_EQ(Load(), values);
}

TEST_F(InternetSettingTest, LoadMakesAWiderFilePrivateButAReadOnlyLoadTouchesNothing)
{
    const std::string content = "FTP=f\r\n";
    WriteWholeFile(FilePath(), content);
    ASSERT_EQ(::chmod(FilePath().c_str(), 0644), 0);

    CInternetSetting readOnly;
    ASSERT_TRUE(readOnly.LoadReadOnly(m_scratch.Path()));
    EXPECT_EQ(readOnly.GetFtp(), "f");
    EXPECT_EQ(ModeOf(FilePath()), 0644u);
    EXPECT_FALSE(readOnly.Save());
    EXPECT_EQ(ReadWholeFile(FilePath()), content);

    EXPECT_EQ(Load(), (Values {"f", "", "", false, ""}));
    EXPECT_EQ(ModeOf(FilePath()), 0600u);
    EXPECT_EQ(ReadWholeFile(FilePath()), content);
}

TEST_F(InternetSettingTest, SaveWithoutTheLegacyProviderFailsAndKeepsTheFile)
{
    Save({"f", "u", kKnownPassword, false, "w"});
    const std::string before = ReadWholeFile(FilePath());
    m_providers.reset();

    m_setting->SetPassword("new");
    EXPECT_FALSE(m_setting->Save());
    EXPECT_EQ(ReadWholeFile(FilePath()), before);
    EXPECT_EQ(m_scratch.CountTempFiles(), 0);
}

TEST_F(InternetSettingTest, WriteFailurePartWayLeavesTheOldFile)
{
    Save({"f", "u", kKnownPassword, false, "w"});
    const std::string before = ReadWholeFile(FilePath());
    m_setting->SetUrl("https://example.org/" + std::string(4096, 'k'));
    EXPECT_FALSE(RunWithFileSizeLimit(1024, [&] { return m_setting->Save(); }));
    EXPECT_EQ(ReadWholeFile(FilePath()), before);
    EXPECT_EQ(m_scratch.CountTempFiles(), 0);
}

TEST_F(InternetSettingTest, ValueWithALineBreakIsNotSaved)
{
    const Values saved {"f", "u", kKnownPassword, false, "w"};
    Save(saved);
    const std::string before = ReadWholeFile(FilePath());
    const Values cases[] = {
        {"ftp://x/\r\nURL=http://evil/", "u", "", false, "w"},
        {"f", "u\n", "", false, "w"},
        {"f", "u", "", false, "http://x/\rFTP=ftp://evil/"},
    };
    for (const Values& values : cases) {
        Apply(values, *m_setting);
        EXPECT_FALSE(m_setting->Save()) << testing::PrintToString(values);
        EXPECT_EQ(ReadWholeFile(FilePath()), before);
    }
    // A password may hold anything: it is stored encrypted.
    Apply({"f", "u", "line\r\nbreak", false, "w"}, *m_setting);
    ASSERT_TRUE(m_setting->Save());
    EXPECT_EQ(Load(), (Values {"f", "u", "line\r\nbreak", false, "w"}));
}

} // namespace

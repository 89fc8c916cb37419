#include "support/local_server.h"
#include "support/run_program.h"
#include "support/scratch_folder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

// Runs the real `pellmar` program, as a user would from a shell.
class PellmarCommandTest : public ::testing::Test {
protected:
    // Two key pairs made once for the whole suite with `pellmar keygen` itself.
    static void SetUpTestSuite()
    {
        s_keys = new CScratchFolder;
        for (const char* name : {"alice", "bob"}) {
            const std::string base = *s_keys / name;
            const SProgramResult made = RunProgram(
                PELLMAR_PROGRAM, {"keygen", "--out", base + ".key", "--public-out", base + ".pub"},
                s_keys->Path(), {{"XDG_DATA_HOME", *s_keys / "data"}});
            ASSERT_EQ(made.m_nExitStatus, 0) << made.m_err;
        }
    }
    static void TearDownTestSuite()
    {
        delete s_keys;
        s_keys = nullptr;
    }

    static std::string KeyOf(const char* name) { return *s_keys / (std::string(name) + ".key"); }
    static std::string PublicKeyOf(const char* name)
    {
        return *s_keys / (std::string(name) + ".pub");
    }
    // The key GUID, from the public key file's first line "guid=<GUID>".
    static std::string GuidOf(const char* name)
    {
        return ReadWholeFile(PublicKeyOf(name)).substr(5, 32);
    }

    SProgramResult Pellmar(const std::vector<std::string>& arguments,
                           const std::string& folder = {})
    {
        // no_proxy: requests for the local test server must never go to a proxy of the machine.
        return RunProgram(PELLMAR_PROGRAM, arguments, folder.empty() ? m_scratch.Path() : folder,
                          {{"XDG_DATA_HOME", DataHome()}, {"no_proxy", "*"}});
    }
    std::string DataHome() const { return m_scratch / "data"; }
    std::string DataFolder() const { return DataHome() + "/Talvex/pellmar"; }

    // Registers name's key pair as one of the user's own, as the desktop program does.
    void InstallOwnKeyPair(const char* name, const std::string& keysConf)
    {
        ASSERT_EQ(::mkdir(DataHome().c_str(), 0700), 0);
        for (const std::string& folder :
             {DataHome() + "/Talvex", DataFolder(), DataFolder() + "/keys"})
            ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
        WriteWholeFile(DataFolder() + "/keys/" + GuidOf(name) + ".key", ReadWholeFile(KeyOf(name)));
        WriteWholeFile(DataFolder() + "/keys.conf", keysConf);
    }

    CScratchFolder m_scratch;
    static CScratchFolder* s_keys;
};

CScratchFolder* PellmarCommandTest::s_keys = nullptr;

TEST_F(PellmarCommandTest, KeygenWritesBothFilesAndNeverReplacesOne)
{
    EXPECT_EQ(ReadWholeFile(KeyOf("alice")).substr(0, 4), "TVPS");
    EXPECT_EQ(ReadWholeFile(KeyOf("alice")).substr(8, 32), GuidOf("alice"));
    EXPECT_NE(GuidOf("alice"), GuidOf("bob"));

    WriteWholeFile(m_scratch / "taken", "mine");
    const SProgramResult overPair = Pellmar({"keygen", "--out", "taken"});
    const SProgramResult overPublic =
        Pellmar({"keygen", "--out", "new.key", "--public-out", "taken"});

    for (const SProgramResult& refused : {overPair, overPublic}) {
        EXPECT_EQ(refused.m_nExitStatus, 1);
        EXPECT_EQ(refused.m_err, "pellmar: taken exists; keygen never replaces a file\n");
    }
    EXPECT_EQ(ReadWholeFile(m_scratch / "taken"), "mine");
    EXPECT_FALSE(PathExists(m_scratch / "new.key"));
}

TEST_F(PellmarCommandTest, EncryptsBesideTheFileAndDecryptsUnderItsOwnName)
{
    ASSERT_EQ(::mkdir((m_scratch / "docs").c_str(), 0755), 0);
    ASSERT_EQ(::mkdir((m_scratch / "inbox").c_str(), 0755), 0);
    const std::string content(20000, 'r');
    WriteWholeFile(m_scratch / "docs/report.doc", content);

    const SProgramResult encrypted =
        Pellmar({"encrypt", "--to", PublicKeyOf("bob"), "docs/report.doc"});
    ASSERT_EQ(encrypted.m_nExitStatus, 0) << encrypted.m_err;
    ASSERT_TRUE(PathExists(m_scratch / "docs/report.enp"));

    const SProgramResult decrypted = Pellmar(
        {"decrypt", "--key", KeyOf("bob"), m_scratch / "docs/report.enp"}, m_scratch / "inbox");
    ASSERT_EQ(decrypted.m_nExitStatus, 0) << decrypted.m_err;
    EXPECT_EQ(decrypted.m_out, "Restored report.doc\n");
    EXPECT_EQ(ReadWholeFile(m_scratch / "inbox/report.doc"), content);
}

TEST_F(PellmarCommandTest, GivesSharedFilesNormalPermissionsAndKeepsKeysPrivate)
{
    const mode_t umask = ::umask(022);
    ::umask(umask);
    WriteWholeFile(m_scratch / "plain.txt", "x");
    ASSERT_EQ(Pellmar({"encrypt", "--to", PublicKeyOf("alice"), "plain.txt"}).m_nExitStatus, 0);

    EXPECT_EQ(ModeOf(KeyOf("alice")), 0600u);
    EXPECT_EQ(ModeOf(PublicKeyOf("alice")), 0666u & ~umask);
    EXPECT_EQ(ModeOf(m_scratch / "plain.enp"), 0666u & ~umask);
}

TEST_F(PellmarCommandTest, FetchesTheRecipientsPublicKeyByUrlAndKeepsNoCopy)
{
    const CLocalServer web("http_server.py",
                           {"--root", s_keys->Path(), "--log", m_scratch / "web.log"});
    const std::string site = "http://" + web.GetAddress() + "/";
    WriteWholeFile(m_scratch / "note.txt", "by url");

    const SProgramResult fetched = Pellmar({"encrypt", "--to", site + "bob.pub", "note.txt"});
    ASSERT_EQ(fetched.m_nExitStatus, 0) << fetched.m_err;
    const SProgramResult notAKey =
        Pellmar({"encrypt", "--force", "--to", site + "missing.pub", "note.txt"});
    EXPECT_EQ(notAKey.m_nExitStatus, 1);
    EXPECT_EQ(notAKey.m_err, "pellmar: " + site + "missing.pub does not hold a public key file\n");
    EXPECT_EQ(EntriesOf(DataFolder() + "/temp"), std::vector<std::string> {});

    ASSERT_EQ(::unlink((m_scratch / "note.txt").c_str()), 0);
    ASSERT_EQ(Pellmar({"decrypt", "--key", KeyOf("bob"), "note.enp"}).m_nExitStatus, 0);
    EXPECT_EQ(ReadWholeFile(m_scratch / "note.txt"), "by url");
}

TEST_F(PellmarCommandTest, ReplacesAnExistingOutputOnlyWhenForced)
{
    WriteWholeFile(m_scratch / "README", "plain");
    WriteWholeFile(m_scratch / "README.enp", "old container");
    WriteWholeFile(m_scratch / "restored", "old");

    const SProgramResult refusedEncrypt =
        Pellmar({"encrypt", "--to", PublicKeyOf("alice"), "README"});
    EXPECT_EQ(refusedEncrypt.m_nExitStatus, 1);
    EXPECT_EQ(refusedEncrypt.m_err, "pellmar: README.enp exists; add --force to replace it\n");
    EXPECT_EQ(ReadWholeFile(m_scratch / "README.enp"), "old container");

    ASSERT_EQ(Pellmar({"encrypt", "--force", "--to", PublicKeyOf("alice"), "README"}).m_nExitStatus,
              0);
    const SProgramResult refusedDecrypt =
        Pellmar({"decrypt", "--key", KeyOf("alice"), "--output", "restored", "README.enp"});
    EXPECT_EQ(refusedDecrypt.m_nExitStatus, 1);
    EXPECT_EQ(refusedDecrypt.m_err, "pellmar: restored exists; add --force to replace it\n");
    EXPECT_EQ(ReadWholeFile(m_scratch / "restored"), "old");

    const SProgramResult forced = Pellmar(
        {"decrypt", "--key", KeyOf("alice"), "--output", "restored", "--force", "README.enp"});
    ASSERT_EQ(forced.m_nExitStatus, 0) << forced.m_err;
    EXPECT_EQ(ReadWholeFile(m_scratch / "restored"), "plain");
}

TEST_F(PellmarCommandTest, DecryptsWithTheUsersOwnKeyPairsWithoutWritingTheirList)
{
    // A list that announces more entries than it holds would be mended by a load that writes.
    const std::string keysConf =
        "TOTAL=3\r\n[0]\r\nNAME=Alice\r\nFILE=" + GuidOf("alice") + ".key\r\n";
    InstallOwnKeyPair("alice", keysConf);
    WriteWholeFile(m_scratch / "note.txt", "for alice");
    ASSERT_EQ(Pellmar({"encrypt", "--to", PublicKeyOf("alice"), "note.txt"}).m_nExitStatus, 0);
    ASSERT_EQ(::unlink((m_scratch / "note.txt").c_str()), 0);

    const SProgramResult decrypted = Pellmar({"decrypt", "note.enp"});
    ASSERT_EQ(decrypted.m_nExitStatus, 0) << decrypted.m_err;
    EXPECT_EQ(ReadWholeFile(m_scratch / "note.txt"), "for alice");
    EXPECT_EQ(ReadWholeFile(DataFolder() + "/keys.conf"), keysConf);
}

TEST_F(PellmarCommandTest, SaysWhichKeyIsMissingAndWritesNothing)
{
    WriteWholeFile(m_scratch / "note.txt", "for bob");
    ASSERT_EQ(Pellmar({"encrypt", "--to", PublicKeyOf("bob"), "--output", "note.enp", "note.txt"})
                  .m_nExitStatus,
              0);
    ASSERT_EQ(::unlink((m_scratch / "note.txt").c_str()), 0);

    const SProgramResult withOtherKey = Pellmar({"decrypt", "--key", KeyOf("alice"), "note.enp"});
    EXPECT_EQ(withOtherKey.m_nExitStatus, 1);
    EXPECT_EQ(withOtherKey.m_err,
              "pellmar: cannot decrypt note.enp: the file was encrypted for key " + GuidOf("bob") +
                  ", but " + KeyOf("alice") + " holds another key\n");

    const SProgramResult withoutOwnKeys = Pellmar({"decrypt", "note.enp"});
    EXPECT_EQ(withoutOwnKeys.m_nExitStatus, 1);
    EXPECT_EQ(withoutOwnKeys.m_err,
              "pellmar: cannot decrypt note.enp: no key pair of yours for key " + GuidOf("bob") +
                  ": import the key pair this file was encrypted for, or name "
                  "it with --key\n");
    EXPECT_FALSE(PathExists(m_scratch / "note.txt"));
    EXPECT_FALSE(PathExists(DataFolder() + "/keys.conf")) << "the list is read, never made";
}

TEST_F(PellmarCommandTest, RefusesFilesOfTheWrongKind)
{
    WriteWholeFile(m_scratch / "plain.txt", "not a key, not a container");
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"encrypt", "--to", "plain.txt", "plain.txt"},
         "pellmar: plain.txt is not a public key file\n"},
        {{"encrypt", "--to", KeyOf("alice"), "plain.txt"},
         "pellmar: " + KeyOf("alice") + " is not a public key file\n"},
        {{"decrypt", "--key", PublicKeyOf("alice"), "plain.txt"},
         "pellmar: " + PublicKeyOf("alice") + " is not a key pair file\n"},
    };
    for (const auto& [arguments, message] : cases) {
        const SProgramResult refused = Pellmar(arguments);
        EXPECT_EQ(refused.m_nExitStatus, 1);
        EXPECT_EQ(refused.m_err, message);
    }
    const SProgramResult notAContainer = Pellmar({"decrypt", "--key", KeyOf("alice"), "plain.txt"});
    EXPECT_EQ(notAContainer.m_nExitStatus, 1);
    EXPECT_EQ(notAContainer.m_err.rfind("pellmar: cannot decrypt plain.txt: ", 0), 0u)
        << notAContainer.m_err;
}

// Several files in one call, each to its default output or all into one folder. The files are
// large enough that a progress bar would have been drawn, had stderr been a terminal: in a pipe
// there is none.
TEST_F(PellmarCommandTest, EncryptsAndDecryptsSeveralFilesInOneCall)
{
    for (const char* folder : {"a", "b", "sealed", "restored"})
        ASSERT_EQ(::mkdir((m_scratch / folder).c_str(), 0755), 0);
    const std::vector<std::pair<std::string, std::string>> files = {
        {"a/report.doc", std::string(3 << 20, 'a')},
        {"b/notes.txt", std::string(2 << 20, 'b')},
        {"README", "short"},
    };
    for (const auto& [name, content] : files)
        WriteWholeFile(m_scratch / name, content);

    const SProgramResult besideEach =
        Pellmar({"encrypt", "--to", PublicKeyOf("bob"), "a/report.doc", "b/notes.txt", "README"});
    ASSERT_EQ(besideEach.m_nExitStatus, 0) << besideEach.m_err;
    EXPECT_EQ(besideEach.m_err, "");
    for (const char* container : {"a/report.enp", "b/notes.enp", "README.enp"})
        EXPECT_TRUE(PathExists(m_scratch / container)) << container;

    const SProgramResult intoFolder =
        Pellmar({"encrypt", "--to", PublicKeyOf("bob"), "--output-dir", "sealed", "a/report.doc",
                 "b/notes.txt", "README"});
    ASSERT_EQ(intoFolder.m_nExitStatus, 0) << intoFolder.m_err;
    EXPECT_EQ(EntriesOf(m_scratch / "sealed"),
              (std::vector<std::string> {"README.enp", "notes.enp", "report.enp"}));

    const SProgramResult decrypted =
        Pellmar({"decrypt", "--key", KeyOf("bob"), "--output-dir", "restored", "sealed/report.enp",
                 "sealed/notes.enp", "sealed/README.enp"});
    ASSERT_EQ(decrypted.m_nExitStatus, 0) << decrypted.m_err;
    EXPECT_EQ(decrypted.m_err, "");
    EXPECT_EQ(decrypted.m_out, "Restored restored/report.doc\nRestored restored/notes.txt\n"
                               "Restored restored/README\n");
    for (const auto& [name, content] : files) {
        const std::string restored = m_scratch / ("restored/" + name.substr(name.find('/') + 1));
        EXPECT_EQ(ReadWholeFile(restored), content) << restored;
    }
    EXPECT_EQ(EntriesOf(DataFolder() + "/temp"), std::vector<std::string> {});
}

// A file that fails is reported by name and the others go on; the exit status says that one
// failed.
TEST_F(PellmarCommandTest, OneFailingFileDoesNotStopTheOthers)
{
    WriteWholeFile(m_scratch / "good.txt", "good");
    WriteWholeFile(m_scratch / "taken.txt", "taken");
    WriteWholeFile(m_scratch / "taken.enp", "in the way");

    const SProgramResult encrypted =
        Pellmar({"encrypt", "--to", PublicKeyOf("alice"), "missing.txt", "taken.txt", "good.txt"});
    EXPECT_EQ(encrypted.m_nExitStatus, 1);
    EXPECT_NE(encrypted.m_err.find("pellmar: taken.enp exists; add --force to replace it\n"),
              std::string::npos)
        << encrypted.m_err;
    EXPECT_NE(encrypted.m_err.find("pellmar: cannot encrypt missing.txt: "), std::string::npos)
        << encrypted.m_err;
    EXPECT_EQ(ReadWholeFile(m_scratch / "taken.enp"), "in the way");
    EXPECT_FALSE(PathExists(m_scratch / "missing.enp"));
    ASSERT_TRUE(PathExists(m_scratch / "good.enp"));

    ASSERT_EQ(::unlink((m_scratch / "good.txt").c_str()), 0);
    const SProgramResult decrypted =
        Pellmar({"decrypt", "--key", KeyOf("alice"), "taken.txt", "good.enp"});
    EXPECT_EQ(decrypted.m_nExitStatus, 1);
    EXPECT_EQ(decrypted.m_err.rfind("pellmar: cannot decrypt taken.txt: ", 0), 0u)
        << decrypted.m_err;
    EXPECT_EQ(decrypted.m_out, "Restored good.txt\n");
    EXPECT_EQ(ReadWholeFile(m_scratch / "good.txt"), "good");
    EXPECT_EQ(EntriesOf(DataFolder() + "/temp"), std::vector<std::string> {});
}

// Two files of one call that would have the same output: the second is refused, even with
// --force, instead of replacing what the first made.
TEST_F(PellmarCommandTest, TwoFilesOfOneCallNeverWriteTheSameOutput)
{
    for (const char* folder : {"a", "b", "out", "back"})
        ASSERT_EQ(::mkdir((m_scratch / folder).c_str(), 0755), 0);
    WriteWholeFile(m_scratch / "a/same.txt", "first");
    WriteWholeFile(m_scratch / "b/same.txt", "second");

    const SProgramResult encrypted = Pellmar({"encrypt", "--force", "--to", PublicKeyOf("alice"),
                                              "--output-dir", "out", "a/same.txt", "b/same.txt"});
    EXPECT_EQ(encrypted.m_nExitStatus, 1);
    EXPECT_EQ(
        encrypted.m_err,
        "pellmar: cannot encrypt b/same.txt: out/same.enp was written by this call already\n");

    const SProgramResult decrypted =
        Pellmar({"decrypt", "--force", "--key", KeyOf("alice"), "--output-dir", "back",
                 "out/same.enp", "out/./same.enp"});
    EXPECT_EQ(decrypted.m_nExitStatus, 1);
    EXPECT_EQ(decrypted.m_err, "pellmar: back/same.txt was written by this call already\n");
    EXPECT_EQ(ReadWholeFile(m_scratch / "back/same.txt"), "first");
}

TEST_F(PellmarCommandTest, OutputFolderMustBeThere)
{
    WriteWholeFile(m_scratch / "note.txt", "x");
    const SProgramResult encrypt =
        Pellmar({"encrypt", "--to", PublicKeyOf("alice"), "--output-dir", "nowhere", "note.txt"});
    EXPECT_EQ(encrypt.m_nExitStatus, 1);
    EXPECT_EQ(encrypt.m_err, "pellmar: nowhere is not a folder\n");
    const SProgramResult decrypt =
        Pellmar({"decrypt", "--key", KeyOf("alice"), "--output-dir", "note.txt", "note.enp"});
    EXPECT_EQ(decrypt.m_nExitStatus, 1);
    EXPECT_EQ(decrypt.m_err, "pellmar: note.txt is not a folder\n");
}

TEST_F(PellmarCommandTest, UsageErrorsExitWithTwoAndShowTheUsage)
{
    const SProgramResult wrong = Pellmar({"encrypt", "--to", PublicKeyOf("alice")});
    EXPECT_EQ(wrong.m_nExitStatus, 2);
    EXPECT_EQ(
        wrong.m_err.rfind("pellmar: encrypt needs at least one FILE\nusage: pellmar keygen", 0), 0u)
        << wrong.m_err;

    const SProgramResult help = Pellmar({"--help"});
    EXPECT_EQ(help.m_nExitStatus, 0);
    EXPECT_EQ(help.m_out.rfind("usage: pellmar", 0), 0u);
}

} // namespace

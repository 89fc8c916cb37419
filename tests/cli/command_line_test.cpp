#include "cli/command_line.h"

#include <gtest/gtest.h>

namespace {

using Arguments = std::vector<std::string>;

SCommandLine Parsed(const Arguments& arguments)
{
    std::string error;
    std::optional<SCommandLine> command = ParseCommandLine(arguments, error);
    EXPECT_TRUE(command) << error;
    return command.value_or(SCommandLine {});
}

TEST(ParseCommandLine, ReadsEachCommandsOptionsInEitherForm)
{
    const SCommandLine keygen = Parsed({"keygen", "--out=me.key", "--public-out", "me.pub"});
    EXPECT_EQ(keygen.m_command, ECommand::KeyGen);
    EXPECT_EQ(keygen.m_keyPairOut, "me.key");
    EXPECT_EQ(keygen.m_publicKeyOut, "me.pub");

    const SCommandLine encrypt =
        Parsed({"encrypt", "--force", "--to", "bob.pub", "--", "-odd name"});
    EXPECT_EQ(encrypt.m_command, ECommand::Encrypt);
    EXPECT_EQ(encrypt.m_recipient, "bob.pub");
    EXPECT_TRUE(encrypt.m_bForce);
    EXPECT_EQ(encrypt.m_files, Arguments {"-odd name"});

    const SCommandLine decrypt = Parsed({"decrypt", "in.enp", "--output", "out.txt"});
    EXPECT_EQ(decrypt.m_command, ECommand::Decrypt);
    EXPECT_EQ(decrypt.m_output, "out.txt");
    EXPECT_FALSE(decrypt.m_bForce);
    EXPECT_FALSE(decrypt.m_bQuiet);
    EXPECT_EQ(decrypt.m_files, Arguments {"in.enp"});

    const SCommandLine several =
        Parsed({"encrypt", "--to=bob.pub", "a.doc", "--quiet", "--output-dir", "out", "b.doc"});
    EXPECT_EQ(several.m_outputDir, "out");
    EXPECT_TRUE(several.m_bQuiet);
    EXPECT_EQ(several.m_files, (Arguments {"a.doc", "b.doc"}));
    EXPECT_EQ(Parsed({"decrypt", "--output-dir=out", "a.enp", "b.enp"}).m_files,
              (Arguments {"a.enp", "b.enp"}));

    EXPECT_EQ(Parsed({}).m_command, ECommand::Help);
    EXPECT_EQ(Parsed({"--help"}).m_command, ECommand::Help);
}

TEST(ParseCommandLine, RefusesWhatMakesNoCommand)
{
    const std::pair<Arguments, std::string> cases[] = {
        {{"shred"}, "unknown command shred"},
        {{"keygen"}, "keygen needs --out KEYPAIR_FILE"},
        {{"keygen", "--out"}, "--out needs a value"},
        {{"keygen", "--out="}, "--out needs a value"},
        {{"keygen", "--out", "k", "extra"}, "keygen takes no file"},
        {{"keygen", "--out", "k", "--force"}, "unknown option --force"},
        {{"encrypt", "f"}, "encrypt needs --to RECIPIENT"},
        {{"encrypt", "--to", "r"}, "encrypt needs at least one FILE"},
        {{"encrypt", "--to", "r", "--output", "o", "a", "b"},
         "--output names the output of one file; use --output-dir DIR for several"},
        {{"encrypt", "--to", "r", "--force=yes", "f"}, "--force takes no value"},
        {{"encrypt", "--to", "r", "--quiet=no", "f"}, "--quiet takes no value"},
        {{"encrypt", "--to", "r", "--output-dir", "f"}, "encrypt needs at least one FILE"},
        {{"decrypt"}, "decrypt needs at least one CONTAINER"},
        {{"decrypt", "--output", "o", "a", "b"},
         "--output names the output of one file; use --output-dir DIR for several"},
        {{"decrypt", "--output", "o", "--output-dir", "d", "c"},
         "--output and --output-dir cannot go together"},
        {{"decrypt", "--output-dir=", "c"}, "--output-dir needs a value"},
        {{"decrypt", "--to", "r", "c"}, "unknown option --to"},
    };
    for (const auto& [arguments, expected] : cases) {
        std::string error;
        EXPECT_FALSE(ParseCommandLine(arguments, error)) << testing::PrintToString(arguments);
        EXPECT_EQ(error, expected) << testing::PrintToString(arguments);
    }
}

} // namespace

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
    EXPECT_EQ(decrypt.m_files, Arguments {"in.enp"});

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
        {{"encrypt", "--to", "r"}, "encrypt takes exactly one FILE"},
        {{"encrypt", "--to", "r", "a", "b"}, "encrypt takes exactly one FILE"},
        {{"encrypt", "--to", "r", "--force=yes", "f"}, "--force takes no value"},
        {{"decrypt"}, "decrypt takes exactly one CONTAINER"},
        {{"decrypt", "--to", "r", "c"}, "unknown option --to"},
    };
    for (const auto& [arguments, expected] : cases) {
        std::string error;
        EXPECT_FALSE(ParseCommandLine(arguments, error)) << testing::PrintToString(arguments);
        EXPECT_EQ(error, expected) << testing::PrintToString(arguments);
    }
}

} // namespace

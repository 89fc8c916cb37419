#include "config/protected_text.h"

#include "config/base64.h"
#include "crypto/openssl_providers.h"
#include "support/machine_id_scope.h"

#include <gtest/gtest.h>

namespace {

using Bytes = std::vector<unsigned char>;

const Bytes kKnownBlock = Base64Decode(kKnownBlockBase64);

class ProtectedTextTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_providers.IsReady()) << m_providers.GetError(); }

    COpenSslProviders m_providers;
    CMachineIdScope m_machineId {kKnownMachineId};
};

TEST_F(ProtectedTextTest, ReadsTheBlockTheOpensslToolMade)
{
    ASSERT_EQ(kKnownBlock.size(), 32u);
    EXPECT_EQ(UnprotectText(kKnownBlock), kKnownPassword);
    for (const char* otherId : {"NO_ADAPTER_FOUND", "0800271A2B3C0001", "02FC000000010000"}) {
        CMachineIdScope otherComputer(otherId);
        EXPECT_EQ(UnprotectText(kKnownBlock), std::nullopt) << otherId;
    }
}

TEST_F(ProtectedTextTest, BlockHoldsHeaderSaltAndPaddedCipherText)
{
    const std::pair<std::string, std::size_t> cases[] = {
        {"", 24},
        {"a", 24},
        {"1234567", 24},
        {"12345678", 32},
        {"p@ss wörd 15by", 32},
        {std::string(16, 'x'), 40},
        {std::string(100, 'y'), 120},
    };
    for (const auto& [text, size] : cases) {
        const std::optional<Bytes> block = ProtectText(text);
        ASSERT_TRUE(block) << text;
        EXPECT_EQ(block->size(), size) << text;
        EXPECT_EQ(std::string(block->begin(), block->begin() + 8), "Salted__");
        EXPECT_EQ(UnprotectText(*block), text);
    }
}

TEST_F(ProtectedTextTest, EveryBlockHasItsOwnSalt)
{
    const std::optional<Bytes> first = ProtectText(kKnownPassword);
    const std::optional<Bytes> second = ProtectText(kKnownPassword);
    ASSERT_TRUE(first && second);
    EXPECT_NE(Bytes(first->begin() + 8, first->begin() + 16),
              Bytes(second->begin() + 8, second->begin() + 16));
    EXPECT_EQ(UnprotectText(*first), kKnownPassword);
    EXPECT_EQ(UnprotectText(*second), kKnownPassword);
}

TEST_F(ProtectedTextTest, RejectsBytesThatAreNoBlock)
{
    Bytes wrongMagic = kKnownBlock;
    wrongMagic[0] = 's';
    const std::pair<const char*, Bytes> cases[] = {
        {"nothing", {}},
        {"shorter than the header", Bytes(kKnownBlock.begin(), kKnownBlock.begin() + 15)},
        {"header and salt only", Bytes(kKnownBlock.begin(), kKnownBlock.begin() + 16)},
        {"cipher text cut short", Bytes(kKnownBlock.begin(), kKnownBlock.end() - 1)},
        {"cipher text with a byte too many",
         [] {
             Bytes b = kKnownBlock;
             b.push_back(0);
             return b;
         }()},
        {"another magic", wrongMagic},
        {"plain text", Bytes(16 + 8, 'a')},
    };
    for (const auto& [what, bytes] : cases)
        EXPECT_EQ(UnprotectText(bytes), std::nullopt) << what;
}

TEST_F(ProtectedTextTest, TextEndsAtItsFirstZeroByte)
{
    const std::optional<Bytes> block = ProtectText(std::string_view("abc\0def", 7));
    ASSERT_TRUE(block);
    EXPECT_EQ(UnprotectText(*block), "abc");
}

TEST_F(ProtectedTextTest, NothingIsMadeOrReadWithoutAMachineIdentifier)
{
    CMachineIdScope unset("");
    EXPECT_EQ(ProtectText(kKnownPassword), std::nullopt);
    EXPECT_EQ(UnprotectText(kKnownBlock), std::nullopt);
}

} // namespace

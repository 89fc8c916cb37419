#include "crypto/key_generator.h"

#include "support/key_test_support.h"
#include "support/scratch_folder.h"

#include <openssl/bn.h>
#include <openssl/core_names.h>

#include <dirent.h>
#include <gtest/gtest.h>

namespace {

std::string ExponentOf(const EVP_PKEY* key)
{
    BIGNUM* exponent = nullptr;
    if (EVP_PKEY_get_bn_param(key, OSSL_PKEY_PARAM_RSA_E, &exponent) != 1)
        return {};
    char* hex = BN_bn2hex(exponent);
    std::string text = hex;
    OPENSSL_free(hex);
    BN_free(exponent);
    return text;
}

int CountEntries(const std::string& folder)
{
    int count = 0;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* entry = ::readdir(dir))
            count += entry->d_name[0] != '.';
        ::closedir(dir);
    }
    return count;
}

TEST(KeyGenerator, HoldsNoPairBeforeTheFirstGenerate)
{
    CKeyGenerator generator;
    EXPECT_EQ(generator.GetKeyPair(), nullptr);
}

// One generator making two pairs in turn, each checked in full.
TEST(KeyGenerator, MakesNewRsa2048PairsWithTheirGuidAndKeyFilePath)
{
    CScratchFolder scratch;
    CKeysFolderScope firstKeys(scratch / "keys1");
    CKeyGenerator generator;
    ASSERT_TRUE(generator.Generate());
    const CKeyPair* first = generator.GetKeyPair();
    ASSERT_TRUE(first && first->GetKey());
    EXPECT_EQ(EVP_PKEY_get_bits(first->GetKey()), 2048);
    EXPECT_EQ(ExponentOf(first->GetKey()), "010001");
    EXPECT_TRUE(IsKeyGuidText(first->GetGuid())) << first->GetGuid();
    EXPECT_EQ(first->GetKeyFilePath(), firstKeys.Folder() + first->GetGuid() + ".key");
    EXPECT_EQ(first->GetCreated(), "");

    std::vector<unsigned char> block;
    std::vector<unsigned char> plain;
    const std::vector<unsigned char> secret(52, 0x42);
    ASSERT_TRUE(first->WrapBytes(secret, block));
    ASSERT_TRUE(first->UnwrapBytes(block, plain));
    EXPECT_EQ(plain, secret);
    const std::string firstGuid = first->GetGuid();
    UniqueEvpPkey firstKey(EVP_PKEY_dup(first->GetKey()));

    // The path comes from the keys folder of the moment the pair is made.
    CKeysFolderScope secondKeys(scratch / "keys2");
    ASSERT_TRUE(generator.Generate());
    const CKeyPair* second = generator.GetKeyPair();
    ASSERT_TRUE(second && second->GetKey());
    EXPECT_NE(second->GetGuid(), firstGuid);
    EXPECT_FALSE(SameKey(second->GetKey(), firstKey.get()));
    EXPECT_EQ(second->GetKeyFilePath(), secondKeys.Folder() + second->GetGuid() + ".key");

    // Nothing is written by generation.
    EXPECT_EQ(CountEntries(firstKeys.Folder()), 0);
    EXPECT_EQ(CountEntries(secondKeys.Folder()), 0);
    EXPECT_EQ(scratch.CountTempFiles(), 0);
}

} // namespace

#include "crypto/openssl_providers.h"

#include "config/base64.h"
#include "config/protected_text.h"
#include "support/child_process.h"
#include "support/machine_id_scope.h"
#include "support/scratch_folder.h"

#include <cstdlib>
#include <gtest/gtest.h>

namespace {

bool CanFetchAes()
{
    UniqueCipher aes(EVP_CIPHER_fetch(nullptr, "AES-256-CBC", nullptr));
    return aes != nullptr;
}

TEST(OpensslProvidersTest, BlowfishIsThereExactlyWhileTheProvidersAreLoaded)
{
    CMachineIdScope machineId(kKnownMachineId);
    const std::vector<unsigned char> knownBlock = Base64Decode(kKnownBlockBase64);
    EXPECT_EQ(FetchBlowfishCbc(), nullptr);
    {
        COpenSslProviders providers;
        ASSERT_TRUE(providers.IsReady()) << providers.GetError();
        EXPECT_EQ(providers.GetError(), "");
        {
            COpenSslProviders inner;
            EXPECT_TRUE(inner.IsReady());
        }
        EXPECT_NE(FetchBlowfishCbc(), nullptr) << "the outer object still serves";
        EXPECT_EQ(UnprotectText(knownBlock), kKnownPassword);
        EXPECT_TRUE(CanFetchAes());
    }
    EXPECT_EQ(FetchBlowfishCbc(), nullptr);
    EXPECT_EQ(ProtectText(kKnownPassword), std::nullopt);
    EXPECT_EQ(UnprotectText(knownBlock), std::nullopt);
    EXPECT_TRUE(CanFetchAes()) << "the process's own OpenSSL set-up is untouched";
}

TEST(OpensslProvidersTest, MissingLegacyModuleIsReportedWithItsPackage)
{
    CScratchFolder scratch;
    const std::string report = scratch / "report";
    // OpenSSL looks for provider modules in OPENSSL_MODULES; an empty folder has no legacy.so.
    const bool failedAsExpected = RunInChildProcess([&] {
        CMachineIdScope machineId(kKnownMachineId);
        ::setenv("OPENSSL_MODULES", scratch.Path().c_str(), 1);
        COpenSslProviders providers;
        WriteWholeFile(report, providers.GetError());
        return !providers.IsReady() && !FetchBlowfishCbc() && !ProtectText("x") && CanFetchAes();
    });
    EXPECT_TRUE(failedAsExpected);
    const std::string error = ReadWholeFile(report);
    EXPECT_NE(error.find("legacy provider"), std::string::npos) << error;
    EXPECT_NE(error.find("libssl3"), std::string::npos) << error;
    EXPECT_NE(error.find("OpenSSL says:\n  error:"), std::string::npos) << error;
}

} // namespace

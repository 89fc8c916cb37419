#include "openssl_rates.h"

#include <openssl/err.h>
#include <openssl/rsa.h>

#include <openssl/rand.h>

#include <array>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace {

constexpr std::size_t kChunkSize = 8192;

// Runs step on threads threads until seconds have passed; operations per second, all threads
// together, or 0 when a step failed.
double RatePerSecond(unsigned threads, double seconds,
                     const std::function<std::function<bool()>()>& makeStep)
{
    std::atomic<bool> stop {false};
    std::atomic<bool> failed {false};
    std::vector<unsigned long long> counts(threads, 0);
    std::vector<std::function<bool()>> steps;
    for (unsigned i = 0; i < threads; ++i)
        steps.push_back(makeStep());
    const auto start = std::chrono::steady_clock::now();
    {
        std::vector<std::jthread> workers;
        for (unsigned i = 0; i < threads; ++i) {
            workers.emplace_back([&, i] {
                while (!stop.load(std::memory_order_relaxed)) {
                    if (!steps[i]()) {
                        failed = true;
                        return;
                    }
                    ++counts[i];
                }
            });
        }
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
        stop = true;
    }
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    unsigned long long total = 0;
    for (unsigned long long count : counts)
        total += count;
    return failed ? 0 : static_cast<double>(total) / elapsed;
}

struct SCipherFree {
    void operator()(EVP_CIPHER* cipher) const { EVP_CIPHER_free(cipher); }
    void operator()(EVP_CIPHER_CTX* ctx) const { EVP_CIPHER_CTX_free(ctx); }
};

// One thread's AES-256-CBC chunk encryption with a fixed random key and IV.
std::function<bool()> AesStep()
{
    struct SState {
        std::unique_ptr<EVP_CIPHER, SCipherFree> m_cipher {
            EVP_CIPHER_fetch(nullptr, "AES-256-CBC", nullptr)};
        std::unique_ptr<EVP_CIPHER_CTX, SCipherFree> m_ctx {EVP_CIPHER_CTX_new()};
        std::array<unsigned char, 32> m_key {};
        std::array<unsigned char, 16> m_iv {};
        std::vector<unsigned char> m_in = std::vector<unsigned char>(kChunkSize, 0x5A);
        std::vector<unsigned char> m_out = std::vector<unsigned char>(kChunkSize + 16);
    };
    auto state = std::make_shared<SState>();
    (void)RAND_bytes(state->m_key.data(), 32);
    (void)RAND_bytes(state->m_iv.data(), 16);
    return [state] {
        int updated = 0;
        int finished = 0;
        return state->m_cipher && state->m_ctx &&
               EVP_CipherInit_ex2(state->m_ctx.get(), state->m_cipher.get(), state->m_key.data(),
                                  state->m_iv.data(), 1, nullptr) == 1 &&
               EVP_CipherUpdate(state->m_ctx.get(), state->m_out.data(), &updated,
                                state->m_in.data(), static_cast<int>(kChunkSize)) == 1 &&
               EVP_CipherFinal_ex(state->m_ctx.get(), state->m_out.data() + updated, &finished) ==
                   1;
    };
}

struct SPkeyFree {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
    void operator()(EVP_PKEY_CTX* ctx) const { EVP_PKEY_CTX_free(ctx); }
};

// One thread's RSA-OAEP operation on input, straight through the library: its own copy of the
// key and its own context, set up once.
std::function<bool()> OaepStep(EVP_PKEY* key, bool decrypt, const std::vector<unsigned char>& input)
{
    struct SState {
        std::unique_ptr<EVP_PKEY, SPkeyFree> m_key;
        std::unique_ptr<EVP_PKEY_CTX, SPkeyFree> m_ctx;
        std::vector<unsigned char> m_out;
    };
    auto state = std::make_shared<SState>();
    state->m_key.reset(EVP_PKEY_dup(key));
    state->m_ctx.reset(EVP_PKEY_CTX_new_from_pkey(nullptr, state->m_key.get(), nullptr));
    const bool ready =
        state->m_ctx &&
        (decrypt ? EVP_PKEY_decrypt_init : EVP_PKEY_encrypt_init)(state->m_ctx.get()) == 1 &&
        EVP_PKEY_CTX_set_rsa_padding(state->m_ctx.get(), RSA_PKCS1_OAEP_PADDING) == 1;
    state->m_out.resize(static_cast<std::size_t>(EVP_PKEY_get_size(key)));
    const auto run = decrypt ? EVP_PKEY_decrypt : EVP_PKEY_encrypt;
    return [state, ready, run, &input] {
        std::size_t size = state->m_out.size();
        return ready &&
               run(state->m_ctx.get(), state->m_out.data(), &size, input.data(), input.size()) == 1;
    };
}

} // namespace

bool MeasureOpensslRates(EVP_PKEY* key, unsigned threads, double seconds, SOpensslRates& rates)
{
    // One chunk head wrapped once, to be unwrapped over and over.
    const std::vector<unsigned char> head(16, 0xA5);
    std::vector<unsigned char> block(static_cast<std::size_t>(EVP_PKEY_get_size(key)));
    std::size_t blockSize = block.size();
    {
        std::unique_ptr<EVP_PKEY_CTX, SPkeyFree> ctx(
            EVP_PKEY_CTX_new_from_pkey(nullptr, key, nullptr));
        if (!ctx || EVP_PKEY_encrypt_init(ctx.get()) != 1 ||
            EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_OAEP_PADDING) != 1 ||
            EVP_PKEY_encrypt(ctx.get(), block.data(), &blockSize, head.data(), head.size()) != 1)
            return false;
    }
    rates.m_privateOpsPerSecond =
        RatePerSecond(threads, seconds, [&] { return OaepStep(key, true, block); });
    rates.m_publicOpsPerSecond =
        RatePerSecond(threads, seconds, [&] { return OaepStep(key, false, head); });
    rates.m_aesBytesPerSecond = RatePerSecond(threads, seconds, AesStep) * kChunkSize;
    return rates.m_privateOpsPerSecond > 0 && rates.m_publicOpsPerSecond > 0 &&
           rates.m_aesBytesPerSecond > 0;
}

#pragma once

#include <openssl/evp.h>

// OpenSSL's own rates on this machine, measured with the library's EVP interface on `threads`
// threads at once for about `seconds` each: what the container format allows at most.
struct SOpensslRates {
    double m_privateOpsPerSecond = 0; // RSA-OAEP decryptions of one block (a chunk head)
    double m_publicOpsPerSecond = 0;  // RSA-OAEP encryptions of 16 bytes (a chunk head)
    double m_aesBytesPerSecond = 0;   // AES-256-CBC encryption of 8192-byte chunks, set up afresh
                                      // for every chunk as the format requires
};

// key: an RSA key pair. False when an operation failed.
bool MeasureOpensslRates(EVP_PKEY* key, unsigned threads, double seconds, SOpensslRates& rates);

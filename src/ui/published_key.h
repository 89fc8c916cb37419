#pragma once

#include "crypto/public_key.h"

#include <memory>
#include <string>

// What a destination's URL gave when its public key file was fetched.
struct SPublishedKey {
    // The URL answered with something.
    bool m_bReached = false;
    // The public key in the answer; null when it held none.
    std::unique_ptr<CPublicKey> m_pKey;
};

// Downloads url and reads the public key file in the answer. The download is deleted before this
// returns, so no message shown afterwards ever waits with it still on disk.
SPublishedKey FetchPublishedKey(const std::string& url);

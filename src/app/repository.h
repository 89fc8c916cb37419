#pragma once

#include "config/destination_list.h"
#include "config/internet_setting.h"
#include "config/key_pair_list.h"
#include "crypto/key_generator.h"

#include <memory>

// Everything the program keeps between runs, loaded once at start-up: the user's key pairs, the
// destinations, the internet settings, and the generator of new key pairs. Windows and commands
// read and change the lists through it; each list or settings object saves itself when it
// changes, so the repository never saves anything.
class CPellmarRepository {
public:
    // Members are destroyed in reverse order: settings, destinations, key pairs, generator.
    std::unique_ptr<CKeyGenerator> m_pKeyGenerator = std::make_unique<CKeyGenerator>();
    std::unique_ptr<CKeyPairList> m_pKeyPairList = std::make_unique<CKeyPairList>();
    std::unique_ptr<CDestinationList> m_pDestinationList = std::make_unique<CDestinationList>();
    std::unique_ptr<CInternetSetting> m_pInternetSetting = std::make_unique<CInternetSetting>();
};

// The repository, created and loaded from g_szDataFolder on first use (keys.conf, dest.conf,
// inet.conf, in that order, all three tried). Null, with no repository kept, when any of the
// three cannot be loaded; a later call tries again. The same object on every call after success.
CPellmarRepository* GetRepository();

// Deletes the repository, if there is one. Nothing is written on the way.
void DeleteRepository();

#include "app/repository.h"

#include "config/machine_id.h"
#include "util/folder_paths.h"

namespace {

std::unique_ptr<CPellmarRepository> g_pRepository;

bool LoadAll(CPellmarRepository& repository)
{
    // Every file is loaded even after a failure, so each missing one is created on the way.
    const bool keyPairs = repository.m_pKeyPairList->Load(g_szDataFolder);
    const bool destinations = repository.m_pDestinationList->Load(g_szDataFolder);
    const bool settings = repository.m_pInternetSetting->Load(g_szDataFolder);
    return keyPairs && destinations && settings;
}

} // namespace

CPellmarRepository* GetRepository()
{
    if (g_pRepository)
        return g_pRepository.get();
    // The stored FTP password cannot be read without the machine identifier.
    ComputeMachineId();
    auto repository = std::make_unique<CPellmarRepository>();
    if (!LoadAll(*repository))
        return nullptr;
    g_pRepository = std::move(repository);
    return g_pRepository.get();
}

void DeleteRepository()
{
    g_pRepository.reset();
}

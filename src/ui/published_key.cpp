#include "ui/published_key.h"

#include "net/http_download.h"

SPublishedKey FetchPublishedKey(const std::string& url)
{
    const CTempFile download = HttpDownloadFile(url);
    if (!download)
        return {};
    return {true, ReadPublicKeyFile(download.GetPath())};
}

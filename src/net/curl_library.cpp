#include "net/curl_library.h"

#include <curl/curl.h>

CCurlLibrary::CCurlLibrary() : m_bReady(curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK) {}

CCurlLibrary::~CCurlLibrary()
{
    if (m_bReady)
        curl_global_cleanup();
}

#include "net/curl_handle.h"

#include <algorithm>

CCurlEasy NewTransferHandle(const char* protocols)
{
    CCurlEasy handle(curl_easy_init());
    if (!handle)
        return {};
    CURL* curl = handle.get();
    // The program has more than one thread, so libcurl must not time name look-ups with alarm
    // signals.
    bool set = curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L) == CURLE_OK &&
               curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, protocols) == CURLE_OK &&
               curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, kConnectSeconds) == CURLE_OK &&
               // Less than one byte a second over kStallSeconds counts as standing still.
               curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L) == CURLE_OK &&
               curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, kStallSeconds) == CURLE_OK;
    if (!set)
        return {};
    return handle;
}

CCurlUrl NewServerUrl(const UrlParts& parts)
{
    CCurlUrl url(curl_url());
    if (!url)
        return {};
    const std::string scheme = parts.m_scheme.substr(0, parts.m_scheme.find(':'));
    if (curl_url_set(url.get(), CURLUPART_SCHEME, scheme.c_str(), 0) != CURLUE_OK ||
        curl_url_set(url.get(), CURLUPART_HOST, parts.m_host.c_str(), 0) != CURLUE_OK)
        return {};
    if (parts.m_nPort != 0 && curl_url_set(url.get(), CURLUPART_PORT,
                                           std::to_string(parts.m_nPort).c_str(), 0) != CURLUE_OK)
        return {};
    return url;
}

bool AppendToList(CCurlList& list, const std::string& line)
{
    curl_slist* longer = curl_slist_append(list.get(), line.c_str());
    if (longer == nullptr)
        return false;
    (void)list.release();
    list.reset(longer);
    return true;
}

bool HasControlCharacter(std::string_view text)
{
    return std::any_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 0x20 || byte == 0x7f;
    });
}

#include "net/http_download.h"

#include "net/curl_handle.h"
#include "net/url.h"
#include "util/unique_fd.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <ctime>
#include <fcntl.h>
#include <optional>

namespace {

constexpr long kMaxRedirects = 10;

// What the body callback needs while the transfer runs.
struct SDownload {
    CTempFile m_file;
    std::size_t m_nReceived = 0;
    bool m_bWriteFailed = false;
};

// Keeps at most kMaxDownloadBytes. Answering with fewer bytes than offered stops the transfer;
// the caller tells a stop at the bound from a failed write by m_bWriteFailed.
std::size_t WriteBody(char* data, std::size_t size, std::size_t count, void* context)
{
    auto& download = *static_cast<SDownload*>(context);
    const std::size_t offered = size * count;
    const std::size_t kept = std::min(offered, kMaxDownloadBytes - download.m_nReceived);
    if (!download.m_file.Write(std::string_view(data, kept))) {
        download.m_bWriteFailed = true;
        return 0;
    }
    download.m_nReceived += kept;
    return kept;
}

// The current time in seconds as a signed 32-bit number: its low 32 bits. The number only has
// to change from one second to the next so that no cache holds an answer for it.
std::string DummyValue()
{
    const auto seconds = static_cast<std::uint32_t>(static_cast<std::uint64_t>(std::time(nullptr)));
    return std::to_string(static_cast<std::int32_t>(seconds));
}

// The request URL: the server of parts, then "/" + path + "?dummy=" + time. The path's own query,
// if any, stays in front of the "?dummy=" part, so the request line carries the path as typed.
CCurlUrl NewRequestUrl(const UrlParts& parts)
{
    CCurlUrl url = NewServerUrl(parts);
    if (!url)
        return {};
    const std::size_t question = parts.m_path.find('?');
    const std::string path = "/" + parts.m_path.substr(0, question);
    std::string query = "dummy=" + DummyValue();
    if (question != std::string::npos)
        query = parts.m_path.substr(question + 1) + "?" + query;
    if (curl_url_set(url.get(), CURLUPART_PATH, path.c_str(), 0) != CURLUE_OK ||
        curl_url_set(url.get(), CURLUPART_QUERY, query.c_str(), 0) != CURLUE_OK)
        return {};
    return url;
}

bool SetRequest(CURL* curl, CURLU* url, curl_slist* headers, bool secure, const std::string& caFile,
                SDownload& download)
{
    // A redirect from https to http would hand the key file to anyone on the way.
    const char* redirectProtocols = secure ? "https" : "http,https";
    bool set = curl_easy_setopt(curl, CURLOPT_CURLU, url) == CURLE_OK &&
               curl_easy_setopt(curl, CURLOPT_PATH_AS_IS, 1L) == CURLE_OK &&
               curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers) == CURLE_OK &&
               curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L) == CURLE_OK &&
               curl_easy_setopt(curl, CURLOPT_MAXREDIRS, kMaxRedirects) == CURLE_OK &&
               curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, redirectProtocols) == CURLE_OK &&
               curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, WriteBody) == CURLE_OK &&
               curl_easy_setopt(curl, CURLOPT_WRITEDATA, &download) == CURLE_OK;
    if (set && !caFile.empty())
        set = curl_easy_setopt(curl, CURLOPT_CAINFO, caFile.c_str()) == CURLE_OK;
    return set;
}

} // namespace

CTempFile HttpDownloadFile(const std::string& url, const std::string& caFile)
{
    if (HasControlCharacter(url))
        return {};
    const std::optional<UrlParts> parts = ParseUrl(url, {kHttpScheme, kHttpsScheme});
    if (!parts)
        return {};
    CCurlUrl requestUrl = NewRequestUrl(*parts);
    CCurlEasy handle = NewTransferHandle("http,https");
    CCurlList headers;
    if (!requestUrl || !handle || !AppendToList(headers, "Cache-Control: no-cache") ||
        !AppendToList(headers, "Pragma: no-cache"))
        return {};

    SDownload download {NewTempFile()};
    if (!download.m_file || !SetRequest(handle.get(), requestUrl.get(), headers.get(),
                                        parts->m_scheme == kHttpsScheme, caFile, download))
        return {};
    // The transfer's own result is not looked at: a failure before the body leaves nothing
    // received, and one during the body (a connection that breaks, the size bound) leaves the
    // body as far as it came, which is kept.
    (void)curl_easy_perform(handle.get());
    if (download.m_bWriteFailed || download.m_nReceived == 0 || !download.m_file.Finish())
        return {};
    return std::move(download.m_file);
}

bool CompareFiles(const std::string& a, const std::string& b)
{
    CUniqueFd first(::open(a.c_str(), O_RDONLY | O_CLOEXEC));
    CUniqueFd second(::open(b.c_str(), O_RDONLY | O_CLOEXEC));
    if (!first.IsOpen() || !second.IsOpen())
        return false;
    std::array<char, 4096> firstBuffer {};
    std::array<char, 4096> secondBuffer {};
    for (;;) {
        const long long firstCount = ReadFull(first.Get(), firstBuffer.data(), firstBuffer.size());
        const long long secondCount =
            ReadFull(second.Get(), secondBuffer.data(), secondBuffer.size());
        if (firstCount < 0 || firstCount != secondCount ||
            !std::equal(firstBuffer.begin(), firstBuffer.begin() + firstCount,
                        secondBuffer.begin()))
            return false;
        if (firstCount == 0)
            return true;
    }
}

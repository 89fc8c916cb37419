#include "net/ftp_upload.h"

#include "net/curl_handle.h"
#include "net/url.h"
#include "util/unique_fd.h"

#include <fcntl.h>
#include <optional>
#include <sys/stat.h>

namespace {

// How the server answered one command.
enum class EReply { Done, Refused, Broken };

// The server's root as a URL, "ftp://host:port/"; every command is sent against it.
std::string RootUrlOf(const UrlParts& parts)
{
    CCurlUrl url = NewServerUrl(parts);
    char* text = nullptr;
    if (!url || curl_url_get(url.get(), CURLUPART_URL, &text, 0) != CURLUE_OK)
        return {};
    const CCurlText owned(text);
    return owned.get();
}

CCurlEasy NewSession(const std::string& user, const std::string& password)
{
    CCurlEasy handle = NewTransferHandle("ftp");
    if (!handle)
        return {};
    CURL* curl = handle.get();
    // The store names its file by its absolute path itself, so libcurl must not walk directories.
    bool set = curl_easy_setopt(curl, CURLOPT_USERNAME, user.c_str()) == CURLE_OK &&
               curl_easy_setopt(curl, CURLOPT_PASSWORD, password.c_str()) == CURLE_OK &&
               curl_easy_setopt(curl, CURLOPT_SERVER_RESPONSE_TIMEOUT, kStallSeconds) == CURLE_OK &&
               curl_easy_setopt(curl, CURLOPT_FTP_FILEMETHOD,
                                static_cast<long>(CURLFTPMETHOD_NOCWD)) == CURLE_OK;
    if (!set)
        return {};
    return handle;
}

// Sends one command on the session's connection (logging in first if it is not open yet). The
// '*' in front tells libcurl that a refusal is an answer, not a failure: without it libcurl would
// drop the connection and log in again for the next command.
EReply SendCommand(CURL* curl, const std::string& rootUrl, const std::string& command)
{
    CCurlList quote;
    if (!AppendToList(quote, "*" + command))
        return EReply::Broken;
    if (curl_easy_setopt(curl, CURLOPT_URL, rootUrl.c_str()) != CURLE_OK ||
        curl_easy_setopt(curl, CURLOPT_NOBODY, 1L) != CURLE_OK ||
        curl_easy_setopt(curl, CURLOPT_UPLOAD, 0L) != CURLE_OK ||
        curl_easy_setopt(curl, CURLOPT_QUOTE, quote.get()) != CURLE_OK)
        return EReply::Broken;
    const CURLcode result = curl_easy_perform(curl);
    long code = 0;
    (void)curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &code);
    (void)curl_easy_setopt(curl, CURLOPT_QUOTE, nullptr);
    if (result != CURLE_OK)
        return EReply::Broken;
    return code >= 200 && code < 300 ? EReply::Done : EReply::Refused;
}

// Makes directory (an absolute path) the current one, creating it when it cannot be entered.
bool EnterDirectory(CURL* curl, const std::string& rootUrl, const std::string& directory)
{
    const EReply entered = SendCommand(curl, rootUrl, "CWD " + directory);
    if (entered != EReply::Refused)
        return entered == EReply::Done;
    return SendCommand(curl, rootUrl, "MKD " + directory) == EReply::Done &&
           SendCommand(curl, rootUrl, "CWD " + directory) == EReply::Done;
}

// The URL that makes libcurl store to the absolute path made of segments: "%2F" is the leading
// '/', and each segment is escaped so that '#', '?', '%' or blanks in it stay part of the name.
std::string StoreUrl(CURL* curl, const std::string& rootUrl, const SRemotePath& remote)
{
    std::string url = rootUrl + "%2F";
    auto append = [&](const std::string& segment) {
        const CCurlText escaped(
            curl_easy_escape(curl, segment.c_str(), static_cast<int>(segment.size())));
        if (!escaped)
            return false;
        url += escaped.get();
        return true;
    };
    for (const std::string& directory : remote.m_directories) {
        if (!append(directory))
            return {};
        url += "/";
    }
    return append(remote.m_fileName) ? url : std::string();
}

std::size_t ReadLocalFile(char* buffer, std::size_t size, std::size_t count, void* context)
{
    const long long got = ReadFull(*static_cast<int*>(context), buffer, size * count);
    return got < 0 ? CURL_READFUNC_ABORT : static_cast<std::size_t>(got);
}

bool StoreFile(CURL* curl, const std::string& storeUrl, int fd, curl_off_t size)
{
    return curl_easy_setopt(curl, CURLOPT_URL, storeUrl.c_str()) == CURLE_OK &&
           curl_easy_setopt(curl, CURLOPT_NOBODY, 0L) == CURLE_OK &&
           curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L) == CURLE_OK &&
           curl_easy_setopt(curl, CURLOPT_READFUNCTION, ReadLocalFile) == CURLE_OK &&
           curl_easy_setopt(curl, CURLOPT_READDATA, &fd) == CURLE_OK &&
           curl_easy_setopt(curl, CURLOPT_INFILESIZE_LARGE, size) == CURLE_OK &&
           curl_easy_perform(curl) == CURLE_OK;
}

// The local file, open for reading, when it is a regular file; its size goes into size.
CUniqueFd OpenLocalFile(const std::string& path, curl_off_t& size)
{
    CUniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat status {};
    if (!fd.IsOpen() || ::fstat(fd.Get(), &status) != 0 || !S_ISREG(status.st_mode))
        return {};
    size = static_cast<curl_off_t>(status.st_size);
    return fd;
}

} // namespace

bool FtpUploadFile(const std::string& location, const std::string& localPath,
                   const std::string& user, const std::string& password)
{
    if (HasControlCharacter(location) || HasControlCharacter(user) || HasControlCharacter(password))
        return false;
    const std::optional<UrlParts> parts = ParseUrl(location, {kFtpScheme});
    if (!parts)
        return false;
    curl_off_t size = 0;
    CUniqueFd file = OpenLocalFile(localPath, size);
    const std::string rootUrl = RootUrlOf(*parts);
    CCurlEasy session = NewSession(user, password);
    if (!file.IsOpen() || rootUrl.empty() || !session)
        return false;

    const SRemotePath remote = SplitRemotePath(parts->m_path);
    std::string remotePath;
    for (const std::string& directory : remote.m_directories) {
        remotePath += "/" + directory;
        if (!EnterDirectory(session.get(), rootUrl, remotePath))
            return false;
    }
    const std::string storeUrl = StoreUrl(session.get(), rootUrl, remote);
    return !storeUrl.empty() && StoreFile(session.get(), storeUrl, file.Get(), size);
}

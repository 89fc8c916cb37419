// URLs as the user types them: the FTP location of the upload, cut into its remote folders, and
// the web URL of a download.
#include "fuzz_support.h"
#include "net/url.h"

namespace {

// The pieces are cut from the URL as typed: scheme and host open it, the path ends it.
void CheckParts(std::string_view url, const UrlParts& parts)
{
    if (parts.m_path.empty() || !url.starts_with(parts.m_scheme + parts.m_host) ||
        !url.ends_with(parts.m_path))
        FuzzFailure("the pieces of a URL are not the URL's own text");
}

// Joined with '/', the remote folders and the file name give back the path.
void CheckRemotePath(std::string_view path)
{
    const SRemotePath remote = SplitRemotePath(path);
    std::string joined;
    for (const std::string& directory : remote.m_directories)
        joined += directory + "/";
    joined += remote.m_fileName;
    if (joined != path)
        FuzzFailure("the pieces of a remote path are not the path");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view url(reinterpret_cast<const char*>(data), size);
    if (const std::optional<UrlParts> parts = ParseUrl(url, {kFtpScheme})) {
        CheckParts(url, *parts);
        CheckRemotePath(parts->m_path);
    }
    if (const std::optional<UrlParts> parts = ParseUrl(url, {kHttpScheme, kHttpsScheme}))
        CheckParts(url, *parts);
    return 0;
}

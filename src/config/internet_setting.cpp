#include "config/internet_setting.h"

#include "config/base64.h"
#include "config/protected_text.h"
#include "util/unique_fd.h"

#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <vector>

namespace {

constexpr std::string_view kFtpKey = "FTP=";
constexpr std::string_view kUserKey = "USER=";
constexpr std::string_view kPasswordKey = "PASSWORD=";
constexpr std::string_view kAnonymousKey = "ANONYMOUS=";
constexpr std::string_view kUrlKey = "URL=";

// Takes group and other permissions away from the file at path; a link is left alone.
void MakePrivate(const std::string& path)
{
    CUniqueFd file(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat status {};
    if (!file.IsOpen() || ::fstat(file.Get(), &status) != 0 || !S_ISREG(status.st_mode) ||
        (status.st_mode & (S_IRWXG | S_IRWXO)) == 0)
        return;
    (void)::fchmod(file.Get(), status.st_mode & S_IRWXU);
}

} // namespace

bool CInternetSetting::Save()
{
    std::optional<std::vector<unsigned char>> password = ProtectText(m_pszPassword);
    std::string text;
    return password && WriteKeyValue(text, kFtpKey, m_pszFtp) &&
           WriteKeyValue(text, kUserKey, m_pszUser) &&
           WriteKeyValue(text, kPasswordKey, Base64Encode(*password)) &&
           WriteKeyValue(text, kAnonymousKey, m_bAnonymous ? "1" : "0") &&
           WriteKeyValue(text, kUrlKey, m_pszUrl) && WriteFile(text);
}

void CInternetSetting::BeginLoad()
{
    m_pszFtp.clear();
    m_pszUser.clear();
    m_pszPassword.clear();
    m_bAnonymous = false;
    m_pszUrl.clear();
    // A file copied in or made by hand may be readable by others; the program's own saves
    // never are. A read-only load changes nothing at all.
    if (!IsReadOnly())
        MakePrivate(GetPath());
}

bool CInternetSetting::ParseLine(std::string_view line)
{
    if (HasKey(line, kFtpKey))
        SetFtp(std::string(line.substr(kFtpKey.size())));
    else if (HasKey(line, kUserKey))
        SetUser(std::string(line.substr(kUserKey.size())));
    else if (HasKey(line, kPasswordKey))
        LoadPassword(line.substr(kPasswordKey.size()));
    else if (HasKey(line, kAnonymousKey))
        m_bAnonymous = line.substr(kAnonymousKey.size()) == "1";
    else if (HasKey(line, kUrlKey))
        SetUrl(std::string(line.substr(kUrlKey.size())));
    return true;
}

void CInternetSetting::LoadPassword(std::string_view value)
{
    if (value.empty())
        return;
    const std::vector<unsigned char> bytes = Base64Decode(value);
    if (bytes.empty())
        return;
    if (std::optional<std::string> password = UnprotectText(bytes))
        SetPassword(std::move(*password));
}

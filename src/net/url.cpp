#include "net/url.h"

#include <array>

namespace {

struct SSchemeInfo {
    std::string_view m_prefix;
    std::uint16_t m_nDefaultPort;
};

constexpr std::array<SSchemeInfo, 3> kKnownSchemes {{
    {kFtpScheme, 21},
    {kHttpScheme, 80},
    {kHttpsScheme, 443},
}};

const SSchemeInfo* MatchScheme(std::string_view url,
                               std::initializer_list<std::string_view> schemes)
{
    for (std::string_view accepted : schemes) {
        if (!url.starts_with(accepted))
            continue;
        for (const SSchemeInfo& known : kKnownSchemes) {
            if (known.m_prefix == accepted)
                return &known;
        }
    }
    return nullptr;
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Reads a number the way atoi does (leading blanks, an optional sign, digits up to the first
// other character, no digits giving 0) and keeps its low 16 bits. Working modulo 2^16 all along
// gives the same low bits for every number atoi can represent and never overflows on longer ones.
std::uint16_t ReadPort(std::string_view text)
{
    std::size_t at = 0;
    while (at < text.size() && IsBlank(text[at]))
        ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-'))
        negative = text[at++] == '-';
    std::uint16_t value = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at)
        value = static_cast<std::uint16_t>(value * 10u + static_cast<unsigned>(text[at] - '0'));
    return negative ? static_cast<std::uint16_t>(0u - value) : value;
}

} // namespace

// The narrow encoding is UTF-8, where '/' and ':' never occur inside a multibyte character, so
// searching bytes never splits a character.
std::optional<UrlParts> ParseUrl(std::string_view url,
                                 std::initializer_list<std::string_view> schemes)
{
    if (url.size() > kMaxUrlLength || url.find('\0') != std::string_view::npos)
        return std::nullopt;
    const SSchemeInfo* scheme = MatchScheme(url, schemes);
    if (scheme == nullptr)
        return std::nullopt;

    const std::string_view rest = url.substr(scheme->m_prefix.size());
    const std::size_t slash = rest.find('/');
    if (slash == std::string_view::npos || slash + 1 == rest.size())
        return std::nullopt;

    std::string_view host = rest.substr(0, slash);
    UrlParts parts;
    parts.m_scheme = scheme->m_prefix;
    parts.m_nPort = scheme->m_nDefaultPort;
    parts.m_path = rest.substr(slash + 1);
    if (const std::size_t colon = host.find(':'); colon != std::string_view::npos) {
        parts.m_nPort = ReadPort(host.substr(colon + 1));
        host = host.substr(0, colon);
    }
    parts.m_host = host;
    return parts;
}

SRemotePath SplitRemotePath(std::string_view path)
{
    SRemotePath split;
    std::size_t start = 0;
    for (std::size_t slash = path.find('/');
         slash != std::string_view::npos && slash + 1 < path.size();
         slash = path.find('/', start)) {
        split.m_directories.emplace_back(path.substr(start, slash - start));
        start = slash + 1;
    }
    split.m_fileName = path.substr(start);
    return split;
}

bool IsHttpUrl(std::string_view text)
{
    return text.starts_with(kHttpScheme) || text.starts_with(kHttpsScheme);
}

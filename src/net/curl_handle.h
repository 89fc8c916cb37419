#pragma once

#include "net/url.h"

#include <curl/curl.h>
#include <memory>
#include <string>

struct SCurlEasyFree {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
struct SCurlListFree {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
struct SCurlUrlFree {
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
struct SCurlTextFree {
    void operator()(char* text) const { curl_free(text); }
};

using CCurlEasy = std::unique_ptr<CURL, SCurlEasyFree>;
using CCurlList = std::unique_ptr<curl_slist, SCurlListFree>;
using CCurlUrl = std::unique_ptr<CURLU, SCurlUrlFree>;
using CCurlText = std::unique_ptr<char, SCurlTextFree>;

// Giving up on a server: no connection within kConnectSeconds, or a transfer (or, for FTP, a
// command's answer) that stays still for kStallSeconds.
inline constexpr long kConnectSeconds = 30;
inline constexpr long kStallSeconds = 60;

// A transfer handle limited to protocols (libcurl's list form, "http,https") with the settings
// every transfer of the program shares. Empty when libcurl cannot make one.
[[nodiscard]] CCurlEasy NewTransferHandle(const char* protocols);

// The URL "scheme://host[:port]/" of the server that parts names, with no path yet. Empty when
// libcurl does not take the host as a host name (an '@', a blank, ...): such a host could never
// be reached, and read as a whole URL it might name another server. Port 0 stands for the
// scheme's default port.
[[nodiscard]] CCurlUrl NewServerUrl(const UrlParts& parts);

// Appends a copy of line to list; false when there is no memory for it (list is kept then).
[[nodiscard]] bool AppendToList(CCurlList& list, const std::string& line);

// True when text holds a byte below 0x20 or 0x7f. A line end in a path or account name would end
// the request line or FTP command early and start another one of the user's making.
[[nodiscard]] bool HasControlCharacter(std::string_view text);

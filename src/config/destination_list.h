#pragma once

#include "config/list_conf_file.h"

// Someone the user encrypts files for: a name shown in the main window and the URL of that
// person's published public key file.
class CDestination : public CListEntry {
public:
    static constexpr std::string_view kSecondKey = "URL=";

    using CListEntry::CListEntry;
    const std::string& GetUrl() const { return GetSecondText(); }
    void SetUrl(std::string url) { SetSecondText(std::move(url)); }
};

// The destinations, in the user's order, kept in "dest.conf".
class CDestinationList : public CListConfFile<CDestination> {
public:
    CDestinationList() : CListConfFile("dest.conf") {}

    // True when a destination other than the one at exceptIndex (-1: none) has exactly this URL.
    bool IsUrlUsed(const std::string& url, int exceptIndex) const;
};

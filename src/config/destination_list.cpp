#include "config/destination_list.h"

bool CDestinationList::IsUrlUsed(const std::string& url, int exceptIndex) const
{
    return AnyOtherEntry(exceptIndex,
                         [&](const CDestination& other) { return other.GetUrl() == url; });
}

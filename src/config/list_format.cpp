#include "config/list_format.h"

#include <algorithm>
#include <cctype>
#include <limits>

namespace {

constexpr long long kSaturated = std::numeric_limits<int>::max();

// Decimal digits at the start of text, saturated at kSaturated.
long long LeadingDigitsValue(std::string_view text)
{
    long long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            break;
        value = std::min(value * 10 + (c - '0'), kSaturated);
    }
    return value;
}

} // namespace

long long ParseListCount(std::string_view text)
{
    std::size_t next = 0;
    while (next < text.size() && std::isspace(static_cast<unsigned char>(text[next])))
        ++next;
    bool negative = false;
    if (next < text.size() && (text[next] == '+' || text[next] == '-'))
        negative = text[next++] == '-';
    long long value = LeadingDigitsValue(text.substr(next));
    return negative ? -value : value;
}

bool IsBracketedLine(std::string_view line)
{
    return line.size() >= 2 && line.front() == '[' && line.back() == ']';
}

std::optional<long long> ParseIndexLine(std::string_view line)
{
    if (!IsBracketedLine(line))
        return std::nullopt;
    std::string_view digits = line.substr(1, line.size() - 2);
    if (digits.empty())
        return std::nullopt;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return std::nullopt;
    }
    return LeadingDigitsValue(digits);
}

std::string FormatIndexLine(int index)
{
    return "[" + std::to_string(index) + "]";
}

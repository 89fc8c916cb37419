#include "util/time_stamp.h"

#include <array>
#include <cctype>
#include <cstdio>
#include <ctime>
#include <langinfo.h>
#include <locale.h>

namespace {

// Like atoi on a fixed-width field: its leading decimal digits, none giving 0.
int LeadingNumber(const std::string& text, std::size_t offset, std::size_t width)
{
    int value = 0;
    for (std::size_t i = offset; i < offset + width && i < text.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i])))
            break;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

bool IsValidUtcTime(const std::tm& time)
{
    static constexpr std::array<int, 12> kDaysInMonth {31, 29, 31, 30, 31, 30,
                                                       31, 31, 30, 31, 30, 31};
    if (time.tm_mon < 0 || time.tm_mon > 11 || time.tm_mday < 1 ||
        time.tm_mday > kDaysInMonth[static_cast<std::size_t>(time.tm_mon)])
        return false;
    int year = time.tm_year + 1900;
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (time.tm_mon == 1 && time.tm_mday == 29 && !leap)
        return false;
    return year >= 1601 && time.tm_hour < 24 && time.tm_min < 60 && time.tm_sec < 60;
}

// The user's time locale as the environment names it, else the C locale.
class CUserTimeLocale {
public:
    CUserTimeLocale() : m_locale(::newlocale(LC_TIME_MASK, "", static_cast<locale_t>(nullptr)))
    {
        if (m_locale == static_cast<locale_t>(nullptr))
            m_locale = ::newlocale(LC_TIME_MASK, "C", static_cast<locale_t>(nullptr));
    }
    ~CUserTimeLocale() { ::freelocale(m_locale); }
    CUserTimeLocale(const CUserTimeLocale&) = delete;
    CUserTimeLocale& operator=(const CUserTimeLocale&) = delete;

    std::string Format(const char* format, const std::tm& time) const
    {
        std::array<char, 128> buffer {};
        std::size_t length = ::strftime_l(buffer.data(), buffer.size(), format, &time, m_locale);
        return std::string(buffer.data(), length);
    }
    const char* ShortDateFormat() const { return ::nl_langinfo_l(D_FMT, m_locale); }

private:
    locale_t m_locale;
};

} // namespace

std::string TimeStampText(std::chrono::system_clock::time_point when)
{
    using namespace std::chrono;
    const auto day = floor<days>(when);
    const year_month_day date(day);
    const hh_mm_ss<milliseconds> time(floor<milliseconds>(when - day));
    char text[32];
    std::snprintf(text, sizeof text, "%.04d%.02u%.02u%.02d%.02d%.02d%.03d", int(date.year()),
                  unsigned(date.month()), unsigned(date.day()), int(time.hours().count()),
                  int(time.minutes().count()), int(time.seconds().count()),
                  int(time.subseconds().count()));
    return text;
}

bool MakeTimeStamp(std::string& stamp)
{
    stamp = TimeStampText(std::chrono::system_clock::now());
    return true;
}

bool FormatTimeStamp(const std::string& stamp, std::string& text)
{
    text.clear();
    std::tm utc {};
    utc.tm_year = LeadingNumber(stamp, 0, 4) - 1900;
    utc.tm_mon = LeadingNumber(stamp, 4, 2) - 1;
    utc.tm_mday = LeadingNumber(stamp, 6, 2);
    utc.tm_hour = LeadingNumber(stamp, 8, 2);
    utc.tm_min = LeadingNumber(stamp, 10, 2);
    utc.tm_sec = LeadingNumber(stamp, 12, 2);
    if (!IsValidUtcTime(utc))
        return true;

    std::time_t seconds = ::timegm(&utc);
    std::tm local {};
    if (::localtime_r(&seconds, &local) == nullptr)
        return true;
    CUserTimeLocale locale;
    std::string date = locale.Format(locale.ShortDateFormat(), local);
    std::string time = locale.Format("%H:%M:%S", local);
    if (!date.empty() && !time.empty())
        text = date + " " + time;
    return true;
}

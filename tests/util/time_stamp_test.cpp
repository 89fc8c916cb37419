#include "util/time_stamp.h"

#include <cstdlib>
#include <ctime>
#include <gtest/gtest.h>

namespace {

using namespace std::chrono;

sys_time<milliseconds> At(int y, unsigned mo, unsigned d, int h, int mi, int s, int ms)
{
    return sys_days(year(y) / month(mo) / day(d)) + hours(h) + minutes(mi) + seconds(s) +
           milliseconds(ms);
}

TEST(TimeStampText, WritesSeventeenZeroPaddedUtcDigits)
{
    EXPECT_EQ(TimeStampText(At(2010, 1, 2, 9, 5, 3, 7)), "20100102090503007");
    EXPECT_EQ(TimeStampText(At(2009, 3, 5, 14, 7, 9, 42)), "20090305140709042");
    EXPECT_EQ(TimeStampText(At(1999, 12, 31, 23, 59, 59, 999)), "19991231235959999");
}

TEST(MakeTimeStamp, StampsTheCurrentUtcTime)
{
    const std::string before = TimeStampText(system_clock::now());
    std::string stamp;
    ASSERT_TRUE(MakeTimeStamp(stamp));
    const std::string after = TimeStampText(system_clock::now());
    EXPECT_EQ(stamp.size(), 17u);
    EXPECT_LE(before, stamp);
    EXPECT_LE(stamp, after);
}

// Runs with a fixed time zone and the C locale, then puts the environment back.
class FormatTimeStampTest : public ::testing::Test {
protected:
    void SetZone(const char* zone)
    {
        ::setenv("TZ", zone, 1);
        ::tzset();
    }
    void SetUp() override
    {
        if (const char* zone = std::getenv("TZ"))
            m_savedZone = zone;
        ::setenv("LC_ALL", "C", 1);
    }
    void TearDown() override
    {
        if (m_savedZone.empty())
            ::unsetenv("TZ");
        else
            ::setenv("TZ", m_savedZone.c_str(), 1);
        ::tzset();
        ::unsetenv("LC_ALL");
    }

private:
    std::string m_savedZone;
};

TEST_F(FormatTimeStampTest, ShowsTheLocalShortDateAndTwentyFourHourTime)
{
    struct Case {
        const char* zone;
        const char* stamp;
        const char* expected;
    };
    const Case cases[] = {
        {"UTC0", "20090305140709042", "03/05/09 14:07:09"},
        {"UTC0", "20090305140709999", "03/05/09 14:07:09"},  // milliseconds play no part
        {"EST5", "20100101013000000", "12/31/09 20:30:00"},  // a day earlier west of UTC
        {"JST-9", "20091231235959000", "01/01/10 08:59:59"}, // a day later east of UTC
    };
    for (const Case& c : cases) {
        SetZone(c.zone);
        std::string text = "leftover";
        EXPECT_TRUE(FormatTimeStamp(c.stamp, text));
        EXPECT_EQ(text, c.expected) << c.zone << " " << c.stamp;
    }
}

TEST_F(FormatTimeStampTest, GivesAnEmptyTextForAStampThatIsNoTime)
{
    SetZone("UTC0");
    for (const char* stamp : {"", "abcdefghijklmnopq", "20091305140709042", "20090230140709042",
                              "20090305250709042", "20090305146009042"}) {
        std::string text = "leftover";
        EXPECT_TRUE(FormatTimeStamp(stamp, text));
        EXPECT_EQ(text, "") << stamp;
    }
}

} // namespace

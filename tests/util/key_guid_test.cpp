#include "util/key_guid.h"

#include <gtest/gtest.h>

namespace {

TEST(KeyGuidText, WritesTheFieldsMostSignificantByteFirst)
{
    const SGuid usualExample {
        0xf81d4fae, 0x7dec, 0x11d0, {0xa7, 0x65, 0x00, 0xa0, 0xc9, 0x1e, 0x6b, 0xf6}};
    EXPECT_EQ(KeyGuidText(usualExample), "F81D4FAE7DEC11D0A76500A0C91E6BF6");

    const SGuid leadingZeros {0x0000ABCD, 0x0001, 0x0002, {0, 0, 0, 0, 0, 0, 0, 0x0f}};
    EXPECT_EQ(KeyGuidText(leadingZeros), "0000ABCD00010002000000000000000F");
}

TEST(MakeKeyGuid, GivesDistinctRandomVersion4Guids)
{
    std::string first, second;
    ASSERT_TRUE(MakeKeyGuid(first));
    ASSERT_TRUE(MakeKeyGuid(second));
    EXPECT_NE(first, second);
    for (const std::string& guid : {first, second}) {
        ASSERT_EQ(guid.size(), 32u);
        EXPECT_EQ(guid.find_first_not_of("0123456789ABCDEF"), std::string::npos) << guid;
        EXPECT_EQ(guid[12], '4') << guid;
        EXPECT_NE(std::string("89AB").find(guid[16]), std::string::npos) << guid;
    }
}

} // namespace

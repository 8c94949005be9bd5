// The conversion contract of Utf8ToAnsi: length query, exact capacity, and a
// destination left untouched when it is too small.
#include "xml/xml.h"

#include <gtest/gtest.h>

#include <string.h>

namespace {

TEST(Convert, ResolvesOnThisPlatform)
{
    EXPECT_EQ(1, ResolveConversion());
}

TEST(Convert, LengthQueryCountsTheTerminator)
{
    uint32_t size = 99;
    ASSERT_EQ(1, Utf8ToAnsi("", 0, &size));
    EXPECT_EQ(1u, size);
    ASSERT_EQ(1, Utf8ToAnsi("Dorsel 3.00", 0, &size));
    EXPECT_EQ(12u, size);
    ASSERT_EQ(1, Utf8ToAnsi("Gr\xC3\xBC\xC3\x9F" "e", 0, &size));  // two letters of two bytes each
    EXPECT_EQ(6u, size);
}

TEST(Convert, AsciiUnchangedAndCapacityExact)
{
    const char source[] = "Package Manager";
    uint32_t needed = 0;
    ASSERT_EQ(1, Utf8ToAnsi(source, 0, &needed));
    char out[64];
    memset(out, '#', sizeof(out));
    uint32_t capacity = needed;
    ASSERT_EQ(1, Utf8ToAnsi(source, out, &capacity));
    EXPECT_STREQ(source, out);
    EXPECT_EQ(needed, capacity);

    memset(out, '#', sizeof(out));
    capacity = needed - 1;
    EXPECT_EQ(0, Utf8ToAnsi(source, out, &capacity));
    for (size_t i = 0; i < sizeof(out); ++i)
        ASSERT_EQ('#', out[i]) << i;  // nothing written
    EXPECT_EQ(needed - 1, capacity);
}

TEST(Convert, NonAsciiBecomesOneByteEach)
{
    char out[8];
    uint32_t capacity = sizeof(out);
    ASSERT_EQ(1, Utf8ToAnsi("\xC3\xA4x", out, &capacity));
    EXPECT_EQ(2u, strlen(out));
    EXPECT_EQ('x', out[1]);
}

} // namespace

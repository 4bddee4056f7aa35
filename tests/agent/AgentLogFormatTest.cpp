#include "OrvaneAgent/AgentLog.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

TEST(AgentLogFormatTest, FormatsAsTheAgentsMessagesExpect) {
    EXPECT_EQ(AgentLog::Format("Oldest Event Log Record = %Ld\n", 42), "Oldest Event Log Record = 42\n");
    EXPECT_EQ(AgentLog::Format("%Ld", -7), "-7");
    EXPECT_EQ(AgentLog::Format("hostName=%S\n", u"h\u00e9"), "hostName=h\xc3\xa9\n");
    EXPECT_EQ(AgentLog::Format("%ls|%s", u"wide", "narrow"), "wide|narrow");
    EXPECT_EQ(AgentLog::Format(" User_Shared_Data bias: %08x %08x \n\n", 0x21u, 0x87654321u),
              " User_Shared_Data bias: 00000021 87654321 \n\n");
    EXPECT_EQ(AgentLog::Format("%02d/%02d/%02d", 2005, 1, 2), "2005/01/02");
    EXPECT_EQ(AgentLog::Format("%d %u %X", INT_MIN, 4294967295u, 255u), "-2147483648 4294967295 FF");
    EXPECT_EQ(AgentLog::Format("[%5s][%-5s][%.2s]", "ab", "ab", "abc"), "[   ab][ab   ][ab]");
    EXPECT_EQ(AgentLog::Format("[%+d][% d][%05d][%-4d]", 3, 3, -3, 3), "[+3][ 3][-0003][3   ]");
    EXPECT_EQ(AgentLog::Format("%#x %#o %c %%", 255u, 8u, 'z'), "0xff 010 z %");
    EXPECT_EQ(AgentLog::Format("%lld %I64d", -5LL, 1LL << 40), "-5 1099511627776");
    EXPECT_EQ(AgentLog::Format("%s %S", static_cast<const char*>(nullptr), static_cast<const char16_t*>(nullptr)),
              "(null) (null)");
}

TEST(AgentLogFormatTest, OddFormatsAreWrittenAsTheyStand) {
    EXPECT_EQ(AgentLog::Format("100%"), "100%");
    EXPECT_EQ(AgentLog::Format("%q"), "%q");
}

TEST(AgentLogFormatTest, WideTextBecomesUtf8) {
    EXPECT_EQ(AgentLog::Format("%S", u"\U0001F600"), "\xF0\x9F\x98\x80");
    const char16_t lone[] = {0xD800, u'a', 0};
    EXPECT_EQ(AgentLog::Format("%S", lone), "\xEF\xBF\xBD" "a");
    const char16_t trailingHigh[] = {u'b', 0xDBFF, 0};
    EXPECT_EQ(AgentLog::Format("%S", trailingHigh), "b\xEF\xBF\xBD");
}

}  // namespace

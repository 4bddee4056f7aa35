#include "Core/ReportBuffer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::uint8_t> Bytes(const ReportBuffer& buffer) {
    return {buffer.GetData(), buffer.GetData() + buffer.GetLength()};
}

TEST(ReportBufferTest, NewBufferIsEmptyWith128Bytes) {
    ReportBuffer buffer;
    EXPECT_EQ(buffer.GetLength(), 0u);
    EXPECT_EQ(buffer.GetCapacity(), 128u);
}

TEST(ReportBufferTest, Int32IsLittleEndianAndGrowsByOneStep) {
    ReportBuffer buffer;
    buffer.AppendInt32(6005);
    EXPECT_EQ(Bytes(buffer), (std::vector<std::uint8_t>{0x75, 0x17, 0x00, 0x00}));
    for (int i = 1; i < 32; ++i) buffer.AppendInt32(-1);
    EXPECT_EQ(buffer.GetLength(), 128u);
    EXPECT_EQ(buffer.GetCapacity(), 128u);
    buffer.AppendInt32(7);
    EXPECT_EQ(buffer.GetLength(), 132u);
    EXPECT_EQ(buffer.GetCapacity(), 192u);
    EXPECT_EQ(buffer.GetInt32At(0), 6005);
    EXPECT_EQ(buffer.GetInt32At(4), -1);
    EXPECT_EQ(buffer.GetInt32At(128), 7);
}

TEST(ReportBufferTest, StringIsPackedWithItsZeroByte) {
    ReportBuffer buffer;
    buffer.AppendString(u"A\u00e9\u20ac");
    EXPECT_EQ(Bytes(buffer), (std::vector<std::uint8_t>{0x44, 0xE6, 0x04, 0xA3, 0x44, 0x00}));
    buffer.Reset();
    buffer.AppendString(u"");
    EXPECT_EQ(Bytes(buffer), (std::vector<std::uint8_t>{0x00}));
    buffer.AppendString(nullptr);
    EXPECT_EQ(buffer.GetLength(), 2u);
}

TEST(ReportBufferTest, LongStringGrowsUntilItFits) {
    // 199 ASCII units pack to 199 bytes plus the terminator: 200 bytes.
    const std::u16string text(199, u'x');
    ReportBuffer buffer;
    buffer.AppendString(text.c_str());
    EXPECT_EQ(buffer.GetLength(), 200u);
    EXPECT_EQ(buffer.GetCapacity(), 256u);
}

TEST(ReportBufferTest, ResetKeepsTheGrownBlock) {
    ReportBuffer buffer;
    const std::vector<std::uint8_t> payload(300, 0xAB);
    buffer.AppendBytes(payload.data(), 300);
    EXPECT_EQ(buffer.GetCapacity(), 320u);
    const std::uint8_t* block = buffer.GetData();
    buffer.Reset();
    EXPECT_EQ(buffer.GetLength(), 0u);
    buffer.AppendBytes(payload.data(), 300);
    EXPECT_EQ(buffer.GetData(), block);
    EXPECT_EQ(buffer.GetCapacity(), 320u);
}

TEST(ReportBufferTest, PutInt32AtOverwritesWithoutChangingLength) {
    ReportBuffer buffer;
    buffer.AppendInt32(1);
    buffer.AppendInt32(2);
    buffer.PutInt32At(4, 0x01020304);
    EXPECT_EQ(buffer.GetLength(), 8u);
    EXPECT_EQ(buffer.GetInt32At(4), 0x01020304);
    EXPECT_EQ(buffer.GetData()[4], 0x04);
}

}  // namespace

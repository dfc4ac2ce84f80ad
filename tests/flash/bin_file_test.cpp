#include <gtest/gtest.h>

#include <cstring>

#include "flash/bin_file.h"
#include "support/log_builder.h"

namespace {

BinImage image_with_difference(uint16_t d)
{
    BinImage img{};
    img[2] = 'Z';
    img[3] = 'O';
    img[4] = 'V';
    img[5] = '8';
    for (int i = 8; i < BIN_CAL_BYTES; ++i)
        img[i] = static_cast<uint8_t>(i * 7);
    complete_bin_image(img);
    uint16_t s = static_cast<uint16_t>(bin_checksum(img) + d);
    img[6] = static_cast<uint8_t>(s >> 8);
    img[7] = static_cast<uint8_t>(s);
    return img;
}

TEST(BinFile, TheTrailerHasItsAreasAndLabel)
{
    EXPECT_EQ(BIN_TRAILER[0], 0xFF);
    EXPECT_EQ(BIN_TRAILER[255], 0xFF);
    for (int i = 256; i < 512; ++i)
        ASSERT_EQ(BIN_TRAILER[i], 0x00);
    EXPECT_EQ(0, std::memcmp(BIN_TRAILER.data() + 528, "  ZOV_J8 Flash  ", 16));
    EXPECT_EQ(BIN_TRAILER[527], 0xFF);
    EXPECT_EQ(BIN_TRAILER[544], 0xFF);
    EXPECT_NE(BIN_TRAILER[624], 0xFF) << "the notice text";
    EXPECT_EQ(BIN_TRAILER[767], 0xFF);
}

TEST(BinFile, BalancingMakesTheSumEqualTheStoredChecksum)
{
    BinImage img = image_with_difference(0x0123);
    ASSERT_EQ(balance_checksum(img), 0);
    EXPECT_EQ(img[32256], 0xFF);
    EXPECT_EQ(img[32257], 0x24);
    EXPECT_EQ(img[32258], 0x00);
    EXPECT_EQ(bin_checksum(img), stored_checksum(img));

    for (uint32_t d : {0x0000u, 0x00FFu, 0x01FFu, 0x80C0u, 0xFEFFu, 0xFF00u}) {
        BinImage i = image_with_difference(static_cast<uint16_t>(d));
        ASSERT_EQ(balance_checksum(i), 0) << d;
        EXPECT_EQ(bin_checksum(i), stored_checksum(i)) << d;
        EXPECT_EQ(i[BIN_BALANCE_OFFSET + BIN_BALANCE_BYTES], 0xFF) << "nothing beyond the area for " << d;
    }
}

TEST(BinFile, DifferencesTooLargeForTheAreaAreBalancedByTheByteAfterIt)
{
    for (uint32_t d : {0xFF01u, 0xFF80u, 0xFFFFu}) {
        BinImage img = image_with_difference(static_cast<uint16_t>(d));
        ASSERT_EQ(balance_checksum(img), 0) << d;
        EXPECT_EQ(bin_checksum(img), stored_checksum(img)) << d;
        for (int i = 0; i < BIN_BALANCE_BYTES; ++i)
            ASSERT_EQ(img[BIN_BALANCE_OFFSET + i], 0) << d;
        EXPECT_EQ(img[BIN_BALANCE_OFFSET + BIN_BALANCE_BYTES], d - 0xFF01) << d;
    }
}

TEST(BinFile, TheCheckLooksAtTheSignatureOnly)
{
    EXPECT_EQ(bin_check(write_temp_file("six.bin", Bytes{1, 2, 'Z', 'O', 'V', '8'})), 0);
    EXPECT_EQ(bin_check(write_temp_file("five.bin", Bytes{1, 2, 'Z', 'O', 'V'})), -1);
    EXPECT_EQ(bin_check(write_temp_file("wrong.bin", Bytes{1, 2, 'Z', 'O', 'V', '9', 0, 0})), -1);
    EXPECT_EQ(bin_check(temp_dir() + "/absent.bin"), -1);
}

}  // namespace

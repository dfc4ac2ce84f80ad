// The updater's message area: 20 lines of 80 characters with their colours.
#include <gtest/gtest.h>

#include "update/message_area.h"

namespace {

int changes = 0;

class MessageAreaTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        reset_message_area();
        changes = 0;
        g_message_area.on_change = [] { ++changes; };
    }
    void TearDown() override { reset_message_area(); }
};

TEST_F(MessageAreaTest, ATwentyFirstLineDropsTheOldestAndTheRestMoveUpWithTheirColours)
{
    for (int i = 0; i < 21; ++i)
        add_message_line(i == 1 ? FLASH_ERROR : i == 20 ? FLASH_SUCCESS : FLASH_NORMAL, "line " + std::to_string(i));
    std::vector<MessageLine> lines = message_lines();
    ASSERT_EQ(lines.size(), 20u);
    EXPECT_EQ(lines[0].text.substr(0, 7), "line 1 ");
    EXPECT_EQ(lines[0].colour, FLASH_ERROR);
    EXPECT_EQ(lines[19].text.substr(0, 8), "line 20 ");
    EXPECT_EQ(lines[19].colour, FLASH_SUCCESS);
    EXPECT_EQ(lines[18].colour, FLASH_NORMAL);
    EXPECT_EQ(changes, 21) << "the window hears of every line";

    clear_message_area();
    EXPECT_TRUE(message_lines().empty());
    add_message_line(FLASH_FAILURE, "again");
    ASSERT_EQ(message_lines().size(), 1u) << "a cleared area fills from the top";
}

TEST_F(MessageAreaTest, LinesArePaddedToEightyCharactersAndLongerOnesCut)
{
    add_message_line(FLASH_NORMAL, "");
    add_message_line(FLASH_NORMAL, std::string(79, 'a') + "bc");
    std::vector<MessageLine> lines = message_lines();
    EXPECT_EQ(lines[0].text, std::string(80, ' '));
    EXPECT_EQ(lines[1].text, std::string(79, 'a') + "b");
}

}  // namespace

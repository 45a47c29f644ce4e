// The keys of the 3-D view: what each one changes, asks to redraw and prints.
#include <gtest/gtest.h>

#include <cmath>
#include <iostream>
#include <sstream>
#include <string>

#include "board/board.h"
#include "render/camera.h"
#include "ui/keyboard.h"

namespace {

int redisplays;

class Keys : public ::testing::Test {
protected:
    void SetUp() override
    {
        reset_board();
        redisplays = 0;
        board_seams = {[] { redisplays++; }, nullptr, nullptr};
        eye = {1.25f, 1.0f, 1.0f};
        const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
        std::copy(identity, identity + 16, view_rotation);
    }
    void TearDown() override { board_seams = {nullptr, nullptr, nullptr}; }

    // What the keys print, byte for byte.
    static std::string output_of(const std::string &keys)
    {
        std::ostringstream captured;
        std::streambuf *old = std::cout.rdbuf(captured.rdbuf());
        for (unsigned char k : keys) handle_key(k, 0, 0);
        std::cout.rdbuf(old);
        return captured.str();
    }
    static std::string zeros_line(int n)
    {
        std::string s;
        for (int i = 0; i < n; i++) s += " 0";
        return s + "\n";
    }
};

TEST_F(Keys, HelpTextIsExact)
{
    const std::string help =
        "Table of contents:\n___________________\n"
        "Block Movement Controls:\n"
        "  W  \n"
        " A D \n"
        "  S  \n"
        "Space : Place block\n"
        "p : Print Height Matrix\n"
        "v : Print View Matrix\n"
        "r : Reset the transformation matricies\n"
        "q : Exit the program\n";
    EXPECT_EQ(output_of("h"), help);
    EXPECT_EQ(output_of("H"), help);
}

TEST_F(Keys, HeightMatrixPrintsTheCurrentBoardRowByRow)
{
    std::string empty;
    for (int r = 0; r < 10; r++) empty += zeros_line(10);
    EXPECT_EQ(output_of("p"), empty);

    std::string placed = " 1 1 0 0 0 0 0 0 0 0\n 1 1 0 0 0 0 0 0 0 0\n";
    for (int r = 2; r < 10; r++) placed += zeros_line(10);
    EXPECT_EQ(output_of(" p"), placed);

    // "d" moves one column right, "w" one row back; the second brick lands on the first.
    const std::string expected = " 1 1 0 0 0 0 0 0 0 0\n 1 2 2 0 0 0 0 0 0 0\n 0 2 2 0 0 0 0 0 0 0\n";
    EXPECT_EQ(output_of("dw p").substr(0, expected.size()), expected);

    set_base_size(3);
    const std::string big = output_of("p");
    EXPECT_EQ(std::count(big.begin(), big.end(), '\n'), 30);
    EXPECT_EQ(big.substr(big.size() - zeros_line(30).size()), zeros_line(30));
}

TEST_F(Keys, ViewMatrixPrintsColumnsInDefaultNotation)
{
    EXPECT_EQ(output_of("v"), "\n1 0 0 0 \n0 1 0 0 \n0 0 1 0 \n0 0 0 1 \n");
    const float c = std::cos(0.5f), s = std::sin(0.5f);
    const float turned[16] = {c, 0, -s, 0, 0, 1, 0, 0, s, 0, c, 0, 0, 0, 0, 1};
    std::copy(turned, turned + 16, view_rotation);
    view_rotation[4] = 1e-9f;
    EXPECT_EQ(output_of("v"),
              "\n0.877583 0 -0.479426 0 \n1e-09 1 0 0 \n0.479426 0 0.877583 0 \n0 0 0 1 \n");
}

TEST_F(Keys, MoveKeysMoveTheCursorAndAskForARedraw)
{
    output_of("w");
    EXPECT_EQ(cursor.z, 1);
    output_of("d");
    EXPECT_EQ(cursor.x, 1);
    output_of("s");
    EXPECT_EQ(cursor.z, 0);
    output_of("a");
    EXPECT_EQ(cursor.x, 0);
    EXPECT_EQ(redisplays, 4);
    output_of("as");  // refused at the edges, redrawn all the same
    EXPECT_EQ(redisplays, 6);
}

TEST_F(Keys, SpacePlacesWithTheRedrawOfThePlacementOnly)
{
    output_of(" ");
    EXPECT_EQ(blocks.size(), 1u);
    EXPECT_EQ(redisplays, 1);
}

TEST_F(Keys, ResetKeyMovesTheEyeOnly)
{
    look_center = {1.25f, 0, -1.25f};
    camera_reset_pending = 0;
    output_of("r");
    EXPECT_EQ(eye.x, 1.0f);
    EXPECT_EQ(eye.y, 2.0f);
    EXPECT_EQ(eye.z, 2.0f);
    EXPECT_EQ(look_center.z, -1.25f);
    EXPECT_EQ(camera_reset_pending, 0);
    output_of("R");
    EXPECT_EQ(eye.x, 1.0f);
    EXPECT_EQ(redisplays, 2);
}

TEST_F(Keys, OtherKeysChangeNothingAndPrintNothing)
{
    std::string others = "WASDPVxyz0\x1b\r\b\t";
    others += char(200);
    others += char(255);
    EXPECT_EQ(output_of(others), "");
    EXPECT_EQ(redisplays, 0);
    EXPECT_EQ(cursor.x, 0);
    EXPECT_EQ(cursor.z, 0);
    EXPECT_TRUE(blocks.empty());
    output_of("pvh");  // reports only
    EXPECT_EQ(redisplays, 0);
    EXPECT_TRUE(blocks.empty());
}

TEST(KeysDeathTest, QuitEndsTheProcessWithStatusZero)
{
    EXPECT_EXIT(handle_key('q', 0, 0), ::testing::ExitedWithCode(0), "");
    EXPECT_EXIT(handle_key('Q', 0, 0), ::testing::ExitedWithCode(0), "");
}

}  // namespace

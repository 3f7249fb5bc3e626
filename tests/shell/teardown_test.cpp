// Teardown in every state it can be called in.
#include "shell_fixture.h"

namespace {

int RestoreCalls()
{
    int n = 0;
    for (const spy::ModeChange &change : spy::Get().modes) {
        if (!change.withMode) {
            EXPECT_EQ(change.flags, 0U);
            ++n;
        }
    }
    return n;
}

TEST_F(ShellTest, TeardownBeforeAnyContextStillAsksToQuit)
{
    TearDownGL();
    int exitCode = -1;
    EXPECT_TRUE(TakeQuit(&exitCode));
    EXPECT_EQ(exitCode, 0);
    EXPECT_TRUE(Record().boxes.empty());
    EXPECT_EQ(RestoreCalls(), 0);
}

TEST_F(ShellTest, RepeatedTeardownRestoresOnlyAChangedMode)
{
    for (int fullscreen : {0, 1}) {
        SCOPED_TRACE(fullscreen);
        SetUp();
        RegisterProgramClass();
        ASSERT_NE(CreatePopup(640, 480), nullptr);
        g_fullscreen = fullscreen;

        TearDownGL();
        EXPECT_EQ(Record().contextsDeleted, 1);
        EXPECT_EQ(Record().current, 0U);
        // The second call finds the context gone; that fails quietly.
        TearDownGL();
        EXPECT_EQ(Record().contextsDeleted, 1);
        EXPECT_EQ(RestoreCalls(), fullscreen == 1 ? 2 : 0);
        EXPECT_EQ(g_fullscreen, fullscreen) << "teardown leaves the flag alone";

        // Two requests before retrieval make one WM_QUIT.
        EXPECT_TRUE(TakeQuit());
        EXPECT_FALSE(TakeQuit());
        // A request after retrieval makes another.
        TearDownGL();
        EXPECT_TRUE(TakeQuit());
        EXPECT_EQ(RestoreCalls(), fullscreen == 1 ? 3 : 0);
        EXPECT_TRUE(Record().boxes.empty());
    }
}

} // namespace

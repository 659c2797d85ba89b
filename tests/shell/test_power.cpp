// Keeping the computer awake: the request the calling thread holds, seen through the platform's own
// report of the previous state.
#include <gtest/gtest.h>

#include "shell/power.h"

TEST(Power, test_stay_awake_asks_for_the_system_not_the_display_until_let_go) {
    ASSERT_TRUE(Power_StayAwake());
    // SetThreadExecutionState answers with the state it replaces.
    EXPECT_EQ(SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED),
              static_cast<EXECUTION_STATE>(ES_CONTINUOUS | ES_SYSTEM_REQUIRED))
        << "expected a continuous system request without the display";
    Power_LetGo();
    EXPECT_EQ(SetThreadExecutionState(ES_CONTINUOUS), static_cast<EXECUTION_STATE>(ES_CONTINUOUS))
        << "expected no request after letting go";
    // Asking twice holds one request, which one let-go ends.
    ASSERT_TRUE(Power_StayAwake());
    ASSERT_TRUE(Power_StayAwake());
    Power_LetGo();
    EXPECT_EQ(SetThreadExecutionState(ES_CONTINUOUS), static_cast<EXECUTION_STATE>(ES_CONTINUOUS));
}

// The pause after lookups that reached no server, on the clock values it is handed.
#include "core/network_pause.h"

#include <gtest/gtest.h>

namespace {

TEST(NetworkPause, ThreeFailuresInARowPauseForAMinuteUntilTimeOrSuccessEndsIt) {
    CNetworkPause pause;
    std::wstring strError;
    pause.OnUnreachable(1000, L"e1");
    pause.OnUnreachable(2000, L"e2");
    pause.OnReached();  // a server answered: the count starts again
    pause.OnUnreachable(3000, L"e3");
    pause.OnUnreachable(4000, L"e4");
    EXPECT_FALSE(pause.IsPaused(4500, strError));
    pause.OnUnreachable(5000, L"e5");
    EXPECT_TRUE(pause.IsPaused(5000, strError));
    EXPECT_EQ(L"e5", strError);
    EXPECT_TRUE(pause.IsPaused(5000 + kNetworkPauseMs - 1, strError));
    EXPECT_FALSE(pause.IsPaused(5000 + kNetworkPauseMs, strError));
    // After the pause one failure is not enough for the next one.
    pause.OnUnreachable(70000, L"e6");
    EXPECT_FALSE(pause.IsPaused(70001, strError));
    pause.OnUnreachable(71000, L"e7");
    pause.OnUnreachable(72000, L"e8");
    EXPECT_TRUE(pause.IsPaused(72001, strError));
    pause.OnReached();
    EXPECT_FALSE(pause.IsPaused(72002, strError));
}

}  // namespace

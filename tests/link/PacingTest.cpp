#include "link/Pacing.h"

#include <gtest/gtest.h>

TEST(TPacing, Shrunk_DividesEveryPeriodButNeverReachesZero)
{
    const TPacing p = TPacing::Shrunk(100000);
    EXPECT_EQ(p.ComFrameTimeout.count(), 1);
    EXPECT_EQ(p.RetryPause.count(), 1);
    EXPECT_EQ(p.SignalRepeat.count(), 1);
    const TPacing q = TPacing::Shrunk(10);
    EXPECT_EQ(q.ComFrameTimeout.count(), 500);
    EXPECT_EQ(q.UsbFrameTimeout.count(), 300);
}

// The download's pump must let waiting messages through promptly, but not look at the
// queue on every 1 KiB chunk (each look is a trip to the window server under Wine).
#include "updater/window/message_pump_win32.h"

#include <gtest/gtest.h>

namespace {

bool Queued() {
    MSG msg;
    return PeekMessageW(&msg, nullptr, WM_APP, WM_APP, PM_NOREMOVE) != 0;
}

TEST(Win32MessagePump, DispatchesWaitingMessagesAtMostOncePerInterval) {
    window::Win32MessagePump pump(200);
    ASSERT_TRUE(PostThreadMessageW(GetCurrentThreadId(), WM_APP, 0, 0));
    pump.ProcessPending();
    EXPECT_FALSE(Queued()) << "the first call must empty the queue";

    ASSERT_TRUE(PostThreadMessageW(GetCurrentThreadId(), WM_APP, 0, 0));
    pump.ProcessPending();
    EXPECT_TRUE(Queued()) << "a call within the interval must not look at the queue";

    Sleep(250);
    pump.ProcessPending();
    EXPECT_FALSE(Queued()) << "after the interval the queue is emptied again";
}

}  // namespace

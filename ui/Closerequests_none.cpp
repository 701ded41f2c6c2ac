#include "ui/Closerequests.h"

// Windows has no client leader window: every close request reaches the
// window it is meant for.
void HonourCloseRequestsOutsideWindows(QWidget *window)
{
    (void)window;
}

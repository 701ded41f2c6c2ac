#pragma once

class QWidget;

// Close requests that reach the program outside its windows. Under X11 the
// toolkit keeps a hidden "client leader" window that carries the program's
// name as its title, the same title as the main window; a close request sent
// by a client that picks the window by its title alone could land there and
// was silently dropped. The leader gets a title of its own, and a close
// request sent to it closes `window` as one sent to the window itself would
// (refused while a modal dialog is open, like the window's own close).
// Call once the window has been shown; nothing happens on other platforms or
// on a platform without X11 (offscreen).
void HonourCloseRequestsOutsideWindows(QWidget *window);

// The title the client leader gets.
inline constexpr const char *kClientLeaderTitle = "zelvo-marlune client leader";

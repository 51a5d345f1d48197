#pragma once
// How the window's repaints reach an X server.

// On X11 the window's repaints are a few small rectangles on every monitor
// tick. Through shared memory each one costs the X server's completion event,
// which wakes Qt's X reader thread and then the window's thread once more;
// sent over the X connection they cost less (a sixth less processor time on
// the Encoder Position page, a third less on "Torvik Status" with Draw on).
// A full-window repaint, rare, copies its pixels over the connection instead.
// Call before the QApplication is made. K417_XCB_SHM=1 keeps shared memory,
// and a QT_XCB_NO_MITSHM of the user's own is left as it is.
void SendRepaintsOverTheXConnection();

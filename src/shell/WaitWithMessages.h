#pragma once
// Waiting without freezing the window.

// Handles window events until ms milliseconds have passed, sleeping in the
// event loop between events rather than spinning. Events are handled at least
// once, even for 0 or a negative wait; returns at once when the application
// is quitting. Timer ticks, clicks and repaints can run during the wait.
void WaitWithMessages(int ms);

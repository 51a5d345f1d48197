#pragma once
// Plugs the pages and cycles of the subsystems into the window: page
// contents, page-change and connection-reset handlers, the monitor tick.
// The program and the window tests both call it, so tests see the whole tool.

class MainWindow;

void InstallSubsystems(MainWindow& window);

#pragma once
// Puts the position page into the main window and runs the monitor cycle on
// its loop timer. The identification and datasheet pages hand their family
// scale and field lengths to the position page.

#include "biss/BissInstall.h"

class MainWindow;
class MonitorCycle;
class PositionPage;

struct MonitorParts {
    PositionPage* position = nullptr;
    MonitorCycle* cycle = nullptr; // owned by the window
};

MonitorParts InstallMonitor(MainWindow& window, const BissPages& biss);

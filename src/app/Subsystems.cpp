#include "app/Subsystems.h"

#include "app/MainWindow.h"
#include "biss/BissInstall.h"
#include "monitor/MonitorInstall.h"

void InstallSubsystems(MainWindow& window)
{
    // Subsystems register here as their pages come: identification and
    // direct registers, datasheet, monitor cycle and displays, service pages.
    const BissPages biss = InstallBissPages(window);
    // Last: it also creates the firmware-dependent controls no page has made.
    InstallMonitor(window, biss);
}

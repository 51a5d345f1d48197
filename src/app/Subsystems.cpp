#include "app/Subsystems.h"

#include "app/MainWindow.h"

void InstallSubsystems(MainWindow& window)
{
    // Subsystems register here as their pages come: identification and
    // direct registers, datasheet, monitor cycle and displays, service pages.
    (void)window;
}

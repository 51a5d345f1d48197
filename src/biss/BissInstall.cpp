#include "biss/BissInstall.h"

#include "app/MainWindow.h"
#include "biss/DirectRegistersPage.h"
#include "biss/EdsPage.h"

BissPages InstallBissPages(MainWindow& window)
{
    BissPages pages;
    pages.direct = new DirectRegistersPage(window);
    window.InstallPage(Page::TabRegDirect, pages.direct);
    DirectRegistersPage* direct = pages.direct;
    pages.eds = new EdsPage(window, [direct] { return direct->ProfileIsBp3(); });
    window.InstallPage(Page::TabEDS, pages.eds);
    return pages;
}

#include "app/PageList.h"

#include "biss/ui/BankBrowserPage.h"
#include "biss/ui/DirectRegistersPage.h"
#include "biss/ui/EdsPage.h"
#include "encoder/ui/CalibrationPage.h"
#include "encoder/ui/DebugPage.h"
#include "encoder/ui/ErrorMapPage.h"
#include "encoder/ui/QuenraConfigPage.h"
#include "encoder/ui/TorvikConfigPage.h"
#include "encoder/ui/UserMemoryPage.h"
#include "link/ui/InterfaceSettingsPage.h"
#include "monitor/ui/PositionPage.h"
#include "monitor/ui/QuenraStatusPage.h"
#include "monitor/ui/TestPage.h"
#include "monitor/ui/TorvikStatusPage.h"
#include "production/ui/ProductionTestPage.h"

namespace {
template <class P>
PageEntry Entry(PageId id)
{
    return PageEntry{id, [](Shell& shell) -> Page* { return new P(shell); }};
}
} // namespace

std::vector<PageEntry> ServicePages()
{
    return {
        Entry<InterfaceSettingsPage>(PageId::TabSettings),
        Entry<PositionPage>(PageId::TabPosition),
        Entry<DirectRegistersPage>(PageId::TabRegDirect),
        Entry<EdsPage>(PageId::TabEDS),
        Entry<UserMemoryPage>(PageId::TabUserMem),
        Entry<BankBrowserPage>(PageId::TabRegBanks),
        Entry<TorvikStatusPage>(PageId::TabTorvikStatus),
        Entry<TorvikConfigPage>(PageId::TabTorvikConfig),
        Entry<ErrorMapPage>(PageId::TabTorvikErrorMap),
        Entry<CalibrationPage>(PageId::tabTorvikCalibration),
        Entry<DebugPage>(PageId::TabTorvikDebug),
        Entry<QuenraConfigPage>(PageId::tabQuenraConfig),
        Entry<QuenraStatusPage>(PageId::tabQuenraStatus),
        Entry<TestPage>(PageId::tabTest),
        Entry<ProductionTestPage>(PageId::tabProduction),
    };
}

#pragma once
// The fourteen pages of the main window, in tab order: their ids, object
// names and captions, and the rules for which tabs are shown.

#include "session/Session.h"

#include <array>
#include <bitset>
#include <string_view>

enum class PageId {
    TabSettings = 0,
    TabPosition = 1,
    TabRegDirect = 2,
    TabEDS = 3,
    TabUserMem = 4,
    TabRegBanks = 5,
    TabTorvikStatus = 6,
    TabTorvikConfig = 7,
    TabTorvikErrorMap = 8,
    tabTorvikCalibration = 9,
    TabTorvikDebug = 10,
    tabQuenraConfig = 11,
    tabQuenraStatus = 12,
    tabTest = 13,
    tabProduction = 14, // shown with the production panel, not among the service pages
};

// The fourteen service pages; the tabs add the production test page.
inline constexpr int kPageCount = 14;
inline constexpr int kTabCount = kPageCount + 1;

struct PageInfo {
    PageId page;
    std::string_view objectName;
    std::string_view caption;
};

inline constexpr std::array<PageInfo, kPageCount> kPages{{
    {PageId::TabSettings, "TabSettings", "Interface Settings"},
    {PageId::TabPosition, "TabPosition", "Encoder Position"},
    {PageId::TabRegDirect, "TabRegDirect", "Direct registers"},
    {PageId::TabEDS, "TabEDS", "EDS"},
    {PageId::TabUserMem, "TabUserMem", "User mem"},
    {PageId::TabRegBanks, "TabRegBanks", "BiSS Banks"},
    {PageId::TabTorvikStatus, "TabTorvikStatus", "Torvik Status"},
    {PageId::TabTorvikConfig, "TabTorvikConfig", "Torvik Config"},
    {PageId::TabTorvikErrorMap, "TabTorvikErrorMap", "Error Map"},
    {PageId::tabTorvikCalibration, "tabTorvikCalibration", "Calibration"},
    {PageId::TabTorvikDebug, "TabTorvikDebug", "Debug"},
    {PageId::tabQuenraConfig, "tabQuenraConfig", "Quenra Config"},
    {PageId::tabQuenraStatus, "tabQuenraStatus", "Quenra Status"},
    {PageId::tabTest, "tabTest", "Test"},
}};
inline constexpr PageInfo kProductionPage{PageId::tabProduction, "tabProduction", "Production test"};

constexpr int PageIndex(PageId page)
{
    return static_cast<int>(page);
}

// A set of pages, indexed by PageIndex().
using PageSet = std::bitset<kPageCount>;

// Tabs of pages 3-13 shown after identifying a maker's encoder: by family,
// and "EDS" when the datasheet bank is known. Bits 0-2 are never set here:
// those tabs are not touched.
PageSet IdentifiedPages(const EncoderCapabilities& capabilities);

// Which tabs are shown. Connecting to a box hides everything from "EDS" on;
// the identification shows pages by family; the service gestures reveal more.
class PageVisibility {
public:
    PageVisibility() { visible_.fill(true); }
    bool Visible(PageId page) const { return visible_[static_cast<size_t>(PageIndex(page))]; }
    void Set(PageId page, bool visible) { visible_[static_cast<size_t>(PageIndex(page))] = visible; }

    // After a box has been found: pages from "EDS" on are hidden; the first three keep their state.
    void HideEncoderPages()
    {
        for (int i = PageIndex(PageId::TabEDS); i < kPageCount; ++i)
            visible_[static_cast<size_t>(i)] = false;
    }
    // Service gesture: "User mem", "BiSS Banks", "Test", and "Error Map" for a Torvik part number.
    void RevealService(std::string_view partNumber)
    {
        Set(PageId::TabUserMem, true);
        Set(PageId::TabRegBanks, true);
        Set(PageId::tabTest, true);
        if (partNumber.substr(0, 2) == "TV")
            Set(PageId::TabTorvikErrorMap, true);
    }
    // Full-service gesture: every page.
    void RevealAll() { visible_.fill(true); }

private:
    std::array<bool, kPageCount> visible_{};
};

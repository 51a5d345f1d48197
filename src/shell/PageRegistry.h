#pragma once
// The fourteen pages of the main window, in tab order.

#include <array>
#include <string_view>

enum class Page {
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
};

inline constexpr int kPageCount = 14;

struct PageInfo {
    Page page;
    std::string_view objectName;
    std::string_view caption;
};

inline constexpr std::array<PageInfo, kPageCount> kPages{{
    {Page::TabSettings, "TabSettings", "Interface Settings"},
    {Page::TabPosition, "TabPosition", "Encoder Position"},
    {Page::TabRegDirect, "TabRegDirect", "Direct registers"},
    {Page::TabEDS, "TabEDS", "EDS"},
    {Page::TabUserMem, "TabUserMem", "User mem"},
    {Page::TabRegBanks, "TabRegBanks", "BiSS Banks"},
    {Page::TabTorvikStatus, "TabTorvikStatus", "Torvik Status"},
    {Page::TabTorvikConfig, "TabTorvikConfig", "Torvik Config"},
    {Page::TabTorvikErrorMap, "TabTorvikErrorMap", "Error Map"},
    {Page::tabTorvikCalibration, "tabTorvikCalibration", "Calibration"},
    {Page::TabTorvikDebug, "TabTorvikDebug", "Debug"},
    {Page::tabQuenraConfig, "tabQuenraConfig", "Quenra Config"},
    {Page::tabQuenraStatus, "tabQuenraStatus", "Quenra Status"},
    {Page::tabTest, "tabTest", "Test"},
}};

constexpr int PageIndex(Page page)
{
    return static_cast<int>(page);
}

// Which tabs are shown. Connecting to a box hides everything from "EDS" on;
// the identification shows pages by family; the service gestures reveal more.
class PageVisibility {
public:
    PageVisibility() { visible_.fill(true); }
    bool Visible(Page page) const { return visible_[static_cast<size_t>(PageIndex(page))]; }
    void Set(Page page, bool visible) { visible_[static_cast<size_t>(PageIndex(page))] = visible; }

    // After a box has been found: pages from "EDS" on are hidden; the first three keep their state.
    void HideEncoderPages()
    {
        for (int i = PageIndex(Page::TabEDS); i < kPageCount; ++i)
            visible_[static_cast<size_t>(i)] = false;
    }
    // Service gesture: "User mem", "BiSS Banks", "Test", and "Error Map" for a Torvik part number.
    void RevealService(std::string_view partNumber)
    {
        Set(Page::TabUserMem, true);
        Set(Page::TabRegBanks, true);
        Set(Page::tabTest, true);
        if (partNumber.substr(0, 2) == "TV")
            Set(Page::TabTorvikErrorMap, true);
    }
    // Full-service gesture: every page.
    void RevealAll() { visible_.fill(true); }

private:
    std::array<bool, kPageCount> visible_{};
};

#include "StationHistory.h"

#include "RecordTime.h"
#include "SqliteStore.h"

#include <filesystem>

#include <cstdio>
#include <cstdlib>

std::string ChooseStoreLocation(const std::string& commandLine, const std::string& setting)
{
    if (!commandLine.empty())
        return commandLine;
    if (const char* named = std::getenv("K417_DB"); named && *named)
        return named;
    if (!setting.empty())
        return setting;
    return DefaultStoreLocation();
}

bool SpoolHoldsRuns(const std::string& location)
{
    if (!IsPlantLocation(location))
        return false;
    const std::string spool = DefaultSpoolLocation();
    std::error_code error;
    if (!std::filesystem::exists(spool, error))
        return false;
    auto store = SqliteStore::Open(spool);
    RunFilter one;
    one.limit = 1;
    return store && !store->List(one).empty();
}

std::string LocalDate(std::int64_t ms)
{
    return MsToIsoTime(ms).substr(0, 10);
}

HistoryView ReadHistory(RecordStore& store, const std::string& serial, int limit, std::int64_t nowMs)
{
    HistoryView view;
    RunFilter filter;
    filter.serial = serial;
    filter.limit = limit;
    view.runs = store.List(filter, &view.status);
    StoreStatus read;
    for (const std::string& id : store.SpooledRunIds(&read))
        view.spooled.insert(id);

    // The day from its local midnight to the next one (23 to 25 hours away
    // where the clocks change).
    view.day = LocalDate(nowMs);
    RunFilter day;
    day.since = view.day;
    const std::int64_t midnight = IsoTimeToMs(view.day).value_or(nowMs);
    day.until = LocalDate(midnight + 36 * 3600 * 1000LL);
    StoreStatus counted;
    view.dayYield = ComputeYield(store.CollectYieldFacts(day, &counted), YieldGrouping::None).total;
    for (const StoreStatus& s : {read, counted})
        if (view.status && !s)
            view.status = s;
    return view;
}

std::string DayYieldText(const HistoryView& view)
{
    const YieldFigures& y = view.dayYield;
    if (y.runs == 0)
        return "Today: no runs yet";
    char text[160];
    std::snprintf(text, sizeof text, "Today: first pass %.1f %%, final %.1f %% of %d %s, %d %s", y.FirstPassYield(),
                  y.FinalYield(), y.units, y.units == 1 ? "unit" : "units", y.runs, y.runs == 1 ? "run" : "runs");
    return text;
}

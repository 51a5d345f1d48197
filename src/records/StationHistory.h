#pragma once
// What a station's window asks of its record store: which store it is (the
// command line, K417_DB or the window's setting), the last runs with the
// ones still kept in the station's spool marked, and the day's yield.

#include "RecordStore.h"

#include <set>
#include <string>
#include <vector>

// The store the window uses: the command line's --db, else $K417_DB, else
// the window's setting, else the station's default file.
std::string ChooseStoreLocation(const std::string& commandLine, const std::string& setting);

// Whether the station's spool holds runs for the store at location: only a
// plant's store has a spool, and the file is read without reaching the
// server (a window asks this every minute).
bool SpoolHoldsRuns(const std::string& location);

// This station's local date of an instant, "2026-12-09".
std::string LocalDate(std::int64_t ms);

struct HistoryView {
    std::vector<RunRecord> runs;   // newest first, without their steps
    std::set<std::string> spooled; // runs of the list still kept in the station's spool
    std::string day;               // the day of the yield, "2026-12-09"
    YieldFigures dayYield;         // of every run of that day in the store
    StoreStatus status;            // why some of it could not be read
};

// The last runs (of one serial when it is not empty) and the yield of the
// day that holds nowMs.
HistoryView ReadHistory(RecordStore& store, const std::string& serial, int limit, std::int64_t nowMs);

// "Today: first pass 92.3 %, final 96.2 % of 26 units, 29 runs".
std::string DayYieldText(const HistoryView& view);

#pragma once
// Fresh record stores for tests: a SQLite file in a scratch folder, or a new
// database on the test PostgreSQL server ($K417_TEST_PG).

#include "records/RecordStore.h"

#include <ostream>
#include <string>
#include <vector>

struct StoreKind {
    std::string name; // "sqlite", "postgresql"
};
inline void PrintTo(const StoreKind& kind, std::ostream* out)
{
    *out << kind.name;
}

// The kinds this run can test; PostgreSQL when $K417_TEST_PG names a server.
std::vector<StoreKind> TestedStoreKinds();

// A scratch folder, removed with its contents at the end.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

// A new empty store of a kind: its location (a file in folder, or the URI of
// a database made for it).
std::string NewStoreLocation(const StoreKind& kind, const ScratchFolder& folder);

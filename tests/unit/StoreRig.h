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

// Every kind: SQLite and PostgreSQL. The PostgreSQL server is the one
// $K417_TEST_PG names, else the one ctest's pg_server fixture started; a
// test of that kind fails, saying so, when there is none.
std::vector<StoreKind> TestedStoreKinds();

// The URI of the test server's maintenance database; throws when there is
// no test server.
std::string TestServerUri();
// The URI of a new, empty database on the test server.
std::string NewTestDatabase();
// The URI with its database replaced.
std::string WithDatabase(const std::string& uri, const std::string& database);

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
// a database made for it; the PostgreSQL kind's spool is put in folder).
std::string NewStoreLocation(const StoreKind& kind, const ScratchFolder& folder);

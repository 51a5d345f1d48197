#include "StoreRig.h"

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <libpq-fe.h>
#include <stdexcept>
#include <unistd.h>

std::vector<StoreKind> TestedStoreKinds()
{
    return {{"sqlite"}, {"postgresql"}};
}

std::string TestServerUri()
{
    if (const char* pg = std::getenv("K417_TEST_PG"); pg && *pg)
        return pg;
#ifdef K417_TEST_PG_FILE
    std::ifstream file(K417_TEST_PG_FILE);
    std::string uri;
    if (std::getline(file, uri) && !uri.empty())
        return uri;
#endif
    throw std::runtime_error("no test PostgreSQL server: run the test through ctest (its pg_server fixture starts "
                             "one with scripts/pg-test-server.sh) or set K417_TEST_PG to a server's URI");
}

std::string WithDatabase(const std::string& uri, const std::string& database)
{
    size_t query = uri.find('?');
    std::string head = uri.substr(0, query);
    std::string tail = query == std::string::npos ? std::string() : uri.substr(query);
    size_t slash = head.find('/', head.find("://") + 3);
    return (slash == std::string::npos ? head : head.substr(0, slash)) + "/" + database + tail;
}

std::string NewTestDatabase()
{
    static std::atomic<int> counter{0};
    std::string uri = TestServerUri();
    std::string name = "k417_test_" + std::to_string(getpid()) + "_" + std::to_string(counter++);
    PGconn* conn = PQconnectdb(uri.c_str());
    std::string error;
    if (PQstatus(conn) != CONNECTION_OK) {
        error = PQerrorMessage(conn);
    } else {
        PQsetNoticeProcessor(conn, [](void*, const char*) {}, nullptr);
        PGresult* result = PQexec(conn, ("DROP DATABASE IF EXISTS " + name).c_str());
        PQclear(result);
        result = PQexec(conn, ("CREATE DATABASE " + name).c_str());
        if (PQresultStatus(result) != PGRES_COMMAND_OK)
            error = PQresultErrorMessage(result);
        PQclear(result);
    }
    PQfinish(conn);
    if (!error.empty())
        throw std::runtime_error("cannot make a test database on " + uri + ": " + error);
    return WithDatabase(uri, name);
}

ScratchFolder::ScratchFolder()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "k417-records-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("cannot make a scratch folder");
    path_ = pattern;
}

ScratchFolder::~ScratchFolder()
{
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::string NewStoreLocation(const StoreKind& kind, const ScratchFolder& folder)
{
    static std::atomic<int> counter{0};
    std::string name = "store" + std::to_string(counter++) + ".sqlite";
    if (kind.name == "sqlite")
        return folder.Path() + "/" + name;
    setenv("K417_SPOOL", (folder.Path() + "/spool.sqlite").c_str(), 1);
    return NewTestDatabase();
}

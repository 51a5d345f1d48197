#include "StoreRig.h"

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <unistd.h>

std::vector<StoreKind> TestedStoreKinds()
{
    std::vector<StoreKind> kinds{{"sqlite"}};
    if (const char* pg = std::getenv("K417_TEST_PG"); pg && *pg)
        kinds.push_back({"postgresql"});
    return kinds;
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
    throw std::runtime_error("no test server for " + kind.name);
}

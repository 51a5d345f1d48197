// The two CSV loaders with any file: the error map's lines parsed for a map
// of 4 or 8 pages, and the user memory's lines written into an encoder whose
// replies come from the input as well.

#include "FuzzPort.h"
#include "encoder/ErrorMap.h"
#include "encoder/UserMemory.h"

#include <memory>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    // The file: lines up to the first NUL; what follows answers the encoder's commands.
    const std::string input(reinterpret_cast<const char*>(data + 1), size - 1);
    const size_t end = input.find('\0');
    const std::string file = input.substr(0, end);
    CsvLineReader mapLines(file);
    ParseErrorMapFile(mapLines, data[0] & 1 ? 8 : 4, {});

    Link link;
    const std::string replies = end == std::string::npos ? std::string() : input.substr(end + 1);
    link.ComHandle = std::make_unique<FuzzPort>(reinterpret_cast<const uint8_t*>(replies.data()), replies.size());
    UserBankRange range;
    range.first = 24;
    range.last = static_cast<uint16_t>(24 + (data[0] >> 5));
    CsvLineReader memoryLines(file);
    LoadUserMemoryLines(link, range, memoryLines, {}, [](int) {});
    return 0;
}

// The two CSV loaders with any file: the error map's lines parsed for a map
// of 4 or 8 pages, and the user memory's lines written into an encoder whose
// replies come from the input as well.

#include "FuzzPort.h"
#include "encoder/ErrorMap.h"
#include "encoder/UserMemory.h"

#include <memory>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    // The file: lines up to the first NUL; what follows answers the encoder's commands.
    const std::string input(reinterpret_cast<const char*>(data + 1), size - 1);
    const size_t end = input.find('\0');
    const std::string file = input.substr(0, end);
    std::vector<std::string> lines;
    for (size_t at = 0; at <= file.size();) {
        const size_t next = file.find('\n', at);
        lines.push_back(file.substr(at, next == std::string::npos ? std::string::npos : next - at));
        if (next == std::string::npos)
            break;
        at = next + 1;
    }
    ParseErrorMapFile(lines, data[0] & 1 ? 8 : 4, {});

    Link link;
    const std::string replies = end == std::string::npos ? std::string() : input.substr(end + 1);
    link.ComHandle = std::make_unique<FuzzPort>(reinterpret_cast<const uint8_t*>(replies.data()), replies.size());
    UserBankRange range;
    range.first = 24;
    range.last = static_cast<uint16_t>(24 + (data[0] >> 5));
    LoadUserMemoryLines(link, range, lines, {}, [](int) {});
    return 0;
}

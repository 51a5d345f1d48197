#pragma once
// The register bank browser: any of the 256 banks as 64 rows of address and
// value. The read selects the bank, reads the selection back from register
// 0x40 to name the bank that is really selected, and reads its registers.
// It writes nothing but the selection, and leaves the bank selected.

#include "link/Link.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>

// The kind of bank by its number: "Device Config" (0-15), "Electronic
// Datasheet" (16-23), "User Memory" (24-87), nothing for the others.
const char* BankKindText(uint8_t bank);

// One row of the grid: "0x0A", "0x2C", "44".
using BankRow = std::array<std::string, 3>;

struct BankReadOutcome {
    bool ok = false;
    // The bank read back and its kind ("20 Electronic Datasheet", "100 "),
    // once the selection was read back.
    std::optional<std::string> description;
    std::optional<std::array<BankRow, 64>> rows; // when the bank was read
};
BankReadOutcome ReadRegisterBank(Link& link, uint8_t bank);

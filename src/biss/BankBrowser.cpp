#include "biss/BankBrowser.h"

#include <cstdio>

const char* BankKindText(uint8_t bank)
{
    if (bank <= 15)
        return "Device Config";
    if (bank <= 23)
        return "Electronic Datasheet";
    if (bank <= 87)
        return "User Memory";
    return "";
}

BankReadOutcome ReadRegisterBank(Link& link, uint8_t bank)
{
    BankReadOutcome out;
    if (!link.WriteRegister(0x40, bank) || !link.ReadRegisters(0x40, 1))
        return out;
    const uint8_t selected = link.RxBank[0];
    out.description = std::to_string(selected) + " " + BankKindText(selected);
    if (!link.ReadRegisters(0, 64))
        return out;
    std::array<BankRow, 64> rows;
    char hex[8];
    for (size_t r = 0; r < rows.size(); ++r) {
        std::snprintf(hex, sizeof hex, "0x%02X", static_cast<unsigned>(r));
        rows[r][0] = hex;
        std::snprintf(hex, sizeof hex, "0x%02X", static_cast<unsigned>(link.RxBank[r]));
        rows[r][1] = hex;
        rows[r][2] = std::to_string(link.RxBank[r]);
    }
    out.rows = rows;
    out.ok = true;
    return out;
}

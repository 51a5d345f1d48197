#include "link/Link.h"

#include "util/Text.h"

#include <algorithm>
#include <cctype>

namespace {
int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

std::string CommErrorText(int result)
{
    return "USB Comm Err " + std::to_string(result);
}

std::string Base36Six(uint32_t value)
{
    std::string text(6, '0');
    for (int i = 5; i >= 0; --i) {
        unsigned digit = value % 36;
        text[static_cast<size_t>(i)] = static_cast<char>(digit < 10 ? '0' + digit : 'A' + digit - 10);
        value /= 36;
    }
    return text;
}
} // namespace

std::string PadNumber(unsigned value, int width)
{
    std::string text = std::to_string(value);
    if (static_cast<int>(text.size()) < width)
        text.insert(0, static_cast<size_t>(width) - text.size(), '0');
    return text;
}

void Link::ForgetEncoder()
{
    EncoderSignature = TEncoderSignature{};
    AltFwVersionAddress = false;
    EdsProfileBank = kBankNotRead;
    UserBankFirst = kBankNotRead;
    UserBankLast = kBankNotRead;
    EdsDataLength = 0;
    EdsCommonChecksumOk = false;
    EdsProfileChecksumOk = false;
}

int Link::Transact(std::string_view command, std::string& reply)
{
    return SerialTransact(ComHandle.get(), command, 0, reply);
}

bool Link::Fail(const char* cause, const std::string& reply, const char* separator)
{
    LastErrorText = std::string(cause) + "\r\nCMD: " + command_ + separator + reply;
    return false;
}

bool Link::ReadRegisters(uint8_t address, uint8_t count)
{
    command_ = "R" + PadNumber(count, 2) + ":" + PadNumber(address, 3);
    int result = Transact(command_, reply_);
    EncoderPosition.ErrComm = result;
    if (result != 0) {
        LastErrorText = CommErrorText(result);
        return false;
    }
    const std::string reply = TrimControl(reply_);
    int delivered = -1;
    if (StartsWith(reply, "Error"))
        return Fail("Error", reply);
    if (StartsWith(reply, "3"))
        return Fail("BiSS Timeout", reply);
    if (StartsWith(reply, "2"))
        return Fail("Address > 127 or DataLength > 64", reply);
    if (StartsWith(reply, "1")) {
        Fail("End of bank reached", reply);
        if (reply.size() >= 4 && std::isdigit(static_cast<unsigned char>(reply[2])) &&
            std::isdigit(static_cast<unsigned char>(reply[3])))
            delivered = (reply[2] - '0') * 10 + (reply[3] - '0');
        if (delivered == 0) {
            LastErrorText += "\r\nNo data read";
            return false;
        }
    }
    if (reply.size() != 2u * count + 5u)
        return Fail("Not enough data received back", reply);
    // Never more than was asked for, nor more than the register image holds.
    int take = 0;
    if (StartsWith(reply, "0:00:"))
        take = count;
    else if (StartsWith(reply, "1"))
        take = delivered > 0 ? std::min<int>(delivered, count) : 0;
    take = std::min<int>(take, static_cast<int>(RxBank.size()));
    // Every pair must be hexadecimal before anything is stored.
    for (int i = 0; i < take; ++i) {
        if (HexDigit(reply[static_cast<size_t>(2 * i + 5)]) < 0 || HexDigit(reply[static_cast<size_t>(2 * i + 6)]) < 0)
            return Fail("Invalid data received", reply);
    }
    if (StartsWith(reply, "0:00:"))
        LastErrorText.clear();
    for (int i = 0; i < take; ++i) {
        RxBank[static_cast<size_t>(i)] = static_cast<uint8_t>(HexDigit(reply[static_cast<size_t>(2 * i + 5)]) * 16 +
                                                              HexDigit(reply[static_cast<size_t>(2 * i + 6)]));
    }
    return take > 0;
}

bool Link::WriteRegister(uint8_t address, uint8_t value)
{
    command_ = "Ws" + PadNumber(value, 3) + ":" + PadNumber(address, 3);
    int result = Transact(command_, reply_);
    if (result != 0) {
        LastErrorText = CommErrorText(result);
        return false;
    }
    const std::string reply = TrimControl(reply_);
    if (StartsWith(reply, "3"))
        return Fail("BiSS Timeout", reply);
    if (StartsWith(reply, "2"))
        return Fail("Address > 127", reply);
    if (StartsWith(reply, "1"))
        return Fail("Non-writable address", reply);
    if (StartsWith(reply, "0")) {
        LastErrorText.clear();
        return true;
    }
    return Fail("Unexpected result", reply);
}

bool Link::WriteRegisterBuffer(uint8_t address, uint8_t count)
{
    for (unsigned i = 0; i < count && i < TxBank.size(); ++i) {
        command_ = "Wbf" + PadNumber(i, 2) + ":" + PadNumber(TxBank[i], 3);
        int result = Transact(command_, reply_);
        if (result != 0) {
            LastErrorText = CommErrorText(result);
            return false;
        }
        if (StartsWith(reply_, "0"))
            continue;
        if (StartsWith(reply_, "1"))
            return Fail("Buffer write error (idx > 63 or data > 255)", reply_);
        return false;
    }
    command_ = "Wcn" + PadNumber(count, 2) + ":" + PadNumber(address, 3);
    int result = Transact(command_, reply_);
    if (result != 0) {
        LastErrorText = CommErrorText(result);
        return false;
    }
    const std::string reply = TrimControl(reply_);
    if (StartsWith(reply, "4"))
        return Fail("BiSS Timeout", reply, "RCV: ");
    if (StartsWith(reply, "3"))
        return Fail("Address > 127 or Data len > 64 or 0", reply);
    if (StartsWith(reply, "2"))
        return Fail("CRC error or incorrect Data len", reply);
    if (StartsWith(reply, "1"))
        return Fail("Non-writable address or bank end", reply);
    if (StartsWith(reply, "0:00")) {
        LastErrorText.clear();
        return true;
    }
    return false;
}

bool Link::ReadEncoderSignature()
{
    TEncoderSignature& sig = EncoderSignature;
    sig = TEncoderSignature{};
    if (!ReadRegisters(0x40, 64))
        return false;
    auto text = [&](size_t from, size_t to) {
        return CleanIdText(std::string(reinterpret_cast<const char*>(RxBank.data() + from), to - from + 1));
    };
    sig.EDS_Common_bank_num = RxBank[1];
    sig.Profile = RxBank[2];
    sig.SCD_DataLength = RxBank[3];
    sig.SerialNumber = RxBankValue(4, 4);
    sig.Zolvan_Serial = text(28, 35);
    sig.Zolvan_PartNumber = text(36, 55);
    sig.DeviceID = 0;
    for (size_t i = 56; i <= 61; ++i)
        sig.DeviceID = (sig.DeviceID << 8) | RxBank[i];
    sig.ManufacturerID = static_cast<uint16_t>(RxBank[62] * 256 + RxBank[63]);
    sig.Zolvan_SerialDecoded = Base36Six(sig.SerialNumber);

    bool result = false;
    const uint8_t versionAddress = AltFwVersionAddress ? 51 : 47;
    if (WriteRegister(0x40, 0) && ReadRegisters(versionAddress, 8)) {
        sig.Zolvan_FWverMajor = static_cast<uint16_t>(RxBankValue(0, 2));
        sig.Zolvan_FWverMinor = static_cast<uint16_t>(RxBankValue(2, 2));
        sig.Zolvan_FWverComm = static_cast<uint16_t>(RxBankValue(4, 2));
        sig.Zolvan_FWverSVN = static_cast<uint16_t>(RxBankValue(6, 2));
        sig.Zolvan_FWverStr = std::to_string(sig.Zolvan_FWverMajor) + "." + std::to_string(sig.Zolvan_FWverMinor) + "." +
                              std::to_string(sig.Zolvan_FWverComm) + "." + std::to_string(sig.Zolvan_FWverSVN);
        result = true;
    }
    if (sig.Zolvan_FWverMinor >= 5 && WriteRegister(0x40, 1) && ReadRegisters(0, 16))
        sig.Zolvan_ExtendedSerial = text(0, 15);
    return result;
}

void Link::ReadPosition()
{
    TEncoderPosition& pos = EncoderPosition;
    pos.ErrComm = Transact("4", pos.RxData);
    if (pos.ErrComm != 0)
        return;
    DecodePositionReply(pos, PositionMTLength, PositionSTLength);
}

uint32_t Link::RxBankValue(uint8_t start, uint8_t count) const
{
    uint32_t value = 0;
    for (unsigned i = 0; i < count && start + i < RxBank.size(); ++i)
        value = value * 256 + RxBank[start + i];
    return value;
}

std::string Link::RxBankValueText(uint8_t start, uint8_t count) const
{
    return std::to_string(RxBankValue(start, count));
}

#pragma once
// The link to the encoder through the interface box: the open port, the
// register images, the last error, and the register operations every page uses.

#include "link/Position.h"
#include "link/SerialPort.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>

using TBiSS_bank = std::array<uint8_t, 64>;

constexpr uint16_t kBankNotRead = 0xFFFF;

// Identification of the attached encoder, read from registers 0x40-0x7F and banks 0 and 1.
struct TEncoderSignature {
    uint16_t EDS_Common_bank_num = kBankNotRead;
    uint8_t Profile = 0;
    uint8_t SCD_DataLength = 0;
    uint64_t DeviceID = 0;
    uint32_t SerialNumber = 0;
    uint16_t ManufacturerID = 0;
    std::string Zolvan_Serial;
    std::string Zolvan_PartNumber;
    std::string Zolvan_SerialDecoded;
    std::string Zolvan_ExtendedSerial;
    std::string Zolvan_FWverStr;
    uint16_t Zolvan_FWverMajor = 0;
    uint16_t Zolvan_FWverMinor = 0;
    uint16_t Zolvan_FWverComm = 0;
    uint16_t Zolvan_FWverSVN = 0;
};

// Formats a number for a box command: decimal, zero-padded to width.
std::string PadNumber(unsigned value, int width);

class Link {
public:
    std::unique_ptr<SerialPort> ComHandle;
    TBiSS_bank RxBank{};
    TBiSS_bank TxBank{};
    std::string LastErrorText;
    TEncoderSignature EncoderSignature;
    TEncoderPosition EncoderPosition;
    uint8_t PositionMTLength = 0;
    uint8_t PositionSTLength = 0;
    bool AltFwVersionAddress = false;

    // Values derived from the electronic datasheet.
    uint16_t EdsProfileBank = kBankNotRead;
    uint16_t UserBankFirst = kBankNotRead;
    uint16_t UserBankLast = kBankNotRead;
    uint8_t EdsDataLength = 0;
    bool EdsCommonChecksumOk = false;
    bool EdsProfileChecksumOk = false;

    SerialPort* Port() const { return ComHandle.get(); }
    bool IsOpen() const { return ComHandle != nullptr; }
    // Closes the port; the handle becomes invalid.
    void ClosePort() { ComHandle.reset(); }

    // Forgets everything read from the attached encoder: its signature, the
    // firmware's version-word address and the values taken from its
    // datasheet. The position field lengths stay: they are the display's.
    void ForgetEncoder();

    // One command and its reply over the open port (expected count 0).
    int Transact(std::string_view command, std::string& reply);

    // Reads count (1-64) registers from address into RxBank[0..count-1].
    bool ReadRegisters(uint8_t address, uint8_t count);
    bool WriteRegister(uint8_t address, uint8_t value);
    // Writes TxBank[0..count-1] through the box's buffer to count registers from address.
    bool WriteRegisterBuffer(uint8_t address, uint8_t count);
    // Fills EncoderSignature; true when the firmware version was read.
    bool ReadEncoderSignature();
    // Sends "4" and decodes the reply into EncoderPosition.
    void ReadPosition();

    // RxBank[start .. start+count-1] as a big-endian number (count at most 4).
    uint32_t RxBankValue(uint8_t start, uint8_t count) const;
    std::string RxBankValueText(uint8_t start, uint8_t count) const;

private:
    std::string reply_;
    std::string command_;
    bool Fail(const char* cause, const std::string& reply, const char* separator = " RCV: ");
};

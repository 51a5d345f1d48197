#pragma once
// What the window knows about the attached encoder beyond the link state.
// Decided by the identification on the Direct registers page, read by the pages.

#include <string>

enum class EncoderFamily { Unidentified, Torvik, Quenra, Linear };

struct EncoderIdentity {
    EncoderFamily DruzinaEnkoderja = EncoderFamily::Unidentified; // encoder family
    int EncDolzinaKode = 7;        // code word length of the code ring in bits (5-9)
    int EncClockMhz = 72;          // encoder clock in MHz
    float PremerKodeRinga = 0;     // code ring diameter in mm
    float AirGapK = 0;             // signal level to air gap line: slope
    float AirGapN = 0;             //   and offset
    std::string TipMagnetaQuenra;  // magnet type of a Quenra encoder (two characters)
    bool EncoderConnected = false; // an encoder has been identified

    // Every connection to a box starts from these values; the family and the
    // constants of the part number stay until the next identification.
    void ResetForConnection()
    {
        EncDolzinaKode = 7;
        EncClockMhz = 72;
        EncoderConnected = false;
    }
};

// The number texts the pages and the command line read, and the number
// texts they write.

#include "biss/Identification.h"
#include "encoder/RegisterModel.h"
#include "util/NumberText.h"
#include "util/Text.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    long long value = 0;
    ParseInteger(text, value);
    ParseRegisterByte(text);
    ParseConfigNumber(text);
    ParseRegisterRef(text);
    std::string copy = text;
    HexPrefixToDollar(copy);
    CommaToPoint(copy);
    CleanIdText(text);
    std::vector<std::string> fields;
    SplitFields(text, ';', fields);
    SplitFields(text, ' ', fields);
    if (size >= sizeof(double) + 2) {
        double number = 0;
        std::memcpy(&number, data, sizeof number);
        FormatNumberText(number, data[sizeof number] % 20, data[sizeof number + 1] % 20);
        // The digits worked out without printf are printf's own.
        const SignificantDigits fast = SignificantDigitsOf(number);
        const SignificantDigits slow = SignificantDigitsByPrintf(number);
        if (std::memcmp(fast.digits, slow.digits, sizeof fast.digits) != 0 || fast.exponent != slow.exponent)
            std::abort();
    }
    return 0;
}

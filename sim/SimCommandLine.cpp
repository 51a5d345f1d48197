#include "sim/SimCommandLine.h"

#include <cmath>
#include <cstdlib>

namespace {
bool ToNumber(const std::string& text, double& value)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return end && *end == '\0';
}

bool ToUnsigned(const std::string& text, unsigned long& value, unsigned long max)
{
    if (text.empty() || text[0] == '-')
        return false;
    char* end = nullptr;
    value = std::strtoul(text.c_str(), &end, 0);
    return end && *end == '\0' && value <= max;
}
} // namespace

std::string SimUsage()
{
    return "Usage: k417-sim [options]\n"
           "Serves a simulated K417-3C interface box with an encoder on a pseudo-terminal.\n"
           "Prints the port path on the first line, then serves until SIGINT or SIGTERM.\n"
           "SIGUSR1 pulls the USB cable out or plugs it in again (new port, printed);\n"
           "SIGUSR2 switches the encoder supply off or on.\n"
           "\n"
           "Encoder:\n"
           "  --family NAME            torvik (default), quenra, linear or foreign\n"
           "  --firmware A.B.C.D       firmware version major.minor.comm.svn\n"
           "  --alt-fw-address         keep the firmware version at bank 0 address 51\n"
           "  --fw-address N           47 or 51 (default: 51 when the major version is not 2)\n"
           "  --part-number TEXT       part number (up to 20 characters)\n"
           "  --serial N               BiSS serial number\n"
           "  --code-length N          code word length of the code ring, 5-9\n"
           "  --speed X                shaft speed in rpm (linear scales: mm/s), default 10\n"
           "  --cal-speed RPM          a test motor turns the shaft this fast while a calibration runs\n"
           "  --eccentricity UM        ring eccentricity a self-calibration finds, default 18\n"
           "  --tilt X                 sensor tilt the debug samples show, default 4\n"
           "  --write-protected        the encoder starts write-protected\n"
           "  --user-banks A-B         user banks the datasheet declares (default 24-27)\n"
           "  --power-off              the encoder starts without supply\n"
           "  --box-version TEXT       reply to \"v\" (default \"K417-3C v2.14\")\n"
           "  --link PATH              keep a symbolic link PATH to the current port\n"
           "  --verbose                show every command and reply on stderr\n"
           "\n"
           "Faults:\n"
           "  --no-reply               swallow commands without replying\n"
           "  --delay MS               delay every reply\n"
           "  --garbage                reply with noise\n"
           "  --missing-cr             replies without CR\n"
           "  --split-replies          replies come in two pieces, 30 ms apart\n"
           "  --after-cr TEXT          bytes sent after each reply's CR\n"
           "  --timeout-replies        replies replaced by TIMEOUT\n"
           "  --random-faults P[:SEED] P percent of the replies meet one of these faults at random\n"
           "  --fault-only CHARS       the faults above hit only commands starting with one of CHARS\n"
           "  --position-timeout       answer \"4\" with TIMEOUT\n"
           "  --unpowered              the encoder gets no supply\n"
           "  --crc-error              position frames with a wrong CRC\n"
           "  --error-bit              error bit active\n"
           "  --warning-bit            warning bit active\n"
           "  --status-bits N          bits added to the status word\n"
           "  --bbm-status N           Quenra battery multiturn status byte\n"
           "  --signal-level N         mean signal level (air gap); default 2400, Quenra 6100\n"
           "  --temperature C          the encoder's temperature (default: warming from 24 to 33)\n"
           "  --position-noise N       noise on the singleturn value, standard deviation N counts\n"
           "  --power-ons N            after N more switch-ons the encoder does not come on again\n"
           "  --save-busy MS           the encoder answers no register access for MS after a save\n"
           "  --bad-eds-checksum       --bad-profile-checksum\n"
           "  --bad-config-checksum    --bad-error-map-checksum\n"
           "  --refuse-write B[.A]     refuse writes to register A of bank B (every register without A;\n"
           "                           A of 0x40-0x7F, such as KEY 0x48 and CMD 0x49, in any bank)\n"
           "  --answers N              the encoder stops answering register access after N commands\n"
           "  --help                   this text\n";
}

bool ParseSimCommandLine(const std::vector<std::string>& args, SimCommandLine& out, std::string& error)
{
    SimOptions& o = out.options;
    SimFaults& f = o.faults;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::string value;
        bool hasValue = false;
        if (size_t eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name = name.substr(0, eq);
            hasValue = true;
        }
        auto take = [&]() -> bool {
            if (hasValue)
                return true;
            if (i + 1 >= args.size()) {
                error = name + " needs a value";
                return false;
            }
            value = args[++i];
            return true;
        };
        auto bad = [&]() {
            error = "unusable value for " + name + ": " + value;
            return false;
        };
        unsigned long u = 0;
        double d = 0;
        if (name == "--help" || name == "-h") {
            out.help = true;
        } else if (name == "--verbose" || name == "-v") {
            out.verbose = true;
        } else if (name == "--family") {
            if (!take() || !ParseSimFamily(value, o.family))
                return error.empty() ? bad() : false;
        } else if (name == "--firmware") {
            if (!take())
                return false;
            o.firmware = value;
        } else if (name == "--alt-fw-address") {
            o.fwAddress = 51;
        } else if (name == "--fw-address") {
            if (!take())
                return false;
            if (!ToUnsigned(value, u, 255) || (u != 47 && u != 51))
                return bad();
            o.fwAddress = static_cast<int>(u);
        } else if (name == "--part-number") {
            if (!take())
                return false;
            if (value.size() > 20)
                return bad();
            o.partNumber = value;
        } else if (name == "--serial") {
            if (!take())
                return false;
            if (!ToUnsigned(value, u, 0xFFFFFFFFul))
                return bad();
            o.serialNumber = static_cast<uint32_t>(u);
        } else if (name == "--code-length") {
            if (!take())
                return false;
            if (!ToUnsigned(value, u, 9) || u < 5)
                return bad();
            o.codeLength = static_cast<int>(u);
        } else if (name == "--speed") {
            if (!take())
                return false;
            if (!ToNumber(value, d))
                return bad();
            o.speed = d;
        } else if (name == "--cal-speed") {
            if (!take())
                return false;
            if (!ToNumber(value, d) || d < 0)
                return bad();
            o.calibrationSpeed = d;
        } else if (name == "--temperature") {
            if (!take())
                return false;
            if (!ToNumber(value, d) || d < -40 || d > 150 || d == 0)
                return bad();
            f.temperatureC = static_cast<int>(std::lround(d));
        } else if (name == "--position-noise") {
            if (!take())
                return false;
            if (!ToUnsigned(value, u, 100000))
                return bad();
            f.positionNoise = static_cast<int>(u);
        } else if (name == "--power-ons") {
            if (!take())
                return false;
            if (!ToUnsigned(value, u, 1000000))
                return bad();
            f.powerOnsLeft = static_cast<int>(u);
        } else if (name == "--eccentricity") {
            if (!take())
                return false;
            if (!ToUnsigned(value, u, 10000))
                return bad();
            o.eccentricityUm = static_cast<unsigned>(u);
        } else if (name == "--tilt") {
            if (!take())
                return false;
            if (!ToNumber(value, d))
                return bad();
            o.sensorTilt = d;
        } else if (name == "--write-protected") {
            o.writeProtected = true;
        } else if (name == "--user-banks") {
            if (!take())
                return false;
            const size_t dash = value.find('-');
            unsigned long last = 0;
            if (dash == std::string::npos || !ToUnsigned(value.substr(0, dash), u, 255) ||
                !ToUnsigned(value.substr(dash + 1), last, 255))
                return bad();
            o.userBankFirst = static_cast<int>(u);
            o.userBankLast = static_cast<int>(last);
        } else if (name == "--power-off") {
            o.powerOnAtStart = false;
        } else if (name == "--box-version") {
            if (!take())
                return false;
            o.boxVersion = value;
        } else if (name == "--link") {
            if (!take())
                return false;
            out.linkPath = value;
        } else if (name == "--no-reply") {
            f.noReply = true;
        } else if (name == "--delay") {
            if (!take())
                return false;
            if (!ToUnsigned(value, u, 60000))
                return bad();
            f.replyDelayMs = static_cast<int>(u);
        } else if (name == "--garbage") {
            f.garbage = true;
        } else if (name == "--missing-cr") {
            f.missingCr = true;
        } else if (name == "--split-replies") {
            f.splitReply = true;
        } else if (name == "--after-cr") {
            if (!take())
                return false;
            f.afterCr = value;
        } else if (name == "--timeout-replies") {
            f.timeoutReply = true;
        } else if (name == "--random-faults") {
            if (!take())
                return false;
            const size_t colon = value.find(':');
            unsigned long seed = f.randomSeed;
            if (!ToUnsigned(value.substr(0, colon), u, 100) ||
                (colon != std::string::npos && !ToUnsigned(value.substr(colon + 1), seed, 0xFFFFFFFFul)))
                return bad();
            f.randomPercent = static_cast<int>(u);
            f.randomSeed = static_cast<uint32_t>(seed);
        } else if (name == "--fault-only") {
            if (!take())
                return false;
            f.onlyCommands = value;
        } else if (name == "--position-timeout") {
            f.positionTimeout = true;
        } else if (name == "--unpowered") {
            f.encoderUnpowered = true;
        } else if (name == "--crc-error") {
            f.crcError = true;
        } else if (name == "--error-bit") {
            f.errorBit = true;
        } else if (name == "--warning-bit") {
            f.warningBit = true;
        } else if (name == "--status-bits") {
            if (!take())
                return false;
            if (!ToUnsigned(value, u, 0xFFFF))
                return bad();
            f.extraStatus = static_cast<uint16_t>(u);
        } else if (name == "--bbm-status") {
            if (!take())
                return false;
            if (!ToUnsigned(value, u, 0xFF))
                return bad();
            f.bbmStatus = static_cast<uint8_t>(u);
        } else if (name == "--signal-level") {
            if (!take())
                return false;
            if (!ToUnsigned(value, u, 0xFFFF) || u == 0)
                return bad();
            f.signalLevel = static_cast<uint16_t>(u);
        } else if (name == "--save-busy") {
            if (!take())
                return false;
            if (!ToUnsigned(value, u, 60000))
                return bad();
            f.saveBusyMs = static_cast<int>(u);
        } else if (name == "--refuse-write") {
            if (!take())
                return false;
            const size_t dot = value.find('.');
            unsigned long address = 0;
            if (!ToUnsigned(value.substr(0, dot), u, 255) ||
                (dot != std::string::npos && !ToUnsigned(value.substr(dot + 1), address, 127)))
                return bad();
            f.refuseBank = static_cast<int>(u);
            f.refuseAddress = dot == std::string::npos ? -1 : static_cast<int>(address);
        } else if (name == "--answers") {
            if (!take())
                return false;
            if (!ToUnsigned(value, u, 1000000000))
                return bad();
            f.answersLeft = static_cast<int>(u);
        } else if (name == "--bad-eds-checksum") {
            f.badEdsChecksum = true;
        } else if (name == "--bad-profile-checksum") {
            f.badProfileChecksum = true;
        } else if (name == "--bad-config-checksum") {
            f.badConfigChecksum = true;
        } else if (name == "--bad-error-map-checksum") {
            f.badErrorMapChecksum = true;
        } else {
            error = "unknown option: " + args[i];
            return false;
        }
    }
    return true;
}

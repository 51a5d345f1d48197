#include "RunWriter.h"

#include <fstream>
#include <sstream>
#include <unistd.h>

namespace {
std::string HostName()
{
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0)
        return "localhost";
    return name;
}

std::string BootId()
{
    std::ifstream file("/proc/sys/kernel/random/boot_id");
    std::string id;
    std::getline(file, id);
    return id.empty() ? "-" : id;
}

// Field 22 of /proc/PID/stat: when the process started, in clock ticks since
// boot. With the pid it names one process for the whole boot.
std::string StartTicks(const std::string& pid)
{
    std::ifstream file("/proc/" + pid + "/stat");
    std::string stat;
    std::getline(file, stat);
    size_t close = stat.rfind(')');
    if (close == std::string::npos)
        return {};
    std::istringstream fields(stat.substr(close + 2));
    std::string field;
    for (int i = 3; i <= 22 && fields >> field; ++i)
        if (i == 22)
            return field;
    return {};
}
} // namespace

std::string ThisRunWriter()
{
    std::string pid = std::to_string(getpid());
    return HostName() + " " + BootId() + " " + pid + " " + StartTicks(pid);
}

bool RunWriterMayBeAlive(const std::string& writer)
{
    std::istringstream fields(writer);
    std::string host, boot, pid, ticks;
    if (!(fields >> host >> boot >> pid >> ticks))
        return false; // not written by a program that said who it is
    if (host != HostName())
        return true;
    if (boot != BootId())
        return false;
    return StartTicks(pid) == ticks;
}

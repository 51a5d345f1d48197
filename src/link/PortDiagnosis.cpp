#include "link/PortDiagnosis.h"

#include "util/Text.h"

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <sys/stat.h>

namespace fs = std::filesystem;

std::vector<std::string> ProcessesHolding(const std::string& devicePath, const std::string& procRoot)
{
    std::vector<std::string> holders;
    std::error_code ec;
    const fs::path device = fs::weakly_canonical(devicePath, ec);
    for (const fs::directory_entry& process : fs::directory_iterator(procRoot, ec)) {
        const std::string pid = process.path().filename().string();
        if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::error_code fdError;
        for (const fs::directory_entry& fd : fs::directory_iterator(process.path() / "fd", fdError)) {
            std::error_code linkError;
            const fs::path target = fs::read_symlink(fd.path(), linkError);
            if (linkError || (target != device && target != fs::path(devicePath)))
                continue;
            std::string name;
            std::ifstream comm(process.path() / "comm");
            std::getline(comm, name);
            holders.push_back((name.empty() ? std::string("process") : name) + " (pid " + pid + ")");
            break;
        }
    }
    return holders;
}

std::string DeviceGroup(const std::string& devicePath)
{
    struct stat info {};
    if (::stat(devicePath.c_str(), &info) != 0)
        return {};
    if (const group* g = ::getgrgid(info.st_gid))
        return g->gr_name;
    return std::to_string(info.st_gid);
}

namespace {
// The verdict for a device that could not be opened, from the system's error.
PortDiagnosis OpenFailure(const std::string& path, int code, const std::string& error)
{
    PortDiagnosis d;
    d.path = path;
    if (code == EACCES || code == EPERM) {
        d.verdict = PortDiagnosis::Verdict::NoPermission;
        const std::string group = DeviceGroup(path);
        d.detail = group.empty() ? "no permission to open it"
                                 : "no permission: the port belongs to the group \"" + group +
                                       "\"; add your user to it (sudo usermod -aG " + group +
                                       " $USER) and log in again";
    } else if (code == EBUSY) {
        d.verdict = PortDiagnosis::Verdict::Busy;
        const std::vector<std::string> holders = ProcessesHolding(path);
        d.detail = "in use";
        for (size_t i = 0; i < holders.size(); ++i)
            d.detail += (i == 0 ? " by " : ", ") + holders[i];
    } else {
        d.verdict = PortDiagnosis::Verdict::CannotOpen;
        d.detail = error;
    }
    return d;
}
} // namespace

std::optional<PortDiagnosis> OpenProblem(const std::string& path)
{
    std::string error;
    int code = 0;
    if (PosixSerialPort::Open(path, &error, &code) || (code != EACCES && code != EPERM && code != EBUSY))
        return std::nullopt;
    return OpenFailure(path, code, error);
}

PortDiagnosis DiagnosePort(const std::string& path)
{
    std::string error;
    int code = 0;
    std::unique_ptr<PosixSerialPort> port = PosixSerialPort::Open(path, &error, &code);
    if (!port)
        return OpenFailure(path, code, error);
    PortDiagnosis d;
    d.path = path;
    std::string reply;
    if (SerialTransact(port.get(), "v", 0, reply) != kSerialOk) {
        d.verdict = PortDiagnosis::Verdict::Silent;
        d.detail = "no reply to \"v\"";
        return d;
    }
    d.reply = TrimControl(reply);
    d.verdict = StartsWith(d.reply, kBoxModel) ? PortDiagnosis::Verdict::Box : PortDiagnosis::Verdict::OtherDevice;
    if (d.verdict == PortDiagnosis::Verdict::OtherDevice)
        d.detail = "another device";
    return d;
}

std::string PortProblemText(const PortDiagnosis& d)
{
    return d.path + ": " + d.detail;
}

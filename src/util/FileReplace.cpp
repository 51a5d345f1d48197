#include "util/FileReplace.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

bool ReplaceFile(const std::string& fileName, const std::function<bool(const std::string&)>& write,
                 std::string& error)
{
    std::string temporary = fileName + ".part" + std::to_string(getpid());
    if (!write(temporary)) {
        if (error.empty())
            error = "cannot write " + fileName;
        std::remove(temporary.c_str());
        return false;
    }
    // The bytes reach the disk before the name points at them.
    int fd = ::open(temporary.c_str(), O_RDONLY);
    if (fd < 0 || ::fsync(fd) != 0) {
        error = "cannot write " + fileName + ": " + std::strerror(errno);
        if (fd >= 0)
            ::close(fd);
        std::remove(temporary.c_str());
        return false;
    }
    ::close(fd);
    if (std::rename(temporary.c_str(), fileName.c_str()) != 0) {
        error = "cannot write " + fileName + ": " + std::strerror(errno);
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

bool ReplaceFileWith(const std::string& fileName, const std::string& content, std::string& error)
{
    return ReplaceFile(
        fileName,
        [&](const std::string& temporary) {
            FILE* file = std::fopen(temporary.c_str(), "wb");
            if (!file) {
                error = "cannot create " + fileName + ": " + std::strerror(errno);
                return false;
            }
            bool ok = std::fwrite(content.data(), 1, content.size(), file) == content.size();
            int writeError = errno;
            ok = (std::fclose(file) == 0) && ok;
            if (!ok)
                error = "cannot write " + fileName + ": " + std::strerror(writeError ? writeError : errno);
            return ok;
        },
        error);
}

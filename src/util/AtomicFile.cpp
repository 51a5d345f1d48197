#include "util/AtomicFile.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
// The file a commit replaces: a symbolic link is followed to the file it names.
std::string Target(const std::string& fileName)
{
    struct stat st {};
    if (::lstat(fileName.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
        return fileName;
    char resolved[PATH_MAX];
    return ::realpath(fileName.c_str(), resolved) ? std::string(resolved) : fileName;
}

// ".map.csv.k417-1a2b3c" beside "map.csv": hidden, and never a name the user chose.
std::string TemporaryName(const std::string& target, std::mt19937& random)
{
    const size_t slash = target.find_last_of('/');
    const std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "%06x", static_cast<unsigned>(random() & 0xFFFFFF));
    return folder + "." + name + ".k417-" + suffix;
}
} // namespace

std::string FileErrorText(const char* doing, const std::string& fileName, int error)
{
    return std::string(doing) + " \"" + fileName + "\": " + std::strerror(error ? error : EIO);
}

AtomicFile::~AtomicFile()
{
    Discard();
}

void AtomicFile::Fail(const char* doing, int error)
{
    if (errorText_.empty())
        errorText_ = FileErrorText(doing, fileName_, error);
}

bool AtomicFile::Open(const std::string& fileName)
{
    Discard();
    fileName_ = fileName;
    errorText_.clear();
    target_ = Target(fileName);
    struct stat st {};
    const bool exists = ::stat(target_.c_str(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode)) {
        // A device or a pipe: written as it is.
        fd_ = ::open(target_.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
        if (fd_ < 0)
            Fail("Cannot create the file", errno);
        return fd_ >= 0;
    }
    std::random_device seed;
    std::mt19937 random(seed());
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary_ = TemporaryName(target_, random);
        // The mode a new file gets (less the umask), or the one the file has.
        fd_ = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ >= 0 || errno != EEXIST)
            break;
    }
    if (fd_ < 0) {
        Fail("Cannot create the file", errno);
        temporary_.clear();
        return false;
    }
    if (exists)
        (void)::fchmod(fd_, st.st_mode & 07777);
    return true;
}

bool AtomicFile::Write(std::string_view bytes)
{
    if (fd_ < 0 || Failed())
        return false;
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            Fail("Cannot write the file", n < 0 ? errno : ENOSPC);
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

bool AtomicFile::Commit()
{
    if (fd_ < 0)
        return false;
    if (temporary_.empty()) {
        if (::close(fd_) != 0)
            Fail("Cannot write the file", errno);
        fd_ = -1;
        return !Failed();
    }
    // On the disk before it takes the file's place: a crash leaves the old
    // file or the new one, never a cut one.
    if (!Failed() && ::fdatasync(fd_) != 0)
        Fail("Cannot write the file", errno);
    if (::close(fd_) != 0)
        Fail("Cannot write the file", errno);
    fd_ = -1;
    if (!Failed() && ::rename(temporary_.c_str(), target_.c_str()) != 0)
        Fail("Cannot replace the file", errno);
    if (Failed())
        ::unlink(temporary_.c_str());
    temporary_.clear();
    return !Failed();
}

void AtomicFile::Discard()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    if (!temporary_.empty())
        ::unlink(temporary_.c_str());
    temporary_.clear();
}

std::string WriteWholeFile(const std::string& fileName, std::string_view bytes)
{
    AtomicFile file;
    if (file.Open(fileName) && file.Write(bytes))
        file.Commit();
    return file.ErrorText();
}

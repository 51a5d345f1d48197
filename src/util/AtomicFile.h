#pragma once
// A file the tool writes whole (a CSV file, a chart image): the bytes go to a
// temporary file in the same folder, and only a commit after every byte was
// written and reached the disk renames it over the file. A failure on the
// way, or an action that ends without committing, leaves the earlier file as
// it was and no temporary file behind. The file keeps the permissions it had;
// a symbolic link keeps pointing where it did (the file it names is the one
// replaced). Something that is not a regular file (/dev/null, a pipe) is
// written directly: there is nothing to replace.
//
// Recordings do not come here: they stream for as long as they run.

#include <string>
#include <string_view>

class AtomicFile {
public:
    AtomicFile() = default;
    ~AtomicFile(); // what was not committed is discarded
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Starts the file (discarding one started before). False when the
    // temporary file cannot be created: ErrorText() names the file and why.
    bool Open(const std::string& fileName);
    // False after the first failure; nothing more is written then.
    bool Write(std::string_view bytes);
    // Puts the written bytes in place of the file. True when the whole file
    // is there; otherwise the earlier file is untouched.
    bool Commit();
    // Drops what was written; the earlier file stays as it was.
    void Discard();

    bool IsOpen() const { return fd_ >= 0; }
    bool Failed() const { return !errorText_.empty(); }
    // "Cannot create the file \"/x/map.csv\": No such file or directory".
    const std::string& ErrorText() const { return errorText_; }

private:
    void Fail(const char* doing, int error);

    int fd_ = -1;
    std::string fileName_;  // as given, for the messages
    std::string target_;    // the file the commit replaces
    std::string temporary_; // empty when the file is written directly
    std::string errorText_;
};

// The message of a failed file operation: doing + " \"" + the file's name +
// "\": " + the cause ("Cannot create the file \"/x/map.csv\": No such file or
// directory"); EIO for an error of 0.
std::string FileErrorText(const char* doing, const std::string& fileName, int error);

// The bytes as the whole file. Empty when written; otherwise the file's name
// and the cause.
std::string WriteWholeFile(const std::string& fileName, std::string_view bytes);

#include "util/CsvFile.h"

#include "util/Text.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <limits>

#include <fcntl.h>
#include <unistd.h>

std::string EightBitText(std::string_view utf8)
{
    std::string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
            continue;
        }
        // Two-byte sequences up to U+00FF keep their character; anything
        // longer (or broken) is one "?" for the whole sequence.
        size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        if ((c == 0xC2 || c == 0xC3) && i + 1 < utf8.size() && (static_cast<unsigned char>(utf8[i + 1]) & 0xC0) == 0x80) {
            out.push_back(static_cast<char>(((c & 0x03) << 6) | (static_cast<unsigned char>(utf8[i + 1]) & 0x3F)));
        } else {
            out.push_back('?');
        }
        while (length > 1 && i + 1 < utf8.size() && (static_cast<unsigned char>(utf8[i + 1]) & 0xC0) == 0x80) {
            ++i;
            --length;
        }
    }
    return out;
}

std::string Utf8FromEightBit(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            out.push_back(ch);
        } else {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}


CsvLineReader::CsvLineReader(std::string text) : buffer_(std::move(text)) {}

CsvLineReader::~CsvLineReader()
{
    if (fd_ >= 0)
        ::close(fd_);
}

bool CsvLineReader::Open(const std::string& fileName)
{
    if (fd_ >= 0)
        ::close(fd_);
    buffer_.clear();
    at_ = 0;
    afterCr_ = started_ = cut_ = false;
    errorText_.clear();
    fileName_ = fileName;
    fd_ = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) {
        errorText_ = FileErrorText("Cannot open the file", fileName, errno);
        return false;
    }
    ended_ = false;
    return true;
}

bool CsvLineReader::Fill()
{
    if (ended_ || fd_ < 0)
        return false;
    buffer_.erase(0, at_);
    at_ = 0;
    const size_t kept = buffer_.size();
    constexpr size_t kChunk = 64 * 1024;
    buffer_.resize(kept + kChunk);
    ssize_t n;
    do
        n = ::read(fd_, buffer_.data() + kept, kChunk);
    while (n < 0 && errno == EINTR);
    buffer_.resize(kept + static_cast<size_t>(std::max<ssize_t>(n, 0)));
    if (n < 0)
        errorText_ = FileErrorText("Cannot read the file", fileName_, errno);
    if (n <= 0) {
        ended_ = true;
        ::close(fd_);
        fd_ = -1;
    }
    return n > 0;
}

bool CsvLineReader::Next(std::string& line)
{
    line.clear();
    cut_ = false;
    if (Failed())
        return false;
    if (!started_) {
        while (buffer_.size() - at_ < 3 && Fill()) {
        }
        if (buffer_.compare(at_, 3, "\xEF\xBB\xBF") == 0)
            at_ += 3;
        started_ = true;
    }
    bool any = false;
    for (;;) {
        if (at_ == buffer_.size() && !Fill())
            return !Failed() && any;
        if (afterCr_) {
            afterCr_ = false;
            if (buffer_[at_] == '\n') {
                ++at_;
                continue;
            }
        }
        const size_t end = buffer_.find_first_of("\r\n", at_);
        const size_t stop = end == std::string::npos ? buffer_.size() : end;
        const size_t room = kLongestLine - std::min(kLongestLine, line.size());
        cut_ = cut_ || stop - at_ > room;
        line.append(buffer_, at_, std::min(stop - at_, room));
        any = true;
        if (end == std::string::npos) {
            at_ = buffer_.size();
            continue;
        }
        afterCr_ = buffer_[end] == '\r';
        at_ = end + 1;
        return true;
    }
}

bool CsvWriter::Open(const std::string& fileName)
{
    pending_.clear();
    return file_.Open(fileName);
}

bool CsvWriter::WriteLine(std::string_view line)
{
    if (!file_.IsOpen() || Failed())
        return false;
    pending_.append(line).append("\r\n");
    return Collected();
}

bool CsvWriter::WriteNumbers(std::initializer_list<long long> fields)
{
    if (!file_.IsOpen() || Failed())
        return false;
    char text[24];
    bool first = true;
    for (long long field : fields) {
        if (!first)
            pending_.push_back(kCsvDelimiter);
        first = false;
        pending_.append(text, std::to_chars(text, text + sizeof text, field).ptr);
    }
    pending_.append("\r\n");
    return Collected();
}

bool CsvWriter::Collected()
{
    constexpr size_t kBlock = 64 * 1024;
    if (pending_.size() < kBlock)
        return true;
    const bool written = file_.Write(pending_);
    pending_.clear();
    return written;
}

bool CsvWriter::Commit()
{
    const bool written = pending_.empty() || file_.Write(pending_);
    pending_.clear();
    return file_.Commit() && written;
}

void CsvWriter::Discard()
{
    pending_.clear();
    file_.Discard();
}

std::optional<long long> ParseCsvInteger(std::string field)
{
    // Blanks before the number are allowed, nothing after it: a trailing
    // blank, a tab, quotes or another control character make it no number.
    const size_t begin = field.find_first_not_of(' ');
    if (begin == std::string::npos)
        return std::nullopt;
    const std::string_view number = std::string_view(field).substr(begin);
    for (char c : number)
        if (static_cast<unsigned char>(c) <= 32 || c == 127)
            return std::nullopt;
    std::string text(number);
    HexPrefixToDollar(text);
    long long value = 0;
    if (!ParseInteger(text, value) || value < std::numeric_limits<int32_t>::min() ||
        value > std::numeric_limits<int32_t>::max())
        return std::nullopt;
    return value;
}

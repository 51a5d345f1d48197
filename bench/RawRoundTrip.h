#pragma once
// A command's plain round trip over a pseudo-terminal, the tool's code left
// out: the floor that the benchmarks measure the tool against.

#include <poll.h>
#include <string>
#include <string_view>
#include <unistd.h>

// Writes command and reads until the CR is in; false on a failed write or
// when nothing comes within a second.
inline bool RawRoundTrip(int fd, std::string_view command, std::string& reply)
{
    if (::write(fd, command.data(), command.size()) != static_cast<ssize_t>(command.size()))
        return false;
    reply.clear();
    char buffer[256];
    while (reply.find('\r') == std::string::npos) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 1000) <= 0)
            return false;
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0)
            reply.append(buffer, static_cast<size_t>(n));
    }
    return true;
}

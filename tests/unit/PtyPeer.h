#pragma once
// A scripted peer on the master side of a pseudo-terminal: it answers each
// command the tool sends with the next scripted reply, optionally split into
// chunks with pauses between them. Used to test the transport and the link
// with replies the simulator would never produce.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class PtyPeer {
public:
    struct Chunk {
        std::string bytes;
        int delayMsBefore = 0;
    };
    using Reply = std::vector<Chunk>;

    PtyPeer();
    ~PtyPeer();
    PtyPeer(const PtyPeer&) = delete;
    PtyPeer& operator=(const PtyPeer&) = delete;

    const std::string& SlavePath() const { return slavePath_; }
    // Queues a reply for the next command (one chunk, sent at once).
    void Answer(std::string bytes) { Queue(Reply{{std::move(bytes), 0}}); }
    void Queue(Reply reply);
    // The reply for commands when no scripted reply is queued (none by default).
    void SetDefaultReply(std::string bytes);
    // Writes bytes to the tool without waiting for a command.
    void Push(const std::string& bytes);
    // Commands received so far, one entry per read that brought bytes.
    std::vector<std::string> Received() const;
    bool WaitForReceived(size_t count, int timeoutMs) const;
    // Closes the master side: the port is gone for the tool.
    void Close();

private:
    void Serve();
    int master_ = -1;
    int wakeRead_ = -1;
    int wakeWrite_ = -1;
    std::string slavePath_;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::deque<Reply> replies_;
    std::string defaultReply_;
    std::vector<std::string> received_;
    bool stop_ = false;
    std::thread thread_;
};

// The connections of the HTTP API: a cap, a deadline for each whole request, prompt closing of idle ones.
#pragma once

#include <atomic>
#include <condition_variable>
#include <list>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include <httplib.h>

// The HTTP library's server with its own connection handling. The library reads a request
// with a time-out that starts again at every byte and keeps each connection on one of a
// fixed number of workers, so a few idle or trickling connections silence it. Here the
// library's accept loop runs every connection on a thread of its own, started when the
// connection comes and ended with it (no thread waits while nobody is connected):
//   - a connection without a request under way is closed after `idleMs`;
//   - a request must arrive whole, head and body, within `requestMs` of its first byte (a
//     connection's first request: of the connection); one that does not is answered 408 and
//     its connection closed;
//   - beyond `maxConnections`, or beyond `maxPerAddress` from one client address, a new
//     connection is answered 503 and closed at once, so one client cannot keep out the others;
//   - a request without a length has no body (a POST is answered 400 at once), one above
//     `maxBodyBytes` is answered 413 at once, a chunked body that grows beyond it 413, a
//     request line longer than 8 KiB 414 (a head beyond 16 KiB is not read further);
//   - after a head that cannot be parsed (400), a request without a length or any of the
//     answers above the connection is closed: what follows on it is no request, and the
//     client gets the one answer before the close (what it still sends is read and dropped);
//   - every error answer carries the JSON body {"code": status, "message": text}.
// Times are read from the platform's monotonic clock, so tests can move them on.
class HttpFront : public httplib::Server
{
public:
    struct Limits
    {
        int maxConnections = 256;
        int maxPerAddress = 64;
        int idleMs = 2000;
        int requestMs = 3000;
        int writeMs = 5000;
        size_t maxBodyBytes = 64 * 1024;
    };

    explicit HttpFront(const Limits& limits);
    ~HttpFront() override;

    // Binds without sharing the port: a port that another listener holds fails.
    int bindTo(const std::string& host, int port);
    // The accept loop (blocks until halt).
    void acceptLoop();
    // Ends the accept loop and every connection; returns when every connection's thread has
    // ended. Idempotent.
    void halt();

    int connections() const { return live; }
    const Limits limits;

    // {"code": status, "message": message} as compact JSON.
    static std::string errorBody(int status, const std::string& message);

private:
    struct Worker
    {
        std::thread thread;
        bool done = false;
    };

    bool process_and_close_socket(socket_t sock) override;
    void serve(socket_t sock);
    // Answers `status` with the JSON error body and "Connection: close", written directly.
    static void answerAndClose(socket_t sock, int status);
    // Joins the threads of connections that have ended (liveMutex held: they are taken out).
    std::list<Worker> takeFinishedLocked();
    // Waits until `sock` is readable (or `events` hold); false at the deadline or on halt.
    bool waitFor(socket_t sock, short events, long long deadlineMs) const;
    class DeadlineStream;

    int wakeFd = -1;  // readable once halt begins
    std::atomic<bool> stopping{false};
    std::atomic<int> live{0};
    std::mutex liveMutex;  // live, perAddress, workers
    std::condition_variable allGone;
    std::map<std::string, int> perAddress;
    std::list<Worker> workers;
    std::mutex haltMutex;
};

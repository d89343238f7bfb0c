// The connections of the HTTP API on the HTTP library's server.
#include "httpfront.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <thread>

#include "platformclock.h"

namespace {

// Waits are cut into slices so that a halt or a clock a test moved on is seen soon.
constexpr int kSliceMs = 100;
// Head lines and chunk framing allowed on top of the body.
constexpr size_t kHeadBytes = 16 * 1024;
constexpr int kBacklog = 128;
const char* const kJson = "application/json";

// Runs each accepted connection straight away in the accept loop: the connection itself
// decides whether it gets a thread (HttpFront::process_and_close_socket).
class InlineQueue : public httplib::TaskQueue
{
public:
    void enqueue(std::function<void()> fn) override { fn(); }
    void shutdown() override {}
};

long long NowMs()
{
    return PlatformClock::monotonicMs();
}

void AddressOf(const sockaddr_storage& a, std::string& ip, int& port)
{
    char text[INET6_ADDRSTRLEN] = {};
    if (a.ss_family == AF_INET) {
        const auto* v4 = reinterpret_cast<const sockaddr_in*>(&a);
        ::inet_ntop(AF_INET, &v4->sin_addr, text, sizeof text);
        port = ntohs(v4->sin_port);
    } else if (a.ss_family == AF_INET6) {
        const auto* v6 = reinterpret_cast<const sockaddr_in6*>(&a);
        ::inet_ntop(AF_INET6, &v6->sin6_addr, text, sizeof text);
        port = ntohs(v6->sin6_port);
    }
    ip = text;
}

const char* ReasonOf(int status)
{
    switch (status) {
        case 400:
            return "bad request";
        case 404:
            return "no such route";
        case 405:
            return "method not allowed";
        case 413:
            return "body too large";
        case 408:
            return "request not complete in time";
        case 414:
            return "URI too long";
        case 503:
            return "too many connections";
        default:
            return "error";
    }
}

const char* StatusText(int status)
{
    switch (status) {
        case 400:
            return "Bad Request";
        case 408:
            return "Request Timeout";
        case 413:
            return "Payload Too Large";
        case 414:
            return "URI Too Long";
        case 503:
            return "Service Unavailable";
        default:
            return "Error";
    }
}

}  // namespace

// One request's stream: reads end at the request's deadline, not per byte, and stop after
// the body limit; writes end at their own deadline.
class HttpFront::DeadlineStream : public httplib::Stream
{
public:
    DeadlineStream(const HttpFront& front, socket_t sock, long long readDeadline)
        : front(front), sock(sock), readDeadline(readDeadline)
    {
    }

    bool expired = false;
    bool bodyless = false;     // no length given: the body is empty
    bool chunked = false;      // the body comes in chunks, its length unknown before
    bool closeAfter = false;   // answered before the body was read: close after the answer
    bool headRead = false;     // the request's head was parsed
    bool headTooLong = false;  // the head passed kHeadBytes before it ended
    bool lineEnded = false;    // the request line ended within the head
    bool bodyTooLong = false;  // the body passed the limit (chunk framing allowed for)
    size_t readBytes = 0;
    size_t wroteBytes = 0;

    bool is_readable() const override { return front.waitFor(sock, POLLIN, readDeadline); }
    bool is_writable() const override { return front.waitFor(sock, POLLOUT, NowMs() + front.limits.writeMs); }

    ssize_t read(char* ptr, size_t size) override
    {
        if (bodyless)
            return 0;
        // The head, then the body, each read no further than its bound.
        const size_t bound = headRead ? headBytes + front.limits.maxBodyBytes + kHeadBytes : kHeadBytes;
        if (readBytes >= bound) {
            (headRead ? bodyTooLong : headTooLong) = true;
            return -1;
        }
        size = std::min(size, bound - readBytes);
        for (;;) {
            const ssize_t n = ::recv(sock, ptr, size, MSG_DONTWAIT);
            if (n >= 0) {
                if (!headRead) {
                    headBytes = readBytes + size_t(n);
                    lineEnded = lineEnded || std::find(ptr, ptr + n, '\n') != ptr + n;
                }
                readBytes += size_t(n);
                return n;
            }
            if (errno == EINTR)
                continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK)
                return -1;
            if (!front.waitFor(sock, POLLIN, readDeadline)) {
                expired = NowMs() >= readDeadline;
                return -1;
            }
        }
    }

    ssize_t write(const char* ptr, size_t size) override
    {
        if (writeDeadline < 0)
            writeDeadline = NowMs() + front.limits.writeMs;
        size_t done = 0;
        while (done < size) {
            const ssize_t n = ::send(sock, ptr + done, size - done, MSG_DONTWAIT | MSG_NOSIGNAL);
            if (n > 0) {
                done += size_t(n);
                wroteBytes += size_t(n);
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
                return -1;
            if (!front.waitFor(sock, POLLOUT, writeDeadline))
                return -1;
        }
        return ssize_t(size);
    }

    void get_remote_ip_and_port(std::string& ip, int& port) const override
    {
        sockaddr_storage a = {};
        socklen_t len = sizeof a;
        if (::getpeername(sock, reinterpret_cast<sockaddr*>(&a), &len) == 0)
            AddressOf(a, ip, port);
    }
    void get_local_ip_and_port(std::string& ip, int& port) const override
    {
        sockaddr_storage a = {};
        socklen_t len = sizeof a;
        if (::getsockname(sock, reinterpret_cast<sockaddr*>(&a), &len) == 0)
            AddressOf(a, ip, port);
    }
    socket_t socket() const override { return sock; }

private:
    const HttpFront& front;
    const socket_t sock;
    const long long readDeadline;
    long long writeDeadline = -1;
    size_t headBytes = 0;  // of readBytes, those of the head
};

namespace {
// The stream of the request this connection thread is reading (the library's handlers get
// only the request).
thread_local httplib::Stream* tStream = nullptr;
}  // namespace

HttpFront::HttpFront(const Limits& limits) : limits(limits)
{
    wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    new_task_queue = [] { return new InlineQueue; };
    // The library's default also sets SO_REUSEPORT, with which a second program binds the
    // same port and the two share the requests.
    set_socket_options([](socket_t sock) {
        const int yes = 1;
        ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    set_payload_max_length(limits.maxBodyBytes);
    set_error_handler([](const httplib::Request&, httplib::Response& res) {
        auto* stream = static_cast<DeadlineStream*>(tStream);
        if (stream && (stream->expired || stream->bodyTooLong)) {
            // The library took the body that did not come in time, or that it stopped reading
            // at the limit, for a bad request.
            res.status = stream->expired ? 408 : 413;
            res.body.clear();
        }
        if (stream && (stream->expired || !stream->headRead || stream->chunked) && !stream->closeAfter) {
            // After a head that could not be parsed or a body left unread the rest of the
            // connection is no request: one answer, then the connection closes.
            stream->closeAfter = true;
            res.set_header("Connection", "close");
        }
        if (res.body.empty())
            res.set_content(errorBody(res.status, ReasonOf(res.status)), kJson);
    });
    // Runs once the head is in, before the body is read.
    set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
        auto* stream = static_cast<DeadlineStream*>(tStream);
        if (!stream)
            return HandlerResponse::Unhandled;
        stream->headRead = true;
        stream->chunked = req.get_header_value("Transfer-Encoding").find("chunked") != std::string::npos;
        if (!req.has_header("Content-Length")) {
            // Without a length a request has no body; the library would read to the end of
            // the connection, which a kept-alive client never ends. What the client sends
            // after it may be a body all the same: the connection closes after the answer.
            stream->bodyless = !stream->chunked;
            if (stream->bodyless) {
                stream->closeAfter = true;
                res.set_header("Connection", "close");
            }
            return HandlerResponse::Unhandled;
        }
        const std::string text = req.get_header_value("Content-Length");
        const bool digits = !text.empty() && text.size() <= 18 &&
                            std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
        if (digits && std::stoull(text) <= this->limits.maxBodyBytes)
            return HandlerResponse::Unhandled;
        res.status = digits ? 413 : 400;
        res.set_content(errorBody(res.status, ReasonOf(res.status)), kJson);
        res.set_header("Connection", "close");
        stream->closeAfter = true;
        return HandlerResponse::Handled;
    });
}

HttpFront::~HttpFront()
{
    halt();
    if (wakeFd >= 0)
        ::close(wakeFd);
}

std::string HttpFront::errorBody(int status, const std::string& message)
{
    std::string escaped;
    for (char c : message) {
        if (c == '"' || c == '\\')
            escaped += '\\';
        escaped += c;
    }
    return "{\"code\":" + std::to_string(status) + ",\"message\":\"" + escaped + "\"}";
}

int HttpFront::bindTo(const std::string& host, int port)
{
    const int bound = port == 0 ? bind_to_any_port(host) : (bind_to_port(host, port) ? port : -1);
    // The library listens with a backlog of 5: a burst of connections would leave the
    // next ones waiting for the kernel's SYN retries, whole seconds, before the accept loop
    // sees them. Listening again sets the backlog.
    if (bound > 0)
        ::listen(svr_sock_, kBacklog);
    return bound;
}

void HttpFront::acceptLoop()
{
    listen_after_bind();
}

void HttpFront::halt()
{
    std::lock_guard<std::mutex> once(haltMutex);
    stopping = true;
    if (wakeFd >= 0) {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(wakeFd, &one, sizeof one);
    }
    // Closing the listening socket ends the accept loop, also one that has not begun yet.
    const socket_t listening = svr_sock_.exchange(INVALID_SOCKET);
    if (listening != INVALID_SOCKET) {
        ::shutdown(listening, SHUT_RDWR);
        ::close(listening);
    }
    std::list<Worker> ended;
    {
        std::unique_lock<std::mutex> lock(liveMutex);
        allGone.wait(lock, [this] { return live == 0; });
        ended.splice(ended.end(), workers);
    }
    for (Worker& w : ended)
        if (w.thread.joinable())
            w.thread.join();
}

std::list<HttpFront::Worker> HttpFront::takeFinishedLocked()
{
    std::list<Worker> finished;
    for (auto it = workers.begin(); it != workers.end();) {
        const auto next = std::next(it);
        if (it->done)
            finished.splice(finished.end(), workers, it);
        it = next;
    }
    return finished;
}

void HttpFront::answerAndClose(socket_t sock, int status)
{
    const std::string body = errorBody(status, ReasonOf(status));
    const std::string answer = "HTTP/1.1 " + std::to_string(status) + " " + StatusText(status) +
                               "\r\nContent-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) +
                               "\r\nConnection: close\r\n\r\n" + body;
    [[maybe_unused]] const ssize_t n = ::send(sock, answer.data(), answer.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
}

bool HttpFront::waitFor(socket_t sock, short events, long long deadlineMs) const
{
    for (;;) {
        const long long left = deadlineMs - NowMs();
        if (left <= 0 || stopping)
            return false;
        pollfd fds[2] = {{sock, events, 0}, {wakeFd, POLLIN, 0}};
        const int n = ::poll(fds, 2, int(std::min<long long>(left, kSliceMs)));
        if (n < 0 && errno != EINTR)
            return false;
        if (fds[1].revents)
            return false;
        if (fds[0].revents)
            return true;
    }
}

// In the accept loop: a thread for the connection, or a refusal when too many are open, in
// all or from its address.
bool HttpFront::process_and_close_socket(socket_t sock)
{
    std::string ip;
    {
        sockaddr_storage a = {};
        socklen_t len = sizeof a;
        int port = 0;
        if (::getpeername(sock, reinterpret_cast<sockaddr*>(&a), &len) == 0)
            AddressOf(a, ip, port);
    }
    std::list<Worker> finished;
    bool admitted = false;
    {
        std::lock_guard<std::mutex> lock(liveMutex);
        finished = takeFinishedLocked();
        int& fromAddress = perAddress[ip];
        if (!stopping && live < limits.maxConnections && fromAddress < limits.maxPerAddress) {
            workers.emplace_back();
            Worker* worker = &workers.back();
            try {
                worker->thread = std::thread([this, sock, ip, worker] {
                    ::pthread_setname_np(::pthread_self(), "http-conn");
                    serve(sock);
                    ::close(sock);
                    std::lock_guard<std::mutex> lock(liveMutex);
                    --live;
                    if (--perAddress[ip] <= 0)
                        perAddress.erase(ip);
                    worker->done = true;
                    allGone.notify_all();
                });
                ++live;
                ++fromAddress;
                admitted = true;
            } catch (const std::system_error&) {
                workers.pop_back();
            }
        }
        if (!admitted && fromAddress == 0)
            perAddress.erase(ip);
    }
    for (Worker& w : finished) w.thread.join();
    if (admitted)
        return true;
    answerAndClose(sock, 503);
    ::close(sock);
    return false;
}

void HttpFront::serve(socket_t sock)
{
    const int yes = 1;
    ::setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
    // A connection's first request counts from the connection: waiting before the first byte
    // buys a trickling client no time.
    long long requestFrom = NowMs();
    for (;;) {
        // Idle: the next request must begin soon.
        if (!waitFor(sock, POLLIN, NowMs() + limits.idleMs))
            return;
        DeadlineStream stream(*this, sock, (requestFrom >= 0 ? requestFrom : NowMs()) + limits.requestMs);
        requestFrom = -1;
        tStream = &stream;
        bool closedByClient = false;
        const bool answered = process_request(stream, false, closedByClient, nullptr);
        tStream = nullptr;
        if (stream.headTooLong && stream.wroteBytes == 0) {
            // A head that never ended within its bound: the library gave up on it unanswered.
            answerAndClose(sock, stream.lineEnded ? 400 : 414);
            stream.closeAfter = true;
        }
        if (stream.expired && stream.wroteBytes == 0 && stream.readBytes > 0) {
            // A request under way that did not come whole in time: told, not just dropped.
            answerAndClose(sock, 408);
            return;
        }
        if (stream.closeAfter) {
            // The client may still be sending what was refused: let it see the answer before
            // the connection goes.
            ::shutdown(sock, SHUT_WR);
            char sink[4096];
            const long long until = NowMs() + limits.requestMs;
            while (waitFor(sock, POLLIN, until) && ::recv(sock, sink, sizeof sink, MSG_DONTWAIT) > 0) {
            }
            return;
        }
        if (!answered || closedByClient || stream.expired)
            return;
    }
}

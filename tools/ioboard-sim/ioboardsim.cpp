// The simulated IO board's protocol, fault knobs and thread.
#include "ioboardsim.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>

namespace {

constexpr unsigned char kHead = 0x5F;
constexpr unsigned char kEnd = 0xF5;
constexpr int kCommandSize = 6;
constexpr int kSetOutputs = 1;
constexpr int kPoll = 2;
constexpr int kTempFirst = 3;
constexpr int kTempSecond = 4;
constexpr unsigned int kTenBits = 0x3FF;
constexpr unsigned char kCopyInputFlip = 0x40;
// The board's thread wakes at least this often even when nothing is due.
constexpr int kIdleWaitMs = 50;
// How long a reply may wait for room in the terminal before the rest is dropped.
constexpr int kWriteStallMs = 100;

unsigned char sum(const char* data, int n)
{
    unsigned char s = 0;
    for (int i = 0; i < n; ++i) s = static_cast<unsigned char>(s + static_cast<unsigned char>(data[i]));
    return s;
}

}  // namespace

IOBoardSim::IOBoardSim() = default;

IOBoardSim::~IOBoardSim()
{
    stop();
}

qint64 IOBoardSim::clockUs()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

QByteArray IOBoardSim::commandFrame(int command, unsigned int value)
{
    QByteArray f(kCommandSize, 0);
    f[0] = char(kHead);
    f[1] = char(command);
    f[2] = char(value & 0xFF);
    f[3] = char((value >> 8) & 0xFF);
    f[4] = char(sum(f.constData(), 4));
    f[5] = char(kEnd);
    return f;
}

QByteArray IOBoardSim::replyFrame(int type, unsigned int data)
{
    QByteArray f(8, 0);
    f[0] = char(kHead);
    f[1] = char(type);
    for (int i = 0; i < 4; ++i) f[2 + i] = char((data >> (8 * i)) & 0xFF);
    f[6] = char(sum(f.constData(), 6));
    f[7] = char(kEnd);
    return f;
}

bool IOBoardSim::start()
{
    if (running)
        return true;
    masterFd = posix_openpt(O_RDWR | O_NOCTTY);
    if (masterFd < 0)
        return false;
    char name[256];
    if (grantpt(masterFd) != 0 || unlockpt(masterFd) != 0 || ptsname_r(masterFd, name, sizeof name) != 0) {
        ::close(masterFd);
        masterFd = -1;
        return false;
    }
    path = QString::fromLocal8Bit(name);
    fcntl(masterFd, F_SETFL, fcntl(masterFd, F_GETFL) | O_NONBLOCK);
    // Holding the terminal's other end open keeps the master readable while the system
    // closes and reopens its port. Its settings are left as the kernel made them, so a port
    // that does not switch to raw mode shows up as mangled bytes.
    slaveFd = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (pipe2(wakePipe, O_NONBLOCK | O_CLOEXEC) != 0) {
        stop();
        return false;
    }
    running = true;
    worker = std::thread([this] { loop(); });
    return true;
}

void IOBoardSim::stop()
{
    if (running) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            running = false;
        }
        wake();
        worker.join();
    }
    for (int* fd : {&masterFd, &slaveFd, &wakePipe[0], &wakePipe[1]}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
}

QString IOBoardSim::devicePath() const
{
    return path;
}

void IOBoardSim::wake()
{
    if (wakePipe[1] >= 0) {
        const char c = 1;
        [[maybe_unused]] ssize_t n = ::write(wakePipe[1], &c, 1);
    }
}

void IOBoardSim::loop()
{
    for (;;) {
        int waitMs;
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (!running)
                return;
            const qint64 due = nextDueLocked();
            waitMs = due < 0 ? kIdleWaitMs : int(std::clamp<qint64>((due - clockUs() + 999) / 1000, 0, kIdleWaitMs));
        }
        pollfd fds[2] = {{masterFd, POLLIN, 0}, {wakePipe[0], POLLIN, 0}};
        ::poll(fds, 2, waitMs);
        if (fds[1].revents & POLLIN) {
            char drain[64];
            while (::read(wakePipe[0], drain, sizeof drain) > 0) {
            }
        }
        if (fds[0].revents & POLLIN) {
            unsigned char buf[1024];
            const ssize_t n = ::read(masterFd, buf, sizeof buf);
            if (n > 0)
                takeBytes(buf, int(n));
        }
        runDue(clockUs());
    }
}

void IOBoardSim::takeBytes(const unsigned char* data, int n)
{
    const qint64 now = clockUs();
    std::lock_guard<std::mutex> lock(mutex);
    rx.append(reinterpret_cast<const char*>(data), n);
    rawRx.append(reinterpret_cast<const char*>(data), n);
    int pos = 0;
    while (rx.size() - pos >= kCommandSize) {
        const char* f = rx.constData() + pos;
        if (static_cast<unsigned char>(f[0]) != kHead || static_cast<unsigned char>(f[4]) != sum(f, 4) ||
            static_cast<unsigned char>(f[5]) != kEnd) {
            ++pos;
            continue;
        }
        handleFrame(static_cast<unsigned char>(f[1]),
                    static_cast<unsigned char>(f[2]) | unsigned(static_cast<unsigned char>(f[3])) << 8, now);
        pos += kCommandSize;
    }
    rx.remove(0, pos);
    changed.notify_all();
}

void IOBoardSim::handleFrame(int command, unsigned int value, qint64 nowUs)
{
    received.append({nowUs, command, value});
    switch (command) {
        case kSetOutputs:
            if (ignoreOutputs > 0) {
                --ignoreOutputs;
            } else if ((value & kTenBits) != outWord) {
                outWord = value & kTenBits;
                outChanges.append({nowUs, outWord});
            }
            break;
        case kPoll: {
            const unsigned int echo = fixedEcho >= 0 ? unsigned(fixedEcho) : outWord;
            queueReply(replyFrame(kPoll, (inWord & kTenBits) | (echo & kTenBits) << 16), nowUs);
            break;
        }
        case kTempFirst:
        case kTempSecond:
            queueReply(replyFrame(command, temperature[command - kTempFirst]), nowUs);
            break;
        default:
            break;
    }
}

void IOBoardSim::queueReply(const QByteArray& reply, qint64 nowUs)
{
    if (silent)
        return;
    ReplyFaults f;
    if (static_cast<unsigned char>(reply[1]) == kPoll)
        std::swap(f, nextFaults);
    QByteArray bytes = f.garbage;
    if (f.corruptCopy != NoCorruption) {
        // The copy carries another input word, so a parser that took it would report a change too many.
        QByteArray copy = reply;
        copy[2] = char(copy[2] ^ kCopyInputFlip);
        if (f.corruptCopy == BadEndByte) {
            copy[6] = char(sum(copy.constData(), 6));
            copy[7] = char(kEnd ^ 0xFF);
        }
        bytes += copy;
    }
    const int cut = f.splitAt > 0 && f.splitAt < reply.size() ? bytes.size() + f.splitAt : -1;
    bytes += reply;
    const qint64 due = nowUs + qint64(replyDelayMs) * 1000;
    if (cut < 0) {
        queueLocked(bytes, due);
        return;
    }
    queueLocked(bytes.left(cut), due);
    queueLocked(bytes.mid(cut), due + qint64(f.splitGapMs) * 1000);
}

void IOBoardSim::queueLocked(const QByteArray& bytes, qint64 dueUs)
{
    // Bytes leave in the order they were queued, whatever their delays.
    if (!outgoing.empty())
        dueUs = std::max(dueUs, outgoing.back().dueUs);
    outgoing.push_back({dueUs, bytes});
}

qint64 IOBoardSim::nextDueLocked() const
{
    qint64 due = outgoing.empty() ? -1 : outgoing.front().dueUs;
    for (const InputEvent& e : inputEvents) due = due < 0 ? e.dueUs : std::min(due, e.dueUs);
    return due;
}

void IOBoardSim::runDue(qint64 nowUs)
{
    QByteArray send;
    {
        std::lock_guard<std::mutex> lock(mutex);
        for (auto it = inputEvents.begin(); it != inputEvents.end();) {
            if (it->dueUs > nowUs) {
                ++it;
                continue;
            }
            setInputsLocked(it->on ? inWord | 1u << it->bit : inWord & ~(1u << it->bit));
            it = inputEvents.erase(it);
        }
        while (!outgoing.empty() && outgoing.front().dueUs <= nowUs) {
            send += outgoing.front().bytes;
            outgoing.pop_front();
        }
    }
    if (!send.isEmpty())
        writeAll(send);
}

void IOBoardSim::writeAll(const QByteArray& bytes)
{
    const qint64 giveUp = clockUs() + qint64(kWriteStallMs) * 1000;
    int done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(masterFd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += int(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if ((n < 0 && errno != EAGAIN) || clockUs() >= giveUp)
            return;
        pollfd p{masterFd, POLLOUT, 0};
        ::poll(&p, 1, 1);
    }
}

void IOBoardSim::setInputsLocked(unsigned int word)
{
    if (word == inWord)
        return;
    inWord = word;
    inChangedUs = clockUs();
}

void IOBoardSim::setInputs(unsigned int word)
{
    std::lock_guard<std::mutex> lock(mutex);
    setInputsLocked(word);
}

void IOBoardSim::setInputs(unsigned int word, const ReplyFaults& faults)
{
    std::lock_guard<std::mutex> lock(mutex);
    nextFaults = faults;
    setInputsLocked(word);
}

void IOBoardSim::setInput(int n, bool on)
{
    std::lock_guard<std::mutex> lock(mutex);
    setInputsLocked(on ? inWord | 1u << n : inWord & ~(1u << n));
}

void IOBoardSim::pulseInput(int n, int widthMs)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        setInputsLocked(inWord | 1u << n);
        inputEvents.push_back({clockUs() + qint64(widthMs) * 1000, n, false});
    }
    wake();
}

unsigned int IOBoardSim::inputs() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return inWord;
}

qint64 IOBoardSim::inputsChangedUs() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return inChangedUs;
}

unsigned int IOBoardSim::outputs() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return outWord;
}

QVector<IOBoardSim::OutputChange> IOBoardSim::outputChanges() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return outChanges;
}

bool IOBoardSim::waitForOutputs(unsigned int word, int timeoutMs, qint64* atUs)
{
    std::unique_lock<std::mutex> lock(mutex);
    const bool ok = changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return outWord == word; });
    if (ok && atUs)
        *atUs = outChanges.isEmpty() ? 0 : outChanges.last().atUs;
    return ok;
}

QVector<IOBoardSim::Frame> IOBoardSim::frames() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return received;
}

int IOBoardSim::frameCount() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return received.size();
}

void IOBoardSim::clearFrames()
{
    std::lock_guard<std::mutex> lock(mutex);
    received.clear();
    rawRx.clear();
}

QByteArray IOBoardSim::receivedBytes() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return rawRx;
}

bool IOBoardSim::waitForFrames(int count, int timeoutMs)
{
    std::unique_lock<std::mutex> lock(mutex);
    return changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return received.size() >= count; });
}

void IOBoardSim::setTemperature(int block, unsigned int value)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (block == 0 || block == 1)
        temperature[block] = value;
}

void IOBoardSim::setReplyDelayMs(int ms)
{
    std::lock_guard<std::mutex> lock(mutex);
    replyDelayMs = std::max(ms, 0);
}

void IOBoardSim::faultNextReply(const ReplyFaults& faults)
{
    std::lock_guard<std::mutex> lock(mutex);
    nextFaults = faults;
}

void IOBoardSim::splitNextReply(int firstBytes, int gapMs)
{
    std::lock_guard<std::mutex> lock(mutex);
    nextFaults.splitAt = firstBytes;
    nextFaults.splitGapMs = gapMs;
}

void IOBoardSim::garbageBeforeNextReply(const QByteArray& bytes)
{
    std::lock_guard<std::mutex> lock(mutex);
    nextFaults.garbage = bytes;
}

void IOBoardSim::corruptCopyBeforeNextReply(Corruption kind)
{
    std::lock_guard<std::mutex> lock(mutex);
    nextFaults.corruptCopy = kind;
}

void IOBoardSim::ignoreOutputFrames(int n)
{
    std::lock_guard<std::mutex> lock(mutex);
    ignoreOutputs = std::max(n, 0);
}

void IOBoardSim::setSilent(bool on)
{
    std::lock_guard<std::mutex> lock(mutex);
    silent = on;
}

void IOBoardSim::setFixedEcho(int word)
{
    std::lock_guard<std::mutex> lock(mutex);
    fixedEcho = word;
}

void IOBoardSim::holdOutputs(unsigned int word)
{
    std::lock_guard<std::mutex> lock(mutex);
    if ((word & kTenBits) == outWord)
        return;
    outWord = word & kTenBits;
    outChanges.append({clockUs(), outWord});
}

void IOBoardSim::resetFaults()
{
    std::lock_guard<std::mutex> lock(mutex);
    replyDelayMs = 0;
    nextFaults = ReplyFaults();
    ignoreOutputs = 0;
    silent = false;
    fixedEcho = -1;
}

void IOBoardSim::sendRaw(const QByteArray& bytes)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        queueLocked(bytes, clockUs());
    }
    wake();
}

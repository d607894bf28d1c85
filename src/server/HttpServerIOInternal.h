#pragma once
// What the connection engine's own files share, and nothing else includes: a connection, the loop
// of an IO thread, the pieces of an answer still to send, and the memory received bytes live in.
// The engine's member functions are defined in files named by their role:
//   HttpServerIO.cpp           a run's start and stop, and the IO threads' event loop
//   HttpServerConnections.cpp  the table of connections: the cap, the waiting order, the memory budget
//   HttpServerRequests.cpp     reading a request and writing its answer on a connection
//   HttpServerDeadlines.cpp    the deadline of each phase, and what ends a late connection
//   HttpServerWorkers.cpp      the pool that runs route handlers, and which requests are served at all
//   HttpServerQuickRoutes.cpp  answers the IO thread gives itself, without a worker
//   HttpServerHandover.cpp     the session threads that take a socket over after a 101
#include <linux/sockios.h>
#include <pthread.h>
#include <signal.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <limits>
#include <new>
#include <set>
#include <unordered_map>

#include "server/HttpParser.h"
#include "server/HttpServerIO.h"

namespace qv::server {

namespace detail {

using Clock = std::chrono::steady_clock;

// A write to a peer that went away must fail with EPIPE, not end the process: the engine's
// threads keep SIGPIPE blocked (sendfile has no flag to suppress it).
inline void blockSigPipeInThisThread() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

inline void joinOrDetach(std::thread& thread) {
    if (!thread.joinable()) return;
    if (thread.get_id() == std::this_thread::get_id())
        thread.detach();
    else
        thread.join();
}

// Memory for received request bytes. A large buffer is mapped from the system and unmapped when
// freed, so that a burst of large request heads leaves no heap behind that the allocator would
// keep for later (it raises its own threshold for mapping after the first large free).
template <typename T>
struct ReturnedMemory {
    using value_type = T;
    static constexpr std::size_t mappedFrom = 64 * 1024;
    ReturnedMemory() = default;
    template <typename U>
    ReturnedMemory(const ReturnedMemory<U>&) noexcept {}
    T* allocate(std::size_t count) {
        const std::size_t bytes = count * sizeof(T);
        void* memory = bytes < mappedFrom ? std::malloc(bytes)
                                          : ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (!memory || memory == MAP_FAILED) throw std::bad_alloc();
        return static_cast<T*>(memory);
    }
    void deallocate(T* memory, std::size_t count) noexcept {
        const std::size_t bytes = count * sizeof(T);
        if (bytes < mappedFrom)
            std::free(memory);
        else
            ::munmap(memory, bytes);
    }
    friend bool operator==(const ReturnedMemory&, const ReturnedMemory&) { return true; }
};

using InputBytes = std::basic_string<char, std::char_traits<char>, ReturnedMemory<char>>;

// A piece of a response still to send: bytes, or a stretch of an open file.
class Segment {
public:
    explicit Segment(std::string bytes) : bytes_(std::move(bytes)) {}
    Segment(int file, off_t end) : file_(file), end_(end) {}
    Segment(Segment&& other) noexcept
        : bytes_(std::move(other.bytes_)), sent_(other.sent_), file_(std::exchange(other.file_, -1)),
          offset_(other.offset_), end_(other.end_) {}
    Segment& operator=(Segment&&) = delete;
    ~Segment() {
        if (file_ >= 0) ::close(file_);
    }
    bool isFile() const { return file_ >= 0; }
    std::string& bytes() { return bytes_; }
    std::size_t remaining() const { return isFile() ? static_cast<std::size_t>(end_ - offset_) : bytes_.size() - sent_; }

    enum class Step { done, blocked, failed };
    Step send(int socket, bool moreFollows) {
        while (remaining() > 0) {
            ssize_t n;
            if (isFile()) {
                std::size_t chunk = std::min<std::size_t>(remaining(), 1 << 30);
                n = ::sendfile(socket, file_, &offset_, chunk);
                // The file became shorter than announced: the connection must end rather than stall.
                if (n == 0) return Step::failed;
            } else {
                n = ::send(socket, bytes_.data() + sent_, remaining(), MSG_NOSIGNAL | MSG_DONTWAIT | (moreFollows ? MSG_MORE : 0));
                if (n > 0) sent_ += static_cast<std::size_t>(n);
            }
            if (n < 0) {
                if (errno == EINTR) continue;
                return errno == EAGAIN || errno == EWOULDBLOCK ? Step::blocked : Step::failed;
            }
        }
        return Step::done;
    }

private:
    std::string bytes_;
    std::size_t sent_ = 0;
    int file_ = -1;
    off_t offset_ = 0;
    off_t end_ = 0;
};

// The bytes a socket's kernel buffer holds that it has not sent yet (the peer's window is shut on
// them while the peer reads nothing).
inline std::int64_t unsentBytes(int socket) {
    int unsent = 0;
    return ::ioctl(socket, SIOCOUTQNSD, &unsent) == 0 ? unsent : 0;
}

// The numeric host of an accepted peer, as the request's address.
std::optional<std::string> peerText(const sockaddr_storage& peer, socklen_t length);

}  // namespace detail

using detail::blockSigPipeInThisThread;
using detail::Clock;
using detail::InputBytes;
using detail::joinOrDetach;
using detail::peerText;
using detail::unsentBytes;
using detail::Segment;

struct HttpServerIO::Connection {
    enum class Phase { head, body, handling, writing, lingering };

    explicit Connection(int descriptor) : socket(descriptor) {}

    Socket socket;
    sockaddr_storage peer{};  // as accepted
    socklen_t peerLength = 0;
    Phase phase = Phase::head;
    bool closed = false;

    InputBytes input;  // received and not yet taken by a request (in the body phase: the body so far)
    std::size_t heldBytes = 0;  // counted in pendingBytes_ for an unfinished request
    Clock::time_point heldSince;  // its waitingSince when heldBytes was last counted
    HttpHeadScanner scanner;
    std::size_t headLength = 0;
    std::size_t bodyLength = 0;
    HttpRequest request;

    std::deque<Segment> output;
    bool staysOpen = false;
    bool failed = false;
    bool corked = false;  // the kernel holds partial segments until the response is complete
    bool linger = false;  // after an error answer: read what the client still sends before closing
    Session* session = nullptr;  // the thread reserved for the session that follows a 101 answer

    std::optional<Clock::time_point> deadline;
    std::optional<Clock::time_point> transferEnd;  // of a body or an answer at the minimum rate
    bool waiting = false;  // in the loop's list of connections that wait on their peer
    std::list<Connection*>::iterator waitingPosition;
    Clock::time_point waitingSince;  // when the peer last made progress (the order of waitingList)
    Clock::time_point answeredAt = Clock::time_point::max();  // when a worker sent the whole answer
    // Progress of an answer the peer is slow to take: bytes handed to the kernel since writing
    // began, and how many of them the kernel had sent on at the last look.
    std::int64_t sent = 0;
    std::optional<std::int64_t> sentOnAtLastLook;
    // Whether the kernel sent more of the answer on since the last look, so the peer took some:
    // its buffer may hold much and tell of room only once much of it is free. The first look
    // only starts the count.
    bool peerTookMore() {
        const std::int64_t sentOn = sent - unsentBytes(socket.socketFileDescriptor());
        const bool more = sentOnAtLastLook && sentOn > *sentOnAtLastLook;
        if (!sentOnAtLastLook || more) sentOnAtLastLook = sentOn;
        return more;
    }
    Loop* loop = nullptr;  // set once, before any other thread can learn of the connection

    // The memory budget's view, under HttpServerIO::holdersMutex_ (written only by the owning IO
    // thread, read by the others): in holders_ while it holds bytes, unless another thread asked
    // its thread to close it (evicting; its bytes then count in sheddingBytes_).
    bool holding = false;
    bool evicting = false;
    std::list<Connection*>::iterator holderPosition;
};

struct HttpServerIO::Loop {
    Loop() {
        epoll = ::epoll_create1(EPOLL_CLOEXEC);
        wake = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        if (epoll < 0 || wake < 0) throw SocketError(SocketError::Case::socketCreationFailed, std::strerror(errno), errno);
        epoll_event event{};
        event.events = EPOLLIN;
        event.data.ptr = &wakeTag;
        ::epoll_ctl(epoll, EPOLL_CTL_ADD, wake, &event);
    }
    ~Loop() {
        connections.clear();
        if (epoll >= 0) ::close(epoll);
        if (wake >= 0) ::close(wake);
    }
    void notify() {
        std::uint64_t one = 1;
        [[maybe_unused]] ssize_t n = ::write(wake, &one, sizeof one);
    }
    void watch(Connection& c, std::uint32_t events, int operation = EPOLL_CTL_MOD) {
        epoll_event event{};
        event.events = events | EPOLLONESHOT;
        event.data.ptr = &c;
        ::epoll_ctl(epoll, operation, c.socket.socketFileDescriptor(), &event);
    }
    void setDeadline(Connection& c, std::optional<Clock::time_point> when) {
        if (c.deadline) timers.erase({*c.deadline, &c});
        c.deadline = when;
        if (when) timers.insert({*when, &c});
    }
    // Moves a connection into the list of those waiting for request bytes, ordered by when each
    // started to wait: `since` is now, or earlier for an answer a worker sent before this thread
    // learnt of it (the thread may have seen newer connections meanwhile).
    void markWaiting(Connection& c, Clock::time_point since = Clock::now()) {
        if (c.waiting) waitingList.erase(c.waitingPosition);
        auto place = waitingList.end();
        while (place != waitingList.begin() && (*std::prev(place))->waitingSince > since) --place;
        c.waitingSince = since;
        c.waitingPosition = waitingList.insert(place, &c);
        c.waiting = true;
        publishOldestWaiting();
    }
    void unmarkWaiting(Connection& c) {
        if (c.waiting) waitingList.erase(c.waitingPosition);
        c.waiting = false;
        publishOldestWaiting();
    }
    void publishOldestWaiting() {
        const Clock::rep since = waitingList.empty() ? nobodyWaiting : waitingList.front()->waitingSince.time_since_epoch().count();
        if (oldestWaiting.load(std::memory_order_relaxed) != since) oldestWaiting.store(since, std::memory_order_relaxed);
    }
    static constexpr Clock::rep nobodyWaiting = std::numeric_limits<Clock::rep>::max();

    int epoll = -1;
    int wake = -1;
    char wakeTag = 0;
    char listenTag = 0;
    std::optional<Clock::time_point> acceptPausedUntil;
    // Since when the front of waitingList has waited (nobodyWaiting: none), for the other loops.
    std::atomic<Clock::rep> oldestWaiting{nobodyWaiting};
    std::atomic<bool> evictOne{false};  // asked to close its longest waiting connection
    // Connections of this thread that another thread chose to close for the memory budget, under
    // HttpServerIO::holdersMutex_; evictionsAsked tells the thread to look.
    std::vector<Connection*> evictions;
    std::atomic<bool> evictionsAsked{false};
    std::thread thread;

    std::unordered_map<Connection*, std::unique_ptr<Connection>> connections;
    std::vector<std::unique_ptr<Connection>> closedThisRound;  // freed once no event can name them
    std::set<std::pair<Clock::time_point, Connection*>> timers;
    std::list<Connection*> waitingList;  // longest waiting first

    std::mutex inboxMutex;
    std::vector<Connection*> served;  // back from the workers
    std::condition_variable returned;  // a worker gave one back while awaitingReturn was set
    bool awaitingReturn = false;
};

}  // namespace qv::server

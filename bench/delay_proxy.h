#pragma once

// A TCP proxy on 127.0.0.1 that holds every chunk it reads for a fixed delay before passing it
// on, in each direction: a stand-in for a network whose round trip is twice the delay (the
// kernel's netem is not available here).
//
// The kernel completes a loopback TCP handshake at once, so the first chunk of every new
// connection (the TLS client hello) waits one extra round trip: the handshake's cost.

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <arpa/inet.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace obs_sayline::bench {

class DelayProxy {
public:
    using Clock = std::chrono::steady_clock;

    DelayProxy(int targetPort, std::chrono::milliseconds delay)
        : targetPort_(targetPort), delay_(delay) {}
    ~DelayProxy() { stop(); }
    DelayProxy(const DelayProxy&) = delete;
    DelayProxy& operator=(const DelayProxy&) = delete;

    // Binds an ephemeral loopback port and accepts on a thread.
    bool start() {
        listenFd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        if (listenFd_ < 0) return false;
        sockaddr_in addr = loopback(0);
        socklen_t len = sizeof(addr);
        if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 ||
            ::listen(listenFd_, 64) != 0 ||
            ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
            ::close(listenFd_);
            return false;
        }
        port_ = ntohs(addr.sin_port);
        running_ = true;
        acceptor_ = std::thread([this] { acceptLoop(); });
        return true;
    }

    void stop() {
        if (!running_.exchange(false)) return;
        acceptor_.join();
        ::close(listenFd_);
        for (auto& link : links_) link->stop();
        links_.clear();
    }

    int port() const { return port_; }
    size_t connectionCount() const { return accepted_.load(); }

private:
    static sockaddr_in loopback(int port) {
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = htons(static_cast<uint16_t>(port));
        return addr;
    }

    static void noDelay(int fd) {
        int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on));
    }

    // One direction of one connection: a reader queues chunks stamped with their due time, a
    // writer sends each when it is due. An empty chunk is the end of the stream.
    class Pipe {
    public:
        Pipe(int from, int to, std::chrono::milliseconds delay, std::chrono::milliseconds first)
            : from_(from), to_(to), delay_(delay), first_(first) {}
        void start() {
            reader_ = std::thread([this] { read(); });
            writer_ = std::thread([this] { write(); });
        }
        void join() {
            reader_.join();
            writer_.join();
        }
        bool done() const { return done_.load(); }

    private:
        void read() {
            std::string buffer(64 * 1024, '\0');
            bool first = true;
            for (;;) {
                ssize_t n = ::recv(from_, buffer.data(), buffer.size(), 0);
                Chunk chunk{Clock::now() + delay_ + (first ? first_ : Clock::duration(0)),
                            n > 0 ? buffer.substr(0, static_cast<size_t>(n)) : std::string()};
                first = false;
                {
                    std::lock_guard<std::mutex> lock(mutex_);
                    queue_.push_back(std::move(chunk));
                }
                ready_.notify_one();
                if (n <= 0) return;
            }
        }
        void write() {
            bool broken = false;
            for (;;) {
                Chunk chunk;
                {
                    std::unique_lock<std::mutex> lock(mutex_);
                    ready_.wait(lock, [this] { return !queue_.empty(); });
                    chunk = std::move(queue_.front());
                    queue_.pop_front();
                }
                if (chunk.bytes.empty()) break;
                std::this_thread::sleep_until(chunk.due);
                size_t sent = 0;
                while (!broken && sent < chunk.bytes.size()) {
                    ssize_t n = ::send(to_, chunk.bytes.data() + sent, chunk.bytes.size() - sent,
                                       MSG_NOSIGNAL);
                    if (n <= 0) broken = true;
                    sent += n > 0 ? static_cast<size_t>(n) : 0;
                }
            }
            ::shutdown(to_, SHUT_WR);
            done_ = true;
        }

        struct Chunk {
            Clock::time_point due;
            std::string bytes;
        };
        int from_;
        int to_;
        std::chrono::milliseconds delay_;
        std::chrono::milliseconds first_;
        std::mutex mutex_;
        std::condition_variable ready_;
        std::deque<Chunk> queue_;
        std::thread reader_;
        std::thread writer_;
        std::atomic<bool> done_{false};
    };

    struct Link {
        Link(int clientFd, int serverFd, std::chrono::milliseconds delay)
            : client(clientFd),
              server(serverFd),
              up(clientFd, serverFd, delay, 2 * delay),
              down(serverFd, clientFd, delay, std::chrono::milliseconds(0)) {
            up.start();
            down.start();
        }
        bool finished() const { return up.done() && down.done(); }
        void stop() {
            ::shutdown(client, SHUT_RDWR);
            ::shutdown(server, SHUT_RDWR);
            up.join();
            down.join();
            ::close(client);
            ::close(server);
        }
        int client;
        int server;
        Pipe up;
        Pipe down;
    };

    void acceptLoop() {
        while (running_) {
            pollfd pfd{listenFd_, POLLIN, 0};
            if (::poll(&pfd, 1, 50) <= 0) continue;
            int client = ::accept(listenFd_, nullptr, nullptr);
            if (client < 0) continue;
            int server = ::socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in target = loopback(targetPort_);
            if (server < 0 ||
                ::connect(server, reinterpret_cast<sockaddr*>(&target), sizeof(target)) != 0) {
                ::close(client);
                if (server >= 0) ::close(server);
                continue;
            }
            noDelay(client);
            noDelay(server);
            ++accepted_;
            // Links whose both directions ended are closed here; the rest at stop().
            for (auto it = links_.begin(); it != links_.end();) {
                if ((*it)->finished()) {
                    (*it)->stop();
                    it = links_.erase(it);
                } else {
                    ++it;
                }
            }
            links_.push_back(std::make_unique<Link>(client, server, delay_));
        }
    }

    int targetPort_;
    std::chrono::milliseconds delay_;
    int listenFd_ = -1;
    int port_ = -1;
    std::atomic<bool> running_{false};
    std::atomic<size_t> accepted_{0};
    std::thread acceptor_;
    std::list<std::unique_ptr<Link>> links_;  // acceptor thread only, then stop()
};

}  // namespace obs_sayline::bench

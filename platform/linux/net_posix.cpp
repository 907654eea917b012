// TCP for the live link on BSD sockets: every socket non-blocking, Nagle off
// on connections (the link's frames are small and should go at once), and no
// SIGPIPE from a peer that went away.
#include "platform/net.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace {

std::string system_reason(int code) {
    // A peer that closed its end reads better as that than as a broken pipe.
    if (code == EPIPE) return "the connection ended";
    return std::system_category().message(code);
}

// For reasons: "" names what it stands for, every address or the loopback.
std::string endpoint(std::string_view host, std::string_view none, uint16_t port) {
    return std::string(host.empty() ? none : host) + ":" + std::to_string(port);
}

// The first IPv4 address of host ("" is every address for a listener, the
// loopback for a connection).
bool resolve(std::string_view host, uint16_t port, bool listening, sockaddr_in& address, std::string& error) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = listening ? AI_PASSIVE : 0;
    const std::string name(host);
    addrinfo* found = nullptr;
    const int code = getaddrinfo(name.empty() ? nullptr : name.c_str(), std::to_string(port).c_str(), &hints, &found);
    if (code != 0) {
        error = code == EAI_SYSTEM ? system_reason(errno) : gai_strerror(code);
        return false;
    }
    address = *reinterpret_cast<const sockaddr_in*>(found->ai_addr);
    freeaddrinfo(found);
    return true;
}

// Not inherited by programs this one starts, and never blocking.
bool prepare(int fd, std::string& error) {
    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0 || fcntl(fd, F_SETFD, FD_CLOEXEC) < 0) {
        error = system_reason(errno);
        return false;
    }
    return true;
}

void nagle_off(int fd) {
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

bool would_block(int code) { return code == EAGAIN || code == EWOULDBLOCK || code == EINTR; }

}  // namespace

bool net_start(std::string&) { return true; }

NetSocket net_listen(std::string_view address, uint16_t port, std::string& error) {
    const std::string where = "cannot listen on " + endpoint(address, "0.0.0.0", port) + ": ";
    sockaddr_in local{};
    if (!resolve(address, port, true, local, error)) {
        error = where + error;
        return NET_NONE;
    }
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) {
        error = where + system_reason(errno);
        return NET_NONE;
    }
    // A studio started again at once finds its port free of the last run's
    // closing connections.
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) < 0 || listen(fd, SOMAXCONN) < 0) {
        error = where + system_reason(errno);
        close(fd);
        return NET_NONE;
    }
    if (!prepare(fd, error)) {
        error = where + error;
        close(fd);
        return NET_NONE;
    }
    return fd;
}

uint16_t net_local_port(NetSocket socket) {
    sockaddr_in local{};
    socklen_t size = sizeof local;
    if (getsockname(int(socket), reinterpret_cast<sockaddr*>(&local), &size) < 0) return 0;
    return ntohs(local.sin_port);
}

NetSocket net_accept(NetSocket listener, std::string& peer) {
    sockaddr_in remote{};
    socklen_t size = sizeof remote;
    const int fd = accept(int(listener), reinterpret_cast<sockaddr*>(&remote), &size);
    if (fd < 0) return NET_NONE;
    std::string error;
    if (!prepare(fd, error)) {
        close(fd);
        return NET_NONE;
    }
    nagle_off(fd);
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &remote.sin_addr, text, sizeof text);
    peer = std::string(text) + ":" + std::to_string(ntohs(remote.sin_port));
    return fd;
}

NetSocket net_connect_start(std::string_view host, uint16_t port, std::string& error) {
    const std::string where = "cannot connect to " + endpoint(host, "127.0.0.1", port) + ": ";
    sockaddr_in remote{};
    if (!resolve(host, port, false, remote, error)) {
        error = where + error;
        return NET_NONE;
    }
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) {
        error = where + system_reason(errno);
        return NET_NONE;
    }
    if (!prepare(fd, error)) {
        error = where + error;
        close(fd);
        return NET_NONE;
    }
    nagle_off(fd);
    if (connect(fd, reinterpret_cast<const sockaddr*>(&remote), sizeof remote) < 0 && errno != EINPROGRESS) {
        error = where + system_reason(errno);
        close(fd);
        return NET_NONE;
    }
    return fd;
}

NetConnect net_connect_poll(NetSocket socket, std::string& error) {
    pollfd waiting{int(socket), POLLOUT, 0};
    const int ready = poll(&waiting, 1, 0);
    if (ready < 0) {
        if (errno == EINTR) return NetConnect::pending;
        error = "cannot connect: " + system_reason(errno);
        return NetConnect::failed;
    }
    if (ready == 0) return NetConnect::pending;
    int code = 0;
    socklen_t size = sizeof code;
    if (getsockopt(int(socket), SOL_SOCKET, SO_ERROR, &code, &size) < 0) code = errno;
    if (code != 0) {
        error = "cannot connect: " + system_reason(code);
        return NetConnect::failed;
    }
    return NetConnect::connected;
}

int64_t net_send(NetSocket socket, std::span<const uint8_t> bytes, std::string& error) {
    if (bytes.empty()) return 0;
    const ssize_t sent = send(int(socket), bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (sent >= 0) return sent;
    if (would_block(errno)) return 0;
    error = system_reason(errno);
    return -1;
}

int64_t net_receive(NetSocket socket, std::span<uint8_t> into, std::string& error) {
    if (into.empty()) return 0;
    const ssize_t received = recv(int(socket), into.data(), into.size(), 0);
    if (received > 0) return received;
    if (received == 0) {
        error = "the connection ended";
        return -1;
    }
    if (would_block(errno)) return 0;
    error = system_reason(errno);
    return -1;
}

void net_close(NetSocket socket) {
    if (socket != NET_NONE) close(int(socket));
}

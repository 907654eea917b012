// TCP for the live link on Winsock 2: every socket non-blocking and Nagle off
// on connections (the link's frames are small and should go at once).
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <algorithm>
#include <climits>

#include "platform/net.h"

namespace {

// Words for the errors the link meets, where the system has none for them
// (Wine has none for most Winsock errors).
std::string_view known_reason(int code) {
    switch (code) {
    case WSAEADDRINUSE: return "Address already in use";
    case WSAEADDRNOTAVAIL: return "Cannot assign requested address";
    case WSAEACCES: return "Permission denied";
    case WSAECONNREFUSED: return "Connection refused";
    case WSAECONNRESET: return "Connection reset by peer";
    case WSAECONNABORTED: return "Connection aborted";
    case WSAETIMEDOUT: return "Connection timed out";
    case WSAENETUNREACH: return "Network is unreachable";
    case WSAEHOSTUNREACH: return "No route to host";
    case WSAHOST_NOT_FOUND: return "Name or service not known";
    case WSATRY_AGAIN: return "Temporary failure in name resolution";
    case WSANO_DATA: return "No address associated with hostname";
    default: return {};
    }
}

// The system's words for a Winsock error, without the closing period, so
// that they read within a sentence of ours.
std::string system_reason(int code) {
    char* text = nullptr;
    const DWORD size = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        DWORD(code), 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string reason = size > 0 ? std::string(text, size) : std::string();
    LocalFree(text);
    while (!reason.empty() && (reason.back() == '.' || reason.back() == '\r' || reason.back() == '\n' ||
                               reason.back() == ' '))
        reason.pop_back();
    if (reason.empty()) reason = known_reason(code);
    if (reason.empty()) reason = "Winsock error " + std::to_string(code);
    return reason;
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
        error = system_reason(code);
        return false;
    }
    address = *reinterpret_cast<const sockaddr_in*>(found->ai_addr);
    freeaddrinfo(found);
    return true;
}

bool non_blocking(SOCKET s) {
    u_long on = 1;
    return ioctlsocket(s, FIONBIO, &on) == 0;
}

void nagle_off(SOCKET s) {
    const BOOL on = TRUE;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
}

SOCKET native(NetSocket socket) { return SOCKET(socket); }
NetSocket ours(SOCKET s) { return s == INVALID_SOCKET ? NET_NONE : NetSocket(s); }

int chunk(size_t size) { return int(std::min<size_t>(size, INT_MAX)); }

}  // namespace

bool net_start(std::string& error) {
    WSADATA data;
    const int code = WSAStartup(MAKEWORD(2, 2), &data);
    if (code != 0) {
        error = "cannot start Windows sockets: " + system_reason(code);
        return false;
    }
    return true;
}

NetSocket net_listen(std::string_view address, uint16_t port, std::string& error) {
    const std::string where = "cannot listen on " + endpoint(address, "0.0.0.0", port) + ": ";
    sockaddr_in local{};
    if (!resolve(address, port, true, local, error)) {
        error = where + error;
        return NET_NONE;
    }
    const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) {
        error = where + system_reason(WSAGetLastError());
        return NET_NONE;
    }
    // Windows' SO_REUSEADDR would let a second program take a port in use;
    // this option makes a port in use refuse the bind instead.
    const BOOL on = TRUE;
    setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on), sizeof on);
    if (bind(s, reinterpret_cast<const sockaddr*>(&local), sizeof local) == SOCKET_ERROR ||
        listen(s, SOMAXCONN) == SOCKET_ERROR || !non_blocking(s)) {
        error = where + system_reason(WSAGetLastError());
        closesocket(s);
        return NET_NONE;
    }
    return ours(s);
}

uint16_t net_local_port(NetSocket socket) {
    sockaddr_in local{};
    int size = sizeof local;
    if (getsockname(native(socket), reinterpret_cast<sockaddr*>(&local), &size) == SOCKET_ERROR) return 0;
    return ntohs(local.sin_port);
}

NetSocket net_accept(NetSocket listener, std::string& peer) {
    sockaddr_in remote{};
    int size = sizeof remote;
    const SOCKET s = accept(native(listener), reinterpret_cast<sockaddr*>(&remote), &size);
    if (s == INVALID_SOCKET) return NET_NONE;
    if (!non_blocking(s)) {
        closesocket(s);
        return NET_NONE;
    }
    nagle_off(s);
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &remote.sin_addr, text, sizeof text);
    peer = std::string(text) + ":" + std::to_string(ntohs(remote.sin_port));
    return ours(s);
}

NetSocket net_connect_start(std::string_view host, uint16_t port, std::string& error) {
    const std::string where = "cannot connect to " + endpoint(host, "127.0.0.1", port) + ": ";
    sockaddr_in remote{};
    if (!resolve(host, port, false, remote, error)) {
        error = where + error;
        return NET_NONE;
    }
    const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) {
        error = where + system_reason(WSAGetLastError());
        return NET_NONE;
    }
    if (!non_blocking(s)) {
        error = where + system_reason(WSAGetLastError());
        closesocket(s);
        return NET_NONE;
    }
    nagle_off(s);
    if (connect(s, reinterpret_cast<const sockaddr*>(&remote), sizeof remote) == SOCKET_ERROR) {
        const int code = WSAGetLastError();
        if (code != WSAEWOULDBLOCK && code != WSAEINPROGRESS) {
            error = where + system_reason(code);
            closesocket(s);
            return NET_NONE;
        }
    }
    return ours(s);
}

NetConnect net_connect_poll(NetSocket socket, std::string& error) {
    // A connection that got through shows as writable, one that failed as an
    // exception; select with no wait asks for both.
    fd_set writable;
    fd_set failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(native(socket), &writable);
    FD_SET(native(socket), &failed);
    timeval now{0, 0};
    const int ready = select(0, nullptr, &writable, &failed, &now);
    if (ready == SOCKET_ERROR) {
        error = "cannot connect: " + system_reason(WSAGetLastError());
        return NetConnect::failed;
    }
    if (ready == 0) return NetConnect::pending;
    int code = 0;
    int size = sizeof code;
    if (getsockopt(native(socket), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&code), &size) == SOCKET_ERROR)
        code = WSAGetLastError();
    if (code == 0 && FD_ISSET(native(socket), &failed)) code = WSAECONNREFUSED;
    if (code != 0) {
        error = "cannot connect: " + system_reason(code);
        return NetConnect::failed;
    }
    return NetConnect::connected;
}

int64_t net_send(NetSocket socket, std::span<const uint8_t> bytes, std::string& error) {
    if (bytes.empty()) return 0;
    const int sent = send(native(socket), reinterpret_cast<const char*>(bytes.data()), chunk(bytes.size()), 0);
    if (sent != SOCKET_ERROR) return sent;
    const int code = WSAGetLastError();
    if (code == WSAEWOULDBLOCK) return 0;
    error = system_reason(code);
    return -1;
}

int64_t net_receive(NetSocket socket, std::span<uint8_t> into, std::string& error) {
    if (into.empty()) return 0;
    const int received = recv(native(socket), reinterpret_cast<char*>(into.data()), chunk(into.size()), 0);
    if (received > 0) return received;
    if (received == 0) {
        error = "the connection ended";
        return -1;
    }
    const int code = WSAGetLastError();
    if (code == WSAEWOULDBLOCK) return 0;
    error = system_reason(code);
    return -1;
}

void net_close(NetSocket socket) {
    if (socket != NET_NONE) closesocket(native(socket));
}

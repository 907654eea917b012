// TCP for the live link, never blocking: a listening socket, connections made
// and taken, bytes sent and received as far as the system takes and gives them
// right now. One implementation per operating system (BSD sockets, Winsock);
// none of their headers is included here. The presentation itself never links
// this: only the studio and the player do.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

// A socket; -1 is none. Owned by whoever holds it: net_close gives it back.
using NetSocket = int64_t;
inline constexpr NetSocket NET_NONE = -1;

// Starts the system's sockets (WSAStartup); false with the reason in error.
// Call once before anything else here.
bool net_start(std::string& error);

// Listens on address:port (an IPv4 address or a host name; "" is every
// address), non-blocking; port 0 takes a free one, which net_local_port says.
NetSocket net_listen(std::string_view address, uint16_t port, std::string& error);
uint16_t net_local_port(NetSocket socket);
// A waiting connection, non-blocking, with Nagle off; NET_NONE when none waits.
NetSocket net_accept(NetSocket listener, std::string& peer);

// Starts connecting to host:port without waiting (the host name is looked up,
// which may wait on a slow resolver); NET_NONE with the reason in error when
// it cannot even start.
NetSocket net_connect_start(std::string_view host, uint16_t port, std::string& error);
enum class NetConnect { pending, connected, failed };
// Whether a started connection got through; with failed, why in error.
NetConnect net_connect_poll(NetSocket socket, std::string& error);

// Bytes taken by the system now (0 when its buffer is full), or -1 when the
// connection is gone (error says why).
int64_t net_send(NetSocket socket, std::span<const uint8_t> bytes, std::string& error);
// Bytes given now (0 when none waits), or -1 when the connection ended or
// failed (error says which).
int64_t net_receive(NetSocket socket, std::span<uint8_t> into, std::string& error);

void net_close(NetSocket socket);

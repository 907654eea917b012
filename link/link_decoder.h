// The live link's receiving end: bytes go in as the connection gives them,
// whole messages come out one at a time. Every bound is checked from the
// frame's header before its payload is waited for, memory grows only with the
// bytes that arrived, and the first fault ends the stream for good with its
// reason: the connection is then to be closed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "link/link_message.h"

// The most bytes one feed takes; read the connection in pieces no larger.
inline constexpr size_t LINK_FEED_BYTES_MAX = size_t(64) << 10;
// The most bytes a decoder ever holds: a frame less one byte, and one feed.
inline constexpr size_t LINK_BUFFER_MAX = LINK_HEADER_BYTES + LINK_PAYLOAD_MAX + LINK_FEED_BYTES_MAX;

struct LinkDecoder {
    std::vector<uint8_t> buffer;
    size_t start = 0;        // bytes at the buffer's front already taken
    uint64_t skipping = 0;   // bytes of an unknown kind's payload still to drop
    uint64_t frames = 0;     // frames read whole, for reasons to say which one failed
    std::string error;       // the fault that ended the stream; empty while it goes on
};

enum class LinkStatus { message, more, error };

struct LinkNext {
    LinkStatus status = LinkStatus::more;
    LinkMessage message;  // with LinkStatus::message
    std::string error;    // with LinkStatus::error
};

// Keeps the bytes for link_decoder_next. A feed of more than
// LINK_FEED_BYTES_MAX bytes, or one while messages wait unread beyond a
// frame's worth, ends the stream; after a fault, bytes are dropped.
void link_decoder_feed(LinkDecoder& decoder, std::span<const uint8_t> bytes);

// The next whole message; more when its bytes have not all arrived; the
// fault, the same one every time, once the stream went wrong. Frames of
// unknown kinds are skipped by their length.
LinkNext link_decoder_next(LinkDecoder& decoder);

// The kind of the frame whose header has arrived and whose payload has not
// (yet) all arrived; nullopt otherwise. A receiver may refuse a kind it never
// takes from its header, before waiting for a payload of up to 2 GiB.
std::optional<uint16_t> link_decoder_kind_arriving(const LinkDecoder& decoder);

// The bytes the decoder holds now, never more than LINK_BUFFER_MAX.
size_t link_decoder_buffered(const LinkDecoder& decoder);

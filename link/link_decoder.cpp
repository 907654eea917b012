// Cutting the link's byte stream into frames, within bounded memory.
#include "link/link_decoder.h"

#include <algorithm>

namespace {

// Memory a big frame left behind is given back once nothing waits in it.
constexpr size_t KEPT_CAPACITY_MAX = size_t(1) << 20;

size_t unread(const LinkDecoder& d) { return d.buffer.size() - d.start; }

uint16_t header_kind(std::span<const uint8_t> header) { return uint16_t(header[2] | header[3] << 8); }

LinkNext fault(LinkDecoder& d, std::string reason) {
    d.error = std::move(reason);
    d.buffer = {};
    d.start = 0;
    return {LinkStatus::error, {}, d.error};
}

std::string frame_name(const LinkDecoder& d, uint16_t kind) {
    return "frame " + std::to_string(d.frames + 1) + " (" + std::string(link_kind_name(kind)) + ", kind " +
           std::to_string(kind) + ")";
}

std::string hex(std::span<const uint8_t> bytes) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string out;
    for (uint8_t b : bytes) {
        if (!out.empty()) out += ' ';
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

}  // namespace

void link_decoder_feed(LinkDecoder& decoder, std::span<const uint8_t> bytes) {
    if (!decoder.error.empty()) return;
    if (bytes.size() > LINK_FEED_BYTES_MAX) {
        fault(decoder, "a feed of " + std::to_string(bytes.size()) + " bytes; at most " +
                           std::to_string(LINK_FEED_BYTES_MAX));
        return;
    }
    // Taking the front away once a feed keeps byte-by-byte feeding linear.
    decoder.buffer.erase(decoder.buffer.begin(), decoder.buffer.begin() + std::ptrdiff_t(decoder.start));
    decoder.start = 0;
    if (decoder.buffer.empty() && decoder.buffer.capacity() > KEPT_CAPACITY_MAX) decoder.buffer = {};
    // An unknown frame's payload is dropped as it comes, never held.
    const size_t dropped = size_t(std::min<uint64_t>(decoder.skipping, bytes.size()));
    decoder.skipping -= dropped;
    bytes = bytes.subspan(dropped);
    if (decoder.buffer.size() + bytes.size() > LINK_BUFFER_MAX) {
        fault(decoder, "more than " + std::to_string(LINK_BUFFER_MAX) + " bytes wait unread");
        return;
    }
    decoder.buffer.insert(decoder.buffer.end(), bytes.begin(), bytes.end());
}

std::optional<uint16_t> link_decoder_kind_arriving(const LinkDecoder& decoder) {
    if (!decoder.error.empty() || decoder.skipping > 0 || unread(decoder) < LINK_HEADER_BYTES) return std::nullopt;
    const std::span<const uint8_t> waiting(decoder.buffer.data() + decoder.start, unread(decoder));
    if (waiting[0] != LINK_MAGIC[0] || waiting[1] != LINK_MAGIC[1]) return std::nullopt;
    return header_kind(waiting);
}

LinkNext link_decoder_next(LinkDecoder& decoder) {
    if (!decoder.error.empty()) return {LinkStatus::error, {}, decoder.error};
    for (;;) {
        const size_t dropped = size_t(std::min<uint64_t>(decoder.skipping, unread(decoder)));
        decoder.start += dropped;
        decoder.skipping -= dropped;
        if (decoder.skipping > 0) return {};

        const std::span<const uint8_t> waiting(decoder.buffer.data() + decoder.start, unread(decoder));
        // Bytes that are no frame show at their first byte, not after eight;
        // the reason quotes the bytes up to the wrong one, however they came.
        for (size_t i = 0; i < std::min<size_t>(waiting.size(), 2); ++i)
            if (waiting[i] != LINK_MAGIC[i])
                return fault(decoder, "frame " + std::to_string(decoder.frames + 1) + " starts with " +
                                          hex(waiting.first(i + 1)) + ", not a link frame");
        if (waiting.size() < LINK_HEADER_BYTES) return {};

        const uint16_t kind = header_kind(waiting);
        const uint32_t length = uint32_t(waiting[4]) | uint32_t(waiting[5]) << 8 | uint32_t(waiting[6]) << 16 |
                                uint32_t(waiting[7]) << 24;
        const std::optional<size_t> max = link_payload_max(kind);
        if (length > max.value_or(LINK_PAYLOAD_MAX))
            return fault(decoder, frame_name(decoder, kind) + ": a payload of " + std::to_string(length) +
                                      " bytes; at most " + std::to_string(max.value_or(LINK_PAYLOAD_MAX)));
        if (!max) {
            decoder.start += LINK_HEADER_BYTES;
            decoder.skipping = length;
            ++decoder.frames;
            continue;
        }
        if (waiting.size() - LINK_HEADER_BYTES < length) return {};

        LinkNext next{LinkStatus::message, {}, {}};
        std::string error;
        if (!link_payload_decode(kind, waiting.subspan(LINK_HEADER_BYTES, length), next.message, error))
            return fault(decoder, frame_name(decoder, kind) + ": " + error);
        decoder.start += LINK_HEADER_BYTES + length;
        ++decoder.frames;
        return next;
    }
}

size_t link_decoder_buffered(const LinkDecoder& decoder) { return decoder.buffer.size(); }

// libFuzzer target: arbitrary bytes reach the live link's decoder as a
// connection would deliver them.
//
// Input: [piece size][the stream]. The stream is fed in pieces of that size
// (1 to 256 bytes) and again in one piece. Besides the sanitizers, it checks
// what the decoder promises: the pieces change nothing (the same messages,
// the same fault), the decoder never holds more than it was fed nor more than
// LINK_BUFFER_MAX, each message took at least a header's bytes, and every
// message encodes to a frame that decodes to the same message.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "link/link_decoder.h"
#include "link/link_message.h"

namespace {

// Names the failing check's line: the checks are inlined, so the stack trace
// does not.
void check(bool holds, int line = __builtin_LINE()) {
    if (holds) return;
    std::fprintf(stderr, "check failed: %s line %d\n", __FILE__, line);
    std::abort();
}

struct Outcome {
    std::vector<LinkMessage> messages;
    LinkNext last;
};

Outcome decode(std::span<const uint8_t> stream, size_t piece) {
    Outcome outcome;
    LinkDecoder decoder;
    size_t fed = 0;
    for (size_t at = 0; at < stream.size(); at += piece) {
        const std::span<const uint8_t> bytes = stream.subspan(at, std::min(piece, stream.size() - at));
        link_decoder_feed(decoder, bytes);
        fed += bytes.size();
        check(link_decoder_buffered(decoder) <= fed);
        check(link_decoder_buffered(decoder) <= LINK_BUFFER_MAX);
        while ((outcome.last = link_decoder_next(decoder)).status == LinkStatus::message) {
            outcome.messages.push_back(std::move(outcome.last.message));
            check(outcome.messages.size() * LINK_HEADER_BYTES <= fed);
        }
        check(outcome.last.status != LinkStatus::error || !outcome.last.error.empty());
    }
    return outcome;
}

void check_round_trip(const LinkMessage& message) {
    const std::vector<uint8_t> bytes = link_message_encode(message);
    check(bytes.size() >= LINK_HEADER_BYTES && bytes.size() <= LINK_FEED_BYTES_MAX);
    LinkDecoder decoder;
    link_decoder_feed(decoder, bytes);
    const LinkNext again = link_decoder_next(decoder);
    check(again.status == LinkStatus::message && again.message == message);
    check(link_decoder_next(decoder).status == LinkStatus::more);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const size_t piece = size_t(data[0]) + 1;
    const std::span<const uint8_t> stream(data + 1, size - 1);
    if (stream.size() > LINK_FEED_BYTES_MAX) return 0;

    const Outcome in_pieces = decode(stream, piece);
    const Outcome whole = decode(stream, stream.size() ? stream.size() : 1);
    check(in_pieces.messages == whole.messages);
    check(in_pieces.last.status == whole.last.status && in_pieces.last.error == whole.last.error);
    for (const LinkMessage& message : whole.messages) check_round_trip(message);
    return 0;
}

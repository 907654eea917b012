// Keys to commands: the transport, the cursor, the edits, the files.
#include "tools/studio/studio_keys.h"

#include <algorithm>
#include <cmath>

#include "presentation/presentation.h"
#include "tools/tracks/track_text.h"

namespace {

int32_t cursor_row(const StudioState& state) { return int32_t(std::floor(state.row + 1e-9)); }

void seek_rows(StudioState& state, double rows) {
    // Steps land on whole rows, so that a key typed at the row is where it shows.
    const double target = std::floor(state.row + 1e-9) + rows;
    studio_seek(state, std::max(target, 0.0) / ROWS_PER_SECOND);
}

void edited(StudioState& state, bool accepted) {
    if (accepted) ++state.edits;
    state.message = state.model.message;
}

void quit_ask(StudioState& state) {
    if (edit_model_dirty(state.model))
        state.quit_asked = true;
    else
        state.quit = true;
}

void speed_cycle(StudioState& state) {
    const double next = state.transport.speed == 1.0 ? 2.0 : state.transport.speed == 2.0 ? 0.5 : 1.0;
    const int64_t now = studio_monotonic_ns();
    transport_set_speed(state.transport, next, now);
    if (state.audio) studio_audio_follow(*state.audio, state.transport, now);
    state.message = "speed " + std::string(next == 0.5 ? "0.5x" : next == 2.0 ? "2x" : "1x");
}

void loop_key(StudioState& state, char which) {
    const int64_t now = studio_monotonic_ns();
    Transport& transport = state.transport;
    const double here = double(cursor_row(state)) / ROWS_PER_SECOND;
    bool set = true;
    if (which == 'I') set = transport_set_loop(transport, here, std::max(transport.loop_out, here + 1.0 / ROWS_PER_SECOND), now);
    if (which == 'O') set = transport_set_loop(transport, std::min(transport.loop_in, here - 1.0 / ROWS_PER_SECOND), here, now);
    if (which == 'L') {
        if (transport.loop)
            transport_clear_loop(transport, now);
        else
            set = transport.loop_out > transport.loop_in &&
                  transport_set_loop(transport, transport.loop_in, transport.loop_out, now);
    }
    if (state.audio) studio_audio_follow(*state.audio, transport, now);
    state.message = !set ? "no loop: set its in (I) before its out (O)"
                   : transport.loop ? "loop " + timeline_time_text(transport.loop_in) + " to " +
                                          timeline_time_text(transport.loop_out)
                                    : "loop off";
}

}  // namespace

// One key: when a value is being typed, it edits the value; otherwise the
// bindings of STUDIO_KEYS.
void studio_key(StudioState& state, const SDL_Keysym& key) {
    if (state.quit_asked) return;
    const SDL_Scancode code = key.scancode;
    const auto pressed = [code](SDL_Scancode wanted) { return code == wanted; };
    if (state.typing) {
        if (pressed(SDL_SCANCODE_BACKSPACE) && !state.typed.empty()) state.typed.pop_back();
        if (pressed(SDL_SCANCODE_ESCAPE)) state.typing = false;
        if (pressed(SDL_SCANCODE_RETURN) || pressed(SDL_SCANCODE_KP_ENTER)) {
            state.typing = false;
            const std::optional<float> value = track_value_parse(state.typed);
            if (!value) {
                state.message = "'" + state.typed + "' is not a value";
                return;
            }
            edited(state, edit_set_value(state.model, state.cursor_track, cursor_row(state), *value));
        }
        return;
    }
    const bool ctrl = key.mod & KMOD_CTRL, shift = key.mod & KMOD_SHIFT, alt = key.mod & KMOD_ALT;
    const size_t tracks = state.model.tracks.size();
    const int32_t row = cursor_row(state);
    const size_t track = state.cursor_track;
    const int64_t now = studio_monotonic_ns();

    if (pressed(SDL_SCANCODE_SPACE)) {
        if (state.transport.playing) {
            transport_pause(state.transport, now);
            // The picture stays where the sound was.
            transport_seek(state.transport, state.seconds, now);
        } else {
            transport_play(state.transport, now);
        }
        if (state.audio) studio_audio_follow(*state.audio, state.transport, now);
    }
    const double step = ctrl ? ROWS_PER_BAR : shift ? ROWS_PER_BEAT : 1.0;
    if (!alt && pressed(SDL_SCANCODE_UP)) seek_rows(state, -step);
    if (!alt && pressed(SDL_SCANCODE_DOWN)) seek_rows(state, step);
    if (pressed(SDL_SCANCODE_PAGEUP)) seek_rows(state, -ROWS_PER_BAR);
    if (pressed(SDL_SCANCODE_PAGEDOWN)) seek_rows(state, ROWS_PER_BAR);
    if (pressed(SDL_SCANCODE_HOME)) studio_seek(state, 0.0);
    if (pressed(SDL_SCANCODE_END)) studio_seek(state, state.transport.length);
    if (pressed(SDL_SCANCODE_LEFT) && state.cursor_track > 0) --state.cursor_track;
    if (pressed(SDL_SCANCODE_RIGHT) && state.cursor_track + 1 < tracks) ++state.cursor_track;

    const std::optional<EditSelection> block = studio_selection(state);
    if (tracks > 0) {
        if (pressed(SDL_SCANCODE_INSERT) || (!ctrl && pressed(SDL_SCANCODE_K))) edited(state, edit_insert_key(state.model, track, row));
        if (pressed(SDL_SCANCODE_RETURN) || pressed(SDL_SCANCODE_KP_ENTER)) {
            if (edit_key_at(state.model, track, row)) {
                state.typed.clear();
                state.typing = true;
            } else {
                state.message = "no key at this row: Insert makes one";
            }
        }
        const float nudge = shift ? 1.0f : 0.01f;
        if (pressed(SDL_SCANCODE_EQUALS) || pressed(SDL_SCANCODE_KP_PLUS)) edited(state, edit_nudge_value(state.model, track, row, nudge));
        if (pressed(SDL_SCANCODE_MINUS) || pressed(SDL_SCANCODE_KP_MINUS)) edited(state, edit_nudge_value(state.model, track, row, -nudge));
        if (!ctrl && pressed(SDL_SCANCODE_T)) edited(state, edit_cycle_kind(state.model, track, row));
        if (!ctrl && pressed(SDL_SCANCODE_B)) state.anchor = std::pair{track, row};
        if (pressed(SDL_SCANCODE_ESCAPE)) state.anchor.reset();
        const EditSelection here = block.value_or(EditSelection{track, track, row, row});
        if (pressed(SDL_SCANCODE_DELETE)) edited(state, edit_delete(state.model, here));
        if (alt && (pressed(SDL_SCANCODE_UP) || pressed(SDL_SCANCODE_DOWN))) {
            const int32_t rows = int32_t(shift ? ROWS_PER_BEAT : 1.0) * (pressed(SDL_SCANCODE_UP) ? -1 : 1);
            const bool moved = edit_move(state.model, here, rows);
            edited(state, moved);
            if (moved) {
                if (state.anchor) state.anchor->second += rows;
                seek_rows(state, rows);
            }
        }
        if (ctrl && pressed(SDL_SCANCODE_C)) {
            edit_copy(state.model, here);
            state.message = state.model.message;
        }
        if (ctrl && pressed(SDL_SCANCODE_X)) edited(state, edit_cut(state.model, here));
        if (ctrl && pressed(SDL_SCANCODE_V)) edited(state, edit_paste(state.model, track, row));
        if (ctrl && pressed(SDL_SCANCODE_Z)) edited(state, shift ? edit_redo(state.model) : edit_undo(state.model));
        if (ctrl && pressed(SDL_SCANCODE_Y)) edited(state, edit_redo(state.model));
        if (ctrl && pressed(SDL_SCANCODE_S)) studio_save(state);
    }
    if (!ctrl && pressed(SDL_SCANCODE_I)) loop_key(state, 'I');
    if (!ctrl && pressed(SDL_SCANCODE_O)) loop_key(state, 'O');
    if (!ctrl && pressed(SDL_SCANCODE_L)) loop_key(state, 'L');
    if (!ctrl && pressed(SDL_SCANCODE_S)) speed_cycle(state);
    if (pressed(SDL_SCANCODE_F12)) studio_shot(state);
    if (!ctrl && pressed(SDL_SCANCODE_V)) studio_video(state);
    if (pressed(SDL_SCANCODE_F1)) state.help = !state.help;
    if (ctrl && pressed(SDL_SCANCODE_Q)) quit_ask(state);
}

std::optional<EditSelection> studio_selection(const StudioState& state) {
    if (!state.anchor) return std::nullopt;
    const int32_t row = cursor_row(state);
    return EditSelection{std::min(state.anchor->first, state.cursor_track), std::max(state.anchor->first, state.cursor_track),
                         std::min(state.anchor->second, row), std::max(state.anchor->second, row)};
}

void studio_event(StudioState& state, const SDL_Event& event) {
    if (event.type == SDL_QUIT ||
        (event.type == SDL_WINDOWEVENT && event.window.event == SDL_WINDOWEVENT_CLOSE))
        quit_ask(state);
    // In the order they came, so that text typed after Enter lands in the value.
    if (event.type == SDL_KEYDOWN) studio_key(state, event.key.keysym);
    if (event.type == SDL_TEXTINPUT && state.typing) state.typed += event.text.text;
}


// The studio's commands on its session: the transport, the cursor, the edits
// and the files.
#include "tools/studio/studio_commands.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "presentation/frame.h"
#include "presentation/presentation.h"
#include "tools/studio/model/timeline_view.h"
#include "tracks/track_text.h"

namespace {

int64_t now_of(const StudioEffects& effects) { return effects.now ? effects.now() : 0; }

void sound_follow(const StudioSession& session, const StudioEffects& effects, int64_t now) {
    if (effects.sound_follow) effects.sound_follow(session.transport, now);
}

void seek_rows(StudioSession& session, const StudioEffects& effects, double rows) {
    // Steps land on whole rows, so that a key typed at the row is where it shows.
    const double target = double(studio_cursor_row(session)) + rows;
    studio_seek(session, effects, std::max(target, 0.0) / ROWS_PER_SECOND);
}

void edited(StudioSession& session, bool accepted) {
    if (accepted) ++session.edits;
    session.message = session.model.message;
}

void typing_start(StudioSession& session, Typing purpose, std::string_view first) {
    session.typing = true;
    session.typing_for = purpose;
    session.typed = first;
}

void bookmark_jump(StudioSession& session, const StudioEffects& effects, bool next) {
    const int32_t row = studio_cursor_row(session);
    const Bookmark* mark = next ? bookmarks_next(session.bookmarks, row) : bookmarks_previous(session.bookmarks, row);
    if (!mark) {
        session.message = next ? "no bookmark after this row" : "no bookmark before this row";
        return;
    }
    studio_seek(session, effects, mark->row / ROWS_PER_SECOND);
    session.message = "bookmark " + mark->name;
}

void bookmark_name(StudioSession& session) {
    const int32_t row = studio_cursor_row(session);
    bookmarks_set(session.bookmarks, row, session.typed);
    std::string error;
    if (!bookmarks_save(session.bookmarks, error)) {
        session.message = "bookmark not saved: " + error;
        return;
    }
    const Bookmark* mark = bookmarks_at(session.bookmarks, row);
    session.message = mark ? "bookmark " + mark->name + " at row " + std::to_string(row)
                           : "no bookmark at row " + std::to_string(row) + " any more";
}

void play_pause(StudioSession& session, const StudioEffects& effects) {
    const int64_t now = now_of(effects);
    if (session.transport.playing) {
        transport_pause(session.transport, now);
        // The picture stays where the sound was.
        transport_seek(session.transport, session.seconds, now);
    } else {
        transport_play(session.transport, now);
    }
    sound_follow(session, effects, now);
}

void speed_cycle(StudioSession& session, const StudioEffects& effects) {
    const double next = session.transport.speed == 1.0 ? 2.0 : session.transport.speed == 2.0 ? 0.5 : 1.0;
    const int64_t now = now_of(effects);
    transport_set_speed(session.transport, next, now);
    sound_follow(session, effects, now);
    session.message = "speed " + std::string(next == 0.5 ? "0.5x" : next == 2.0 ? "2x" : "1x");
}

void loop_command(StudioSession& session, const StudioEffects& effects, StudioCommand command) {
    const int64_t now = now_of(effects);
    Transport& transport = session.transport;
    const double here = double(studio_cursor_row(session)) / ROWS_PER_SECOND;
    const double row_seconds = 1.0 / ROWS_PER_SECOND;
    bool set = true;
    // The span's ends move without switching the loop on: L does that.
    if (command == StudioCommand::loop_in)
        set = transport_set_span(transport, here, std::max(transport.loop_out, here + row_seconds), now);
    if (command == StudioCommand::loop_out)
        set = transport_set_span(transport, std::min(transport.loop_in, here - row_seconds), here, now);
    if (command == StudioCommand::loop_toggle) {
        if (transport.loop)
            transport_clear_loop(transport, now);
        else
            set = transport.loop_out > transport.loop_in &&
                  transport_set_loop(transport, transport.loop_in, transport.loop_out, now);
    }
    sound_follow(session, effects, now);
    const std::string span = timeline_time_text(transport.loop_in) + " to " + timeline_time_text(transport.loop_out);
    session.message = !set                                    ? "no loop: set its in (I) before its out (O)"
                      : transport.loop                        ? "loop " + span
                      : command == StudioCommand::loop_toggle ? "loop off"
                                                              : "loop span " + span + " (L loops it)";
}

// Who leads changes what the clock and the sound follow: the transport goes
// out again, so that the players stand where the studio does.
void lead_toggle(StudioSession& session, const StudioEffects& effects) {
    session.studio_leads = !session.studio_leads;
    sound_follow(session, effects, now_of(effects));
    session.message = session.studio_leads
                          ? "the studio leads: its clock and sound; linked players follow it (P gives them the lead)"
                          : "linked players lead: the play head follows the first that plays and the studio is "
                            "silent (P takes the lead back)";
}

void save(StudioSession& session, const StudioEffects& effects) {
    std::string error;
    std::vector<std::string> written;
    edit_model_save(session.model, error, &written);
    if (effects.saved) effects.saved(written);
    session.message = session.model.message;
}

void quit_ask(StudioSession& session) {
    if (edit_model_dirty(session.model))
        session.quit_asked = true;
    else
        session.quit = true;
}

void block_move(StudioSession& session, const StudioEffects& effects, const EditSelection& block, int32_t rows) {
    const bool moved = edit_move(session.model, block, rows);
    edited(session, moved);
    if (!moved) return;
    if (session.anchor) session.anchor->second += rows;
    seek_rows(session, effects, rows);
}

// The commands on the tracks' keys, at the cursor or on the block.
void edit_command(StudioSession& session, const StudioEffects& effects, StudioCommand command) {
    EditModel& model = session.model;
    if (model.tracks.empty()) return;
    const size_t track = session.cursor_track;
    const int32_t row = studio_cursor_row(session);
    const EditSelection here = studio_selection(session).value_or(EditSelection{track, track, row, row});
    const auto beat = int32_t(ROWS_PER_BEAT);
    switch (command) {
        case StudioCommand::key_insert: return edited(session, edit_insert_key(model, track, row));
        case StudioCommand::value_type:
            if (edit_key_at(model, track, row))
                typing_start(session, Typing::value, "");
            else
                session.message = "no key at this row: Insert makes one";
            return;
        case StudioCommand::values_scale: return typing_start(session, Typing::scale, "");
        case StudioCommand::values_offset: return typing_start(session, Typing::offset, "");
        case StudioCommand::keys_stretch: return typing_start(session, Typing::stretch, "");
        case StudioCommand::key_previous:
        case StudioCommand::key_next: {
            const Keyframe* key = command == StudioCommand::key_next ? edit_key_next(model, track, row)
                                                                     : edit_key_previous(model, track, row);
            if (key)
                studio_seek(session, effects, key->row / ROWS_PER_SECOND);
            else
                session.message = model.tracks[track].document.name + " has no key that way";
            return;
        }
        case StudioCommand::nudge_up: return edited(session, edit_nudge_value(model, track, row, 0.01f));
        case StudioCommand::nudge_down: return edited(session, edit_nudge_value(model, track, row, -0.01f));
        case StudioCommand::nudge_up_whole: return edited(session, edit_nudge_value(model, track, row, 1.0f));
        case StudioCommand::nudge_down_whole: return edited(session, edit_nudge_value(model, track, row, -1.0f));
        case StudioCommand::kind_cycle: return edited(session, edit_cycle_kind(model, track, row));
        case StudioCommand::block_mark: session.anchor = std::pair{track, row}; return;
        case StudioCommand::block_drop: session.anchor.reset(); return;
        case StudioCommand::keys_delete: return edited(session, edit_delete(model, here));
        case StudioCommand::move_up: return block_move(session, effects, here, -1);
        case StudioCommand::move_down: return block_move(session, effects, here, 1);
        case StudioCommand::move_up_beat: return block_move(session, effects, here, -beat);
        case StudioCommand::move_down_beat: return block_move(session, effects, here, beat);
        case StudioCommand::copy:
            edit_copy(model, here);
            session.message = model.message;
            return;
        case StudioCommand::cut: return edited(session, edit_cut(model, here));
        case StudioCommand::paste: return edited(session, edit_paste(model, track, row));
        case StudioCommand::undo: return edited(session, edit_undo(model));
        case StudioCommand::redo: return edited(session, edit_redo(model));
        case StudioCommand::save: return save(session, effects);
        default: return;
    }
}

}  // namespace

void studio_command_run(StudioSession& session, const StudioEffects& effects, StudioCommand command) {
    switch (command) {
        case StudioCommand::play_pause: return play_pause(session, effects);
        case StudioCommand::row_back: return seek_rows(session, effects, -1.0);
        case StudioCommand::row_on: return seek_rows(session, effects, 1.0);
        case StudioCommand::beat_back: return seek_rows(session, effects, -ROWS_PER_BEAT);
        case StudioCommand::beat_on: return seek_rows(session, effects, ROWS_PER_BEAT);
        case StudioCommand::bar_back: return seek_rows(session, effects, -ROWS_PER_BAR);
        case StudioCommand::bar_on: return seek_rows(session, effects, ROWS_PER_BAR);
        case StudioCommand::go_start: return studio_seek(session, effects, 0.0);
        case StudioCommand::go_end: return studio_seek(session, effects, session.transport.length);
        case StudioCommand::track_before:
            if (session.cursor_track > 0) --session.cursor_track;
            return;
        case StudioCommand::track_after:
            if (session.cursor_track + 1 < session.model.tracks.size()) ++session.cursor_track;
            return;
        case StudioCommand::loop_in:
        case StudioCommand::loop_out:
        case StudioCommand::loop_toggle: return loop_command(session, effects, command);
        case StudioCommand::speed_cycle: return speed_cycle(session, effects);
        case StudioCommand::lead_toggle: return lead_toggle(session, effects);
        case StudioCommand::shot:
            if (effects.shot) effects.shot(session);
            return;
        case StudioCommand::video:
            if (effects.video) effects.video(session);
            return;
        case StudioCommand::help_toggle: session.help = !session.help; return;
        case StudioCommand::quit: return quit_ask(session);
        case StudioCommand::bookmark_previous: return bookmark_jump(session, effects, false);
        case StudioCommand::bookmark_next: return bookmark_jump(session, effects, true);
        case StudioCommand::bookmark_set: {
            const Bookmark* mark = bookmarks_at(session.bookmarks, studio_cursor_row(session));
            return typing_start(session, Typing::bookmark, mark ? mark->name : "");
        }
        default: return edit_command(session, effects, command);
    }
}

int32_t studio_cursor_row(const StudioSession& session) { return int32_t(std::floor(session.row + 1e-9)); }

std::optional<EditSelection> studio_selection(const StudioSession& session) {
    if (!session.anchor) return std::nullopt;
    const int32_t row = studio_cursor_row(session);
    return EditSelection{std::min(session.anchor->first, session.cursor_track),
                         std::max(session.anchor->first, session.cursor_track),
                         std::min(session.anchor->second, row), std::max(session.anchor->second, row)};
}

void studio_seek(StudioSession& session, const StudioEffects& effects, double seconds) {
    const int64_t now = now_of(effects);
    transport_seek(session.transport, seconds, now);
    sound_follow(session, effects, now);
    // The next key of the same frame acts where this one left the cursor.
    session.seconds = transport_seconds(session.transport, now);
    session.row = row_from_seconds(session.seconds);
}

void studio_cursor_place(StudioSession& session, const StudioEffects& effects, size_t track, int32_t row) {
    if (!session.model.tracks.empty()) session.cursor_track = std::min(track, session.model.tracks.size() - 1);
    if (row >= 0) studio_seek(session, effects, double(row) / ROWS_PER_SECOND);
}

void studio_typing_append(StudioSession& session, std::string_view text) {
    if (session.typing) {
        session.typed += text;
        return;
    }
    const bool number = !text.empty() && (std::isdigit(static_cast<unsigned char>(text[0])) || text[0] == '.');
    if (number && !session.quit_asked && edit_key_at(session.model, session.cursor_track, studio_cursor_row(session)))
        typing_start(session, Typing::value, text);
}

void studio_typing_back(StudioSession& session) {
    if (!session.typed.empty()) session.typed.pop_back();
}

void studio_typing_end(StudioSession& session, bool accept) {
    session.typing = false;
    if (!accept) return;
    if (session.typing_for == Typing::bookmark) return bookmark_name(session);
    std::string why;
    const std::optional<float> number = track_key_value_parse(session.typed, why);
    if (!number) {
        session.message = "not set: " + why;
        return;
    }
    const int32_t row = studio_cursor_row(session);
    const size_t track = session.cursor_track;
    const EditSelection here = studio_selection(session).value_or(EditSelection{track, track, row, row});
    EditModel& model = session.model;
    switch (session.typing_for) {
        case Typing::value: return edited(session, edit_set_value(model, track, row, *number));
        case Typing::scale: return edited(session, edit_scale_values(model, here, *number));
        case Typing::offset: return edited(session, edit_offset_values(model, here, *number));
        case Typing::stretch: return edited(session, edit_stretch(model, here, *number));
        case Typing::bookmark: return;
    }
}

void studio_quit_save(StudioSession& session, const StudioEffects& effects) {
    save(session, effects);
    session.quit = !edit_model_dirty(session.model);
    session.quit_asked = false;
}

void studio_quit_discard(StudioSession& session) { session.quit = true; }

void studio_quit_cancel(StudioSession& session) { session.quit_asked = false; }

void studio_track_reload(StudioSession& session, size_t track) {
    std::string error;
    if (edit_model_reload(session.model, track, error)) {
        ++session.edits;
        session.message = session.model.message + ", changed on disk";
    } else {
        session.message = error.empty() ? session.model.message : error;
    }
}

void studio_track_file_changed(StudioSession& session, size_t track) {
    std::string error;
    if (edit_model_rebuild_file(session.model, track, error) || !error.empty()) session.message = session.model.message;
}

void studio_recovery_settle(StudioSession& session, size_t track, bool take) {
    std::erase(session.recovered, track);
    std::string error;
    if (take) {
        edited(session, edit_model_recover(session.model, track, error));
    } else {
        edit_model_recovery_discard(session.model, track);
        session.message = session.model.message;
    }
}

void studio_conflict_settle(StudioSession& session, size_t track, bool keep_mine) {
    std::string error;
    const bool settled = keep_mine ? edit_model_keep_mine(session.model, track)
                                   : edit_model_take_theirs(session.model, track, error);
    edited(session, settled);
}

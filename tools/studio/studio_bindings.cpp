// The studio's key table and the press of a key.
#include "tools/studio/studio_bindings.h"

#include <SDL2/SDL_keyboard.h>


namespace {

using enum StudioCommand;

constexpr StudioBinding BINDINGS[] = {
    {SDL_SCANCODE_SPACE, MOD_NONE, play_pause, "play / pause"},
    {SDL_SCANCODE_UP, MOD_NONE, row_back, "one row back / on"},
    {SDL_SCANCODE_DOWN, MOD_NONE, row_on, {}},
    {SDL_SCANCODE_UP, MOD_SHIFT, beat_back, "one beat back / on"},
    {SDL_SCANCODE_DOWN, MOD_SHIFT, beat_on, {}},
    {SDL_SCANCODE_UP, MOD_CTRL, bar_back, "one bar back / on"},
    {SDL_SCANCODE_DOWN, MOD_CTRL, bar_on, {}},
    {SDL_SCANCODE_PAGEUP, MOD_NONE, bar_back, {}},
    {SDL_SCANCODE_PAGEDOWN, MOD_NONE, bar_on, {}},
    {SDL_SCANCODE_HOME, MOD_NONE, go_start, "the start / the end of the tune"},
    {SDL_SCANCODE_END, MOD_NONE, go_end, {}},
    {SDL_SCANCODE_LEFT, MOD_NONE, track_before, "the track before / after"},
    {SDL_SCANCODE_RIGHT, MOD_NONE, track_after, {}},
    {SDL_SCANCODE_INSERT, MOD_NONE, key_insert, "a key at the current row, with the track's value there"},
    {SDL_SCANCODE_K, MOD_NONE, key_insert, {}},
    {SDL_SCANCODE_RETURN, MOD_NONE, value_type,
     "type the value of the key at the current row (Enter sets it, Escape leaves it)"},
    {SDL_SCANCODE_KP_ENTER, MOD_NONE, value_type, {}},
    {SDL_SCANCODE_EQUALS, MOD_NONE, nudge_up, "nudge the key's value up / down by 0.01"},
    {SDL_SCANCODE_MINUS, MOD_NONE, nudge_down, {}},
    {SDL_SCANCODE_KP_PLUS, MOD_NONE, nudge_up, {}},
    {SDL_SCANCODE_KP_MINUS, MOD_NONE, nudge_down, {}},
    {SDL_SCANCODE_EQUALS, MOD_SHIFT, nudge_up_whole, "nudge the key's value up / down by 1"},
    {SDL_SCANCODE_MINUS, MOD_SHIFT, nudge_down_whole, {}},
    {SDL_SCANCODE_KP_PLUS, MOD_SHIFT, nudge_up_whole, {}},
    {SDL_SCANCODE_KP_MINUS, MOD_SHIFT, nudge_down_whole, {}},
    {SDL_SCANCODE_T, MOD_NONE, kind_cycle, "the key's kind: hold, linear, smoothstep, quadratic"},
    {SDL_SCANCODE_B, MOD_NONE, block_mark, "a block selection from here (move to its other corner)"},
    {SDL_SCANCODE_ESCAPE, MOD_NONE, block_drop, "drop the block selection"},
    {SDL_SCANCODE_DELETE, MOD_NONE, keys_delete, "delete the keys of the block, or the key at the current row"},
    {SDL_SCANCODE_UP, MOD_ALT, move_up, "move the block's keys one row back / on"},
    {SDL_SCANCODE_DOWN, MOD_ALT, move_down, {}},
    {SDL_SCANCODE_UP, MOD_ALT | MOD_SHIFT, move_up_beat, "move the block's keys one beat back / on"},
    {SDL_SCANCODE_DOWN, MOD_ALT | MOD_SHIFT, move_down_beat, {}},
    {SDL_SCANCODE_C, MOD_CTRL, copy, "copy the block (or the key at the current row)"},
    {SDL_SCANCODE_X, MOD_CTRL, cut, "cut the block (or the key at the current row)"},
    {SDL_SCANCODE_V, MOD_CTRL, paste, "paste at the current row and track"},
    {SDL_SCANCODE_Z, MOD_CTRL, undo, "undo"},
    {SDL_SCANCODE_Z, MOD_CTRL | MOD_SHIFT, redo, "redo"},
    {SDL_SCANCODE_Y, MOD_CTRL, redo, {}},
    {SDL_SCANCODE_S, MOD_CTRL, save, "save the track texts and rebuild the track files"},
    {SDL_SCANCODE_I, MOD_NONE, loop_in, "the loop's in / out at the current row (L switches it on)"},
    {SDL_SCANCODE_O, MOD_NONE, loop_out, {}},
    {SDL_SCANCODE_L, MOD_NONE, loop_toggle, "loop on and off"},
    {SDL_SCANCODE_S, MOD_NONE, speed_cycle, "speed: 1x, 2x, 0.5x"},
    {SDL_SCANCODE_P, MOD_NONE, lead_toggle,
     "linked players: take the lead back (the studio's clock and sound) / give it to them again"},
    {SDL_SCANCODE_F12, MOD_NONE, shot, "the frame at the current row, 1920x1080, as a PNG in the shots folder"},
    {SDL_SCANCODE_V, MOD_NONE, video, "the loop span (or the tune) to a video, in the background"},
    {SDL_SCANCODE_PAGEUP, MOD_CTRL, key_previous, "the track's key before / after the current row"},
    {SDL_SCANCODE_PAGEDOWN, MOD_CTRL, key_next, {}},
    {SDL_SCANCODE_B, MOD_CTRL, bookmark_set,
     "a bookmark at the current row: type its name (an empty name removes it)"},
    {SDL_SCANCODE_LEFTBRACKET, MOD_NONE, bookmark_previous, "the bookmark before / after the current row"},
    {SDL_SCANCODE_RIGHTBRACKET, MOD_NONE, bookmark_next, {}},
    {SDL_SCANCODE_M, MOD_CTRL, values_scale, "scale the values of the block (or key): type the factor"},
    {SDL_SCANCODE_A, MOD_CTRL, values_offset, "add to the values of the block (or key): type the amount"},
    {SDL_SCANCODE_T, MOD_CTRL, keys_stretch, "stretch the block in time from its first row: type the factor"},
    {SDL_SCANCODE_F1, MOD_NONE, help_toggle, "this list"},
    {SDL_SCANCODE_Q, MOD_CTRL, quit, "quit (asks first when edits are unsaved)"},
};

const StudioBinding* binding_exact(SDL_Scancode key, uint8_t modifiers) {
    for (const StudioBinding& binding : BINDINGS)
        if (binding.key == key && binding.modifiers == modifiers) return &binding;
    return nullptr;
}

}  // namespace

std::span<const StudioBinding> studio_bindings() { return BINDINGS; }

uint8_t studio_modifiers(uint16_t sdl_mod) {
    return uint8_t((sdl_mod & KMOD_CTRL ? MOD_CTRL : 0) | (sdl_mod & KMOD_SHIFT ? MOD_SHIFT : 0) |
                   (sdl_mod & KMOD_ALT ? MOD_ALT : 0));
}

const StudioBinding* studio_binding_find(SDL_Scancode key, uint8_t modifiers) {
    if (const StudioBinding* binding = binding_exact(key, modifiers)) return binding;
    if (modifiers & MOD_SHIFT) return binding_exact(key, uint8_t(modifiers & ~MOD_SHIFT));
    return nullptr;
}

std::string studio_binding_keys(const StudioBinding& binding) {
    std::string keys;
    if (binding.modifiers & MOD_CTRL) keys += "Ctrl+";
    if (binding.modifiers & MOD_ALT) keys += "Alt+";
    if (binding.modifiers & MOD_SHIFT) keys += "Shift+";
    return keys + SDL_GetScancodeName(binding.key);
}

void studio_key_press(StudioSession& session, const StudioEffects& effects, SDL_Scancode key, uint8_t modifiers) {
    if (session.quit_asked) {
        if (key == SDL_SCANCODE_ESCAPE) studio_quit_cancel(session);
        if (key == SDL_SCANCODE_RETURN || key == SDL_SCANCODE_KP_ENTER) studio_quit_save(session, effects);
        return;
    }
    if (session.typing) {
        if (key == SDL_SCANCODE_BACKSPACE) studio_typing_back(session);
        if (key == SDL_SCANCODE_ESCAPE) studio_typing_end(session, false);
        if (key == SDL_SCANCODE_RETURN || key == SDL_SCANCODE_KP_ENTER) studio_typing_end(session, true);
        return;
    }
    if (const StudioBinding* binding = studio_binding_find(key, modifiers))
        studio_command_run(session, effects, binding->command);
}

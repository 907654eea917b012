// The studio's keys and window events turned into commands on its state. The
// bindings are listed once, in STUDIO_KEYS, which F1 shows.
#pragma once

#include <SDL2/SDL.h>

#include <string_view>

#include "tools/studio/studio_state.h"

struct KeyBinding {
    std::string_view keys;
    std::string_view does;
};

inline constexpr KeyBinding STUDIO_KEYS[] = {
    {"Space", "play / pause"},
    {"Up / Down", "one row back / on"},
    {"Shift+Up / Shift+Down", "one beat back / on"},
    {"Ctrl+Up / Ctrl+Down, PageUp / PageDown", "one bar back / on"},
    {"Home / End", "the start / the end of the tune"},
    {"click or drag on the timeline", "seek there; wheel zooms, Shift+wheel scrolls"},
    {"Left / Right", "the track before / after"},
    {"Insert or K", "a key at the current row, with the track's value there"},
    {"Enter", "type the value of the key at the current row (Enter sets it, Escape leaves it)"},
    {"+ / -", "nudge the key's value by 0.01 (with Shift by 1)"},
    {"T", "the key's kind: hold, linear, smoothstep, quadratic"},
    {"B", "a block selection from here (move to its other corner); Escape drops it"},
    {"Delete", "delete the keys of the block, or the key at the current row"},
    {"Alt+Up / Alt+Down", "move the block's keys one row (with Shift one beat)"},
    {"Ctrl+C / Ctrl+X / Ctrl+V", "copy / cut the block, paste it at the current row and track"},
    {"Ctrl+Z / Ctrl+Shift+Z or Ctrl+Y", "undo / redo"},
    {"Ctrl+S", "save the track texts and rebuild the track files"},
    {"I / O / L", "loop in / loop out at the current row / loop on and off"},
    {"S", "speed: 1x, 2x, 0.5x"},
    {"F12", "the frame at the current row, 1920x1080, as a PNG in the shots folder"},
    {"V", "the loop span (or the tune) to a video, in the background"},
    {"F1", "this list"},
    {"Ctrl+Q or closing the window", "quit (asks first when edits are unsaved)"},
};

// Window events: closing the window asks to quit; each key press is a command
// at once (a tap shorter than a frame still counts, which polling the
// keyboard's state would miss), and typed text goes into a value being typed.
void studio_event(StudioState& state, const SDL_Event& event);
// A key press as a command: when a value is being typed, it edits the value;
// otherwise the bindings of STUDIO_KEYS.
void studio_key(StudioState& state, const SDL_Keysym& key);
// The block selection between the anchor and the cursor, if one is set.
std::optional<EditSelection> studio_selection(const StudioState& state);

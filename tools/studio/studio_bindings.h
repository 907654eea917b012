// The studio's keys: one table of bindings, each a key with its modifiers,
// the command it runs and the line F1 shows for it, so that what F1 says and
// what a key does cannot part. Keys are SDL's scancodes (positions, so the
// bindings sit in the same place on every layout).
#pragma once

#include <SDL2/SDL_keycode.h>
#include <SDL2/SDL_scancode.h>

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "tools/studio/studio_commands.h"

// Modifiers a binding asks for. Ctrl and Alt must be held exactly as asked;
// Shift too, except that a key without a Shift binding of its own runs its
// plain binding with Shift held.
enum StudioModifier : uint8_t { MOD_NONE = 0, MOD_CTRL = 1, MOD_SHIFT = 2, MOD_ALT = 4 };

struct StudioBinding {
    SDL_Scancode key;
    uint8_t modifiers;
    StudioCommand command;
    std::string_view does;  // F1's words; empty where the binding shares the line above it
};

std::span<const StudioBinding> studio_bindings();

// The modifiers held, from SDL's key modifier state.
uint8_t studio_modifiers(uint16_t sdl_mod);

// The binding a key with those modifiers runs; null when none.
const StudioBinding* studio_binding_find(SDL_Scancode key, uint8_t modifiers);

// A key's name as F1 writes it, with its modifiers: "Ctrl+Shift+Z".
std::string studio_binding_keys(const StudioBinding& binding);

// One key press: while a value is being typed, Backspace, Enter and Escape
// edit it; while the question before quitting is up, Enter saves and quits,
// Escape goes on, and nothing else acts; otherwise the key's binding runs.
void studio_key_press(StudioSession& session, const StudioEffects& effects, SDL_Scancode key, uint8_t modifiers);

// The page around the program (page.js): its screens, its frames and its
// sound, reached from the web backends. The functions marked as waiting hand
// the thread back to the browser (Asyncify) and return when the page calls on.
#pragma once

#include <cstdint>

extern "C" {

// The row of `?row=R` in the page's address, or a negative number when the
// page plays: then it draws that row, paused, with no sound and no start step.
double page_paused_row();

// Waits for the browser's next animation frame; the finished picture shows then.
void page_next_frame();
// Says in the page that there is no WebGL 2 and waits for ever.
void page_stop_without_webgl();
// True from the start gesture to the end screen.
bool page_running();
// Hides the cursor while the presentation runs.
void page_cursor_hide();
// A short notice over the picture, for failures the presentation goes on with.
void page_notice(const char* text);
// Shows the start screen and waits for a click or a key (browsers keep sound
// off until one); then the page goes fullscreen, or fills the window if that is
// refused, and the audio context is opened within the gesture. A paused page
// (`?row=R`) shows its picture at once.
void page_wait_for_start(uint32_t frequency);
// Shows the end screen and waits for ever.
void page_end();

// Decodes the tune's bytes with the browser's decoder; true when it gave audio
// (then `frames` is its length in frames at the context's frequency).
bool page_audio_decode(const uint8_t* bytes, uint32_t size, double* frames);
// Starts the decoded tune `offset` seconds into it (or, without one, the page's
// silent clock).
void page_audio_play(double offset);
// What is audible: `frames` since the start of play (negative before it) at
// the page's time `now_ms` (performance.now()); false while nothing plays yet.
bool page_audio_audible(double* frames, double* now_ms);
// Tells the page where the music is (for the page's state and for tests).
void page_audio_report(double seconds);
// Stops the tune, then closes the audio context.
void page_audio_stop();
void page_audio_close();
}

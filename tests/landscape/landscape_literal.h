// The landscape march with no shortcut, embedded from landscape_literal.glsl
// for the tests and the benchmark; it never goes into the program.
#pragma once

extern const char landscape_literal_glsl[];

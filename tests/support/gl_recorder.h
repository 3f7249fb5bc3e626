// A recording stand-in for the GL 1.1 and GLU calls the renderer makes (the
// list in gl_functions.h). The test binaries that use it define those
// functions themselves and never link a GL library, so every call lands here
// with its exact argument bits.
#ifndef TOWER_TESTS_GL_RECORDER_H
#define TOWER_TESTS_GL_RECORDER_H

#include <GL/gl.h>

#include <cstdint>
#include <string>
#include <vector>

namespace glrec {

// One value per function in gl_functions.h, named as the function is.
enum class Fn {
#define TOWER_GL_FUNCTION(name, parameters, arguments) name,
#include "gl_functions.h"
#undef TOWER_GL_FUNCTION
    Marker, // not GL: a test's own note, placed among the GL calls
};

struct Call {
    Fn fn;
    int argc;
    std::uint64_t bits[4]; // floats as their 32-bit pattern, doubles as 64

    float F(int i) const;
    double D(int i) const;
    std::int64_t I(int i) const;
};

bool operator==(const Call &a, const Call &b);
std::string Describe(const Call &call);

// Build expected calls; the count of arguments is the function's own.
Call Make(Fn fn);
Call MakeI(Fn fn, std::int64_t a, std::int64_t b = 0, std::int64_t c = 0, std::int64_t d = 0);
Call MakeF(Fn fn, float a, float b = 0, float c = 0, float d = 0);
Call MakeD(Fn fn, double a, double b = 0, double c = 0, double d = 0);

// Forget everything recorded; capacity is kept, so recording allocates only
// when a run outgrows every run before it.
void Reset();
// With recording off, calls are still counted but not stored, for runs of
// millions of frames.
void SetRecording(bool on);

const std::vector<Call> &Calls();
long Count(Fn fn);
// Notes placed among the calls with Fn::Marker; a marker's first bit word
// indexes this list.
void Mark(const char *note);
const std::vector<std::string> &Markers();

// The matrix state as GL would have it: the current mode, and whether the
// model-view matrix is the identity.
GLenum CurrentMatrixMode();
bool ModelViewIsIdentity();

} // namespace glrec

#endif

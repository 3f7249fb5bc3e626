// The recorder's GL and GLU functions, generated from gl_functions.h.
// Including the real headers makes the compiler hold every definition to the
// real signature.
#include "gl_recorder.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cstdio>
#include <cstring>
#include <type_traits>

namespace glrec {

namespace {

std::vector<Call> g_calls;
std::vector<std::string> g_markers;
long g_counts[static_cast<int>(Fn::Marker) + 1];
bool g_recording = true;
GLenum g_matrixMode = GL_MODELVIEW;
bool g_modelViewIdentity = true;

// How a function's arguments are kept and shown, read off its real type.
enum class Kind { Integer, Float, Double };

template <typename... A> constexpr int ArgumentCount(void (*)(A...))
{
    return sizeof...(A);
}

constexpr Kind KindOf(void (*)())
{
    return Kind::Integer;
}

template <typename A, typename... Rest> constexpr Kind KindOf(void (*)(A, Rest...))
{
    if (std::is_same_v<A, float>) {
        return Kind::Float;
    }
    return std::is_same_v<A, double> ? Kind::Double : Kind::Integer;
}

struct Signature {
    const char *name;
    int argc;
    Kind kind;
};

const Signature kSignatures[] = {
#define TOWER_GL_FUNCTION(name, parameters, arguments) {#name, ArgumentCount(&name), KindOf(&name)},
#include "gl_functions.h"
#undef TOWER_GL_FUNCTION
    {"marker", 1, Kind::Integer},
};

const Signature &SignatureOf(Fn fn)
{
    return kSignatures[static_cast<int>(fn)];
}

std::uint64_t Bits(float v)
{
    std::uint32_t b;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

std::uint64_t Bits(double v)
{
    std::uint64_t b;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

template <typename T> std::uint64_t Bits(T v)
{
    return static_cast<std::uint64_t>(static_cast<std::int64_t>(v));
}

// Follow the matrix state as GL would: the current mode, and whether the
// model-view matrix is still the identity.
void Track(const Call &call)
{
    if (call.fn == Fn::glMatrixMode) {
        g_matrixMode = static_cast<GLenum>(call.bits[0]);
    } else if (g_matrixMode == GL_MODELVIEW) {
        const bool moves = call.fn == Fn::glTranslatef || call.fn == Fn::glRotatef ||
                           call.fn == Fn::gluPerspective;
        g_modelViewIdentity = call.fn == Fn::glLoadIdentity || (g_modelViewIdentity && !moves);
    }
}

void Store(const Call &call)
{
    Track(call);
    ++g_counts[static_cast<int>(call.fn)];
    if (g_recording) {
        g_calls.push_back(call);
    }
}

// What each generated function does with its arguments.
struct Recorder {
    Fn fn;
    template <typename... A> void operator()(A... args) const
    {
        Store(Call{fn, static_cast<int>(sizeof...(A)), {Bits(args)...}});
    }
};

} // namespace

float Call::F(int i) const
{
    const auto b = static_cast<std::uint32_t>(bits[i]);
    float v;
    std::memcpy(&v, &b, sizeof v);
    return v;
}

double Call::D(int i) const
{
    double v;
    std::memcpy(&v, &bits[i], sizeof v);
    return v;
}

std::int64_t Call::I(int i) const
{
    return static_cast<std::int64_t>(bits[i]);
}

bool operator==(const Call &a, const Call &b)
{
    if (a.fn != b.fn || a.argc != b.argc) {
        return false;
    }
    for (int i = 0; i < a.argc; ++i) {
        if (a.bits[i] != b.bits[i]) {
            return false;
        }
    }
    return true;
}

std::string Describe(const Call &call)
{
    const Signature &signature = SignatureOf(call.fn);
    std::string out = signature.name;
    out += '(';
    for (int i = 0; i < call.argc; ++i) {
        char arg[64];
        if (call.fn == Fn::Marker) {
            std::snprintf(arg, sizeof arg, "\"%s\"", g_markers[call.bits[0]].c_str());
        } else if (signature.kind == Kind::Float) {
            std::snprintf(arg, sizeof arg, "%.9g", static_cast<double>(call.F(i)));
        } else if (signature.kind == Kind::Double) {
            std::snprintf(arg, sizeof arg, "%.17g", call.D(i));
        } else {
            std::snprintf(arg, sizeof arg, "0x%llx", static_cast<unsigned long long>(call.bits[i]));
        }
        out += (i > 0 ? ", " : "");
        out += arg;
    }
    return out + ')';
}

Call Make(Fn fn)
{
    return Call{fn, SignatureOf(fn).argc, {0, 0, 0, 0}};
}

Call MakeI(Fn fn, std::int64_t a, std::int64_t b, std::int64_t c, std::int64_t d)
{
    return Call{fn, SignatureOf(fn).argc, {Bits(a), Bits(b), Bits(c), Bits(d)}};
}

Call MakeF(Fn fn, float a, float b, float c, float d)
{
    return Call{fn, SignatureOf(fn).argc, {Bits(a), Bits(b), Bits(c), Bits(d)}};
}

Call MakeD(Fn fn, double a, double b, double c, double d)
{
    return Call{fn, SignatureOf(fn).argc, {Bits(a), Bits(b), Bits(c), Bits(d)}};
}

void Reset()
{
    g_calls.clear();
    g_markers.clear();
    std::memset(g_counts, 0, sizeof g_counts);
    g_recording = true;
    g_matrixMode = GL_MODELVIEW;
    g_modelViewIdentity = true;
}

void SetRecording(bool on)
{
    g_recording = on;
}

const std::vector<Call> &Calls()
{
    return g_calls;
}

long Count(Fn fn)
{
    return g_counts[static_cast<int>(fn)];
}

void Mark(const char *note)
{
    g_markers.emplace_back(note);
    Store(Call{Fn::Marker, 1, {g_markers.size() - 1, 0, 0, 0}});
}

const std::vector<std::string> &Markers()
{
    return g_markers;
}

GLenum CurrentMatrixMode()
{
    return g_matrixMode;
}

bool ModelViewIsIdentity()
{
    return g_modelViewIdentity;
}

} // namespace glrec

#define TOWER_GL_FUNCTION(name, parameters, arguments)                                             \
    void GLAPIENTRY name parameters                                                                \
    {                                                                                              \
        glrec::Recorder{glrec::Fn::name} arguments;                                                \
    }
#include "gl_functions.h"
#undef TOWER_GL_FUNCTION

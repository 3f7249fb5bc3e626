// The recorder's GL and GLU functions. Including the real headers makes the
// compiler hold every definition to the real signature.
#include "gl_recorder.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cstdio>
#include <cstring>

namespace glrec {

namespace {

std::vector<Call> g_calls;
std::vector<std::string> g_markers;
long g_counts[static_cast<int>(Fn::Marker) + 1];
bool g_recording = true;
GLenum g_matrixMode = GL_MODELVIEW;
bool g_modelViewIdentity = true;

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

void Store(const Call &call)
{
    ++g_counts[static_cast<int>(call.fn)];
    if (g_recording) {
        g_calls.push_back(call);
    }
}

// A call that moves the model-view matrix away from the identity.
void TouchMatrix()
{
    if (g_matrixMode == GL_MODELVIEW) {
        g_modelViewIdentity = false;
    }
}

const char *Name(Fn fn)
{
    static const char *const kNames[] = {
        "glBegin",      "glEnd",          "glColor3f",    "glVertex3f",  "glTranslatef",
        "glRotatef",    "glLoadIdentity", "glMatrixMode", "glViewport",  "glClear",
        "glClearColor", "glClearDepth",   "glEnable",     "glDepthFunc", "glShadeModel",
        "glHint",       "gluPerspective", "marker",
    };
    return kNames[static_cast<int>(fn)];
}

bool IsFloatFn(Fn fn)
{
    return fn == Fn::Color3f || fn == Fn::Vertex3f || fn == Fn::Translatef || fn == Fn::Rotatef ||
           fn == Fn::ClearColor;
}

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
    std::string out = Name(call.fn);
    out += '(';
    for (int i = 0; i < call.argc; ++i) {
        char arg[64];
        if (IsFloatFn(call.fn)) {
            std::snprintf(arg, sizeof arg, "%.9g", static_cast<double>(call.F(i)));
        } else if (call.fn == Fn::Perspective || call.fn == Fn::ClearDepth) {
            std::snprintf(arg, sizeof arg, "%.17g", call.D(i));
        } else if (call.fn == Fn::Marker) {
            std::snprintf(arg, sizeof arg, "\"%s\"", g_markers[call.bits[0]].c_str());
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
    return Call{fn, 0, {0, 0, 0, 0}};
}

Call MakeI(Fn fn, std::int64_t a, std::int64_t b, std::int64_t c, std::int64_t d)
{
    Call call{fn,
              0,
              {static_cast<std::uint64_t>(a), static_cast<std::uint64_t>(b),
               static_cast<std::uint64_t>(c), static_cast<std::uint64_t>(d)}};
    switch (fn) {
    case Fn::Viewport:
        call.argc = 4;
        break;
    case Fn::Hint:
        call.argc = 2;
        break;
    default:
        call.argc = 1;
        break;
    }
    return call;
}

Call MakeF(Fn fn, float a, float b, float c, float d)
{
    const int argc = fn == Fn::Rotatef || fn == Fn::ClearColor ? 4 : 3;
    return Call{fn, argc, {Bits(a), Bits(b), Bits(c), Bits(d)}};
}

Call MakeD(Fn fn, double a, double b, double c, double d)
{
    const int argc = fn == Fn::Perspective ? 4 : 1;
    return Call{fn, argc, {Bits(a), Bits(b), Bits(c), Bits(d)}};
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

using namespace glrec;

void GLAPIENTRY glBegin(GLenum mode)
{
    Store(MakeI(Fn::Begin, mode));
}

void GLAPIENTRY glEnd()
{
    Store(Make(Fn::End));
}

void GLAPIENTRY glColor3f(GLfloat r, GLfloat g, GLfloat b)
{
    Store(MakeF(Fn::Color3f, r, g, b));
}

void GLAPIENTRY glVertex3f(GLfloat x, GLfloat y, GLfloat z)
{
    Store(MakeF(Fn::Vertex3f, x, y, z));
}

void GLAPIENTRY glTranslatef(GLfloat x, GLfloat y, GLfloat z)
{
    TouchMatrix();
    Store(MakeF(Fn::Translatef, x, y, z));
}

void GLAPIENTRY glRotatef(GLfloat angle, GLfloat x, GLfloat y, GLfloat z)
{
    TouchMatrix();
    Store(MakeF(Fn::Rotatef, angle, x, y, z));
}

void GLAPIENTRY glLoadIdentity()
{
    if (g_matrixMode == GL_MODELVIEW) {
        g_modelViewIdentity = true;
    }
    Store(Make(Fn::LoadIdentity));
}

void GLAPIENTRY glMatrixMode(GLenum mode)
{
    g_matrixMode = mode;
    Store(MakeI(Fn::MatrixMode, mode));
}

void GLAPIENTRY glViewport(GLint x, GLint y, GLsizei width, GLsizei height)
{
    Store(MakeI(Fn::Viewport, x, y, width, height));
}

void GLAPIENTRY glClear(GLbitfield mask)
{
    Store(MakeI(Fn::Clear, mask));
}

void GLAPIENTRY glClearColor(GLclampf r, GLclampf g, GLclampf b, GLclampf a)
{
    Store(MakeF(Fn::ClearColor, r, g, b, a));
}

void GLAPIENTRY glClearDepth(GLclampd depth)
{
    Store(MakeD(Fn::ClearDepth, depth));
}

void GLAPIENTRY glEnable(GLenum cap)
{
    Store(MakeI(Fn::Enable, cap));
}

void GLAPIENTRY glDepthFunc(GLenum func)
{
    Store(MakeI(Fn::DepthFunc, func));
}

void GLAPIENTRY glShadeModel(GLenum mode)
{
    Store(MakeI(Fn::ShadeModel, mode));
}

void GLAPIENTRY glHint(GLenum target, GLenum mode)
{
    Store(MakeI(Fn::Hint, target, mode));
}

void GLAPIENTRY gluPerspective(GLdouble fovy, GLdouble aspect, GLdouble zNear, GLdouble zFar)
{
    TouchMatrix();
    Store(MakeD(Fn::Perspective, fovy, aspect, zNear, zFar));
}

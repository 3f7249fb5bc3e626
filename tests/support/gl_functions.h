// The GL 1.1 and GLU functions the renderer calls, listed once: the GL
// recorder (gl_recorder) and the benchmarks' empty GL (bench/null_gl.cpp)
// are generated from this list, each defining
//   TOWER_GL_FUNCTION(name, (parameters), (arguments))
// before including it. Every one of them returns nothing. A renderer that
// calls one more function adds it here, and both follow.
// No include guard: each includer expands the list its own way.
TOWER_GL_FUNCTION(glBegin, (GLenum mode), (mode))
TOWER_GL_FUNCTION(glEnd, (), ())
TOWER_GL_FUNCTION(glColor3f, (GLfloat r, GLfloat g, GLfloat b), (r, g, b))
TOWER_GL_FUNCTION(glVertex3f, (GLfloat x, GLfloat y, GLfloat z), (x, y, z))
TOWER_GL_FUNCTION(glTranslatef, (GLfloat x, GLfloat y, GLfloat z), (x, y, z))
TOWER_GL_FUNCTION(glRotatef, (GLfloat angle, GLfloat x, GLfloat y, GLfloat z), (angle, x, y, z))
TOWER_GL_FUNCTION(glLoadIdentity, (), ())
TOWER_GL_FUNCTION(glMatrixMode, (GLenum mode), (mode))
TOWER_GL_FUNCTION(glViewport, (GLint x, GLint y, GLsizei width, GLsizei height),
                  (x, y, width, height))
TOWER_GL_FUNCTION(glClear, (GLbitfield mask), (mask))
TOWER_GL_FUNCTION(glClearColor, (GLclampf r, GLclampf g, GLclampf b, GLclampf a), (r, g, b, a))
TOWER_GL_FUNCTION(glClearDepth, (GLclampd depth), (depth))
TOWER_GL_FUNCTION(glEnable, (GLenum cap), (cap))
TOWER_GL_FUNCTION(glDepthFunc, (GLenum func), (func))
TOWER_GL_FUNCTION(glShadeModel, (GLenum mode), (mode))
TOWER_GL_FUNCTION(glHint, (GLenum target, GLenum mode), (target, mode))
TOWER_GL_FUNCTION(gluPerspective, (GLdouble fovy, GLdouble aspect, GLdouble zNear, GLdouble zFar),
                  (fovy, aspect, zNear, zFar))

// The GL 1.1 and GLU calls the renderer makes, as functions that do nothing,
// so that a benchmark can time the renderer's own work. Including the real
// headers makes the compiler hold every definition to the real signature.
#include <GL/gl.h>
#include <GL/glu.h>

void GLAPIENTRY glBegin(GLenum) {}
void GLAPIENTRY glEnd() {}
void GLAPIENTRY glColor3f(GLfloat, GLfloat, GLfloat) {}
void GLAPIENTRY glVertex3f(GLfloat, GLfloat, GLfloat) {}
void GLAPIENTRY glTranslatef(GLfloat, GLfloat, GLfloat) {}
void GLAPIENTRY glRotatef(GLfloat, GLfloat, GLfloat, GLfloat) {}
void GLAPIENTRY glLoadIdentity() {}
void GLAPIENTRY glMatrixMode(GLenum) {}
void GLAPIENTRY glViewport(GLint, GLint, GLsizei, GLsizei) {}
void GLAPIENTRY glClear(GLbitfield) {}
void GLAPIENTRY glClearColor(GLclampf, GLclampf, GLclampf, GLclampf) {}
void GLAPIENTRY glClearDepth(GLclampd) {}
void GLAPIENTRY glEnable(GLenum) {}
void GLAPIENTRY glDepthFunc(GLenum) {}
void GLAPIENTRY glShadeModel(GLenum) {}
void GLAPIENTRY glHint(GLenum, GLenum) {}
void GLAPIENTRY gluPerspective(GLdouble, GLdouble, GLdouble, GLdouble) {}

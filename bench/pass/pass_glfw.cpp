// The frame loop's pass written with GLFW 3, asking for the framebuffer
// our pixel format gets, in a window of the same size.
#include "pass_harness.h"

#include <GLFW/glfw3.h>

#include <cstdio>

namespace {

GLFWwindow *g_window = nullptr;

void Events()
{
    glfwPollEvents();
}

void Swap()
{
    glfwSwapBuffers(g_window);
}

bool Escape()
{
    return glfwGetKey(g_window, GLFW_KEY_ESCAPE) == GLFW_PRESS;
}

} // namespace

int main(int argc, char **argv)
{
    const PassSize size = ParsePassSize(argc, argv);
    if (!glfwInit()) {
        std::fprintf(stderr, "pass glfw: glfwInit failed\n");
        return 1;
    }
    glfwWindowHint(GLFW_RED_BITS, 8);
    glfwWindowHint(GLFW_GREEN_BITS, 8);
    glfwWindowHint(GLFW_BLUE_BITS, 8);
    glfwWindowHint(GLFW_ALPHA_BITS, 0);
    glfwWindowHint(GLFW_DEPTH_BITS, 16);
    glfwWindowHint(GLFW_STENCIL_BITS, 0);
    glfwWindowHint(GLFW_DOUBLEBUFFER, GLFW_TRUE);
    glfwWindowHint(GLFW_DECORATED, GLFW_FALSE);
    g_window = glfwCreateWindow(size.width, size.height, "pass glfw", nullptr, nullptr);
    if (g_window == nullptr) {
        std::fprintf(stderr, "pass glfw: no window\n");
        glfwTerminate();
        return 1;
    }
    glfwMakeContextCurrent(g_window);
    // Xvfb never waits for a vertical blank, but a real server would.
    glfwSwapInterval(0);
    const int status = RunPasses(argc, argv, {"glfw", Events, Swap, Escape}, size);
    glfwDestroyWindow(g_window);
    glfwTerminate();
    return status;
}

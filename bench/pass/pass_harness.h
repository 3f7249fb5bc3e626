// One pass of a frame loop, timed call by call, so that three ways of
// writing the same loop (our Win32 stand-in, GLFW, SDL) can be compared on
// the same X server with the same drawing.
#ifndef TOWER_BENCH_PASS_HARNESS_H
#define TOWER_BENCH_PASS_HARNESS_H

// What a peer does in one pass, besides DrawScene.
struct PassCalls {
    const char *name;
    void (*events)(); // take what the window system has for us
    void (*swap)();   // present the back buffer
    bool (*escape)(); // is Escape down?
};

// The window size every peer opens, from --size WxH (default 1024x768).
struct PassSize {
    int width;
    int height;
};
PassSize ParsePassSize(int argc, char **argv);

// Run the passes that the command line asks for, once the peer's window and
// current context exist, and print the figures. Returns the exit status.
//   --passes N   passes per repetition (1000)
//   --reps R     repetitions (5), each after 100 passes of warm-up
//   --count N    just N passes after 100 of warm-up, silently: for counting
//                system calls or instructions from outside
int RunPasses(int argc, char **argv, const PassCalls &calls, PassSize size);

#endif

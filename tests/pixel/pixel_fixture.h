// The fixture every pixel test uses: a fresh offscreen context per test, and
// the frame read back from it.
#ifndef TOWER_TESTS_PIXEL_PIXEL_FIXTURE_H
#define TOWER_TESTS_PIXEL_PIXEL_FIXTURE_H

#include "tower_model.h"

#include <gtest/gtest.h>

#include <vector>

// The colour and depth of a whole frame, rows bottom-up as the GL gives them.
struct Frame {
    int width = 0;
    int height = 0;
    std::vector<float> rgb;
    std::vector<float> depth;

    towermodel::Rgb ColourAt(int x, int y) const;
    double DepthAt(int x, int y) const;
};

// How far a read-back value may sit from the exact one, from the buffer's
// real bit counts.
struct Tolerance {
    towermodel::Rgb colour;
    double depth;
};

class PixelTest : public ::testing::Test {
  protected:
    void TearDown() override;

    // Open a width x height context, or mark the test skipped with the reason;
    // callers return when IsSkipped().
    void OpenContext(int width, int height);

    // Finish drawing and read the whole frame.
    Frame ReadFrame() const;

    Tolerance Tolerances() const;

    int width_ = 0;
    int height_ = 0;
};

// Channel 0, 1 or 2 of a colour: red, green, blue.
double Channel(const towermodel::Rgb &colour, int i);

// Whether a colour is within tolerance of the expected one, per channel.
::testing::AssertionResult ColourNear(const towermodel::Rgb &got, const towermodel::Rgb &expected,
                                      const towermodel::Rgb &tolerance);

#endif

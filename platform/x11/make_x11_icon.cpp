// make_x11_icon: run while building, it turns the icon's plain 32-bit
// bitmap entries in tower.ico into _NET_WM_ICON's data as C++ source, so
// that the program carries its icon and reads no file for it.
//
// Usage: make_x11_icon tower.ico out.cpp SIZE...
//
// For each size, in the order given, the data holds the width, the height
// and the pixels in rows from the top, each as 0xAARRGGBB with straight
// alpha, one to a long as Xlib wants a property of format 32.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

[[noreturn]] void Fail(const std::string &why)
{
    std::fprintf(stderr, "make_x11_icon: %s\n", why.c_str());
    std::exit(1);
}

std::uint32_t Le(const Bytes &data, std::size_t at, int size)
{
    if (at + static_cast<std::size_t>(size) > data.size()) {
        Fail("the icon file ends early");
    }
    std::uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i) {
        value = value << 8 | data[at + static_cast<std::size_t>(i)];
    }
    return value;
}

// The entry of the given size, which must be an uncompressed 32-bit DIB:
// its colour rows run from the bottom, in BGRA, with the AND mask after
// them, which the alpha makes redundant.
std::vector<std::uint32_t> Pixels(const Bytes &ico, int size)
{
    const std::uint32_t count = Le(ico, 4, 2);
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::size_t entry = 6 + 16 * static_cast<std::size_t>(i);
        const int width = ico.at(entry) == 0 ? 256 : ico.at(entry);
        if (width != size) {
            continue;
        }
        const std::size_t dib = Le(ico, entry + 12, 4);
        if (Le(ico, dib, 4) != 40 || static_cast<int>(Le(ico, dib + 4, 4)) != size ||
            static_cast<int>(Le(ico, dib + 8, 4)) != 2 * size || Le(ico, dib + 14, 2) != 32 ||
            Le(ico, dib + 16, 4) != 0) {
            Fail("the " + std::to_string(size) + "-pixel entry is not a plain 32-bit bitmap");
        }
        std::vector<std::uint32_t> pixels;
        for (int y = size - 1; y >= 0; --y) {
            for (int x = 0; x < size; ++x) {
                const std::size_t at = dib + 40 + 4 * (static_cast<std::size_t>(y) * size + x);
                const std::uint32_t bgra = Le(ico, at, 4);
                // B, G, R, A in memory is 0xAARRGGBB read little-endian.
                pixels.push_back(bgra);
            }
        }
        return pixels;
    }
    Fail("no " + std::to_string(size) + "-pixel entry in the icon");
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 4) {
        Fail("usage: make_x11_icon tower.ico out.cpp SIZE...");
    }
    std::ifstream in(argv[1], std::ios::binary);
    const Bytes ico((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.is_open() || ico.size() < 6 || Le(ico, 0, 2) != 0 || Le(ico, 2, 2) != 1) {
        Fail(std::string("cannot read an icon from ") + argv[1]);
    }
    std::string text = "// Made by make_x11_icon from tower.ico while building.\n"
                       "#include \"x11_platform.h\"\n\n"
                       "namespace x11 {\n\n"
                       "const unsigned long kX11Icon[] = {\n";
    for (int i = 3; i < argc; ++i) {
        const int size = std::atoi(argv[i]);
        text += "    " + std::to_string(size) + ", " + std::to_string(size) + ",\n";
        const std::vector<std::uint32_t> pixels = Pixels(ico, size);
        for (std::size_t p = 0; p < pixels.size(); ++p) {
            char hex[16];
            std::snprintf(hex, sizeof hex, "0x%08xUL,", static_cast<unsigned>(pixels[p]));
            text += (p % 8 == 0 ? "    " : " ") + std::string(hex) +
                    (p % 8 == 7 || p + 1 == pixels.size() ? "\n" : "");
        }
    }
    text += "};\n\nconst int kX11IconLongs = sizeof kX11Icon / sizeof kX11Icon[0];\n\n"
            "} // namespace x11\n";
    std::ofstream out(argv[2], std::ios::binary);
    out << text;
    out.close();
    if (!out) {
        Fail(std::string("cannot write ") + argv[2]);
    }
    return 0;
}

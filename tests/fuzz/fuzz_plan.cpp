#include "fuzz_plan.h"

#include <cstdio>
#include <cstring>

namespace towerfuzz {

namespace {

// Reads the input front to back; past its end every read is zero.
class Reader {
  public:
    Reader(const std::uint8_t *data, std::size_t size) : data_(data), size_(size) {}

    std::uint8_t U8()
    {
        return pos_ < size_ ? data_[pos_++] : 0;
    }

    std::uint16_t U16()
    {
        const unsigned lo = U8();
        const unsigned hi = U8();
        return static_cast<std::uint16_t>(lo | (hi << 8));
    }

    std::uint32_t U32()
    {
        const std::uint32_t lo = U16();
        const std::uint32_t hi = U16();
        return lo | (hi << 16);
    }

    // A 32-bit value taken as signed, so that negative sizes and codes occur.
    std::int32_t I32()
    {
        const std::uint32_t v = U32();
        std::int32_t out;
        std::memcpy(&out, &v, sizeof out);
        return out;
    }

  private:
    const std::uint8_t *data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

LONG DisplayResult(Reader &in)
{
    // DISP_CHANGE_BADDUALVIEW has no name in our windows.h.
    static const LONG kCodes[] = {
        DISP_CHANGE_SUCCESSFUL, DISP_CHANGE_RESTART,  DISP_CHANGE_FAILED,   DISP_CHANGE_BADMODE,
        DISP_CHANGE_NOTUPDATED, DISP_CHANGE_BADFLAGS, DISP_CHANGE_BADPARAM, -6,
    };
    const unsigned sel = in.U8() % 9;
    return sel < 8 ? kCodes[sel] : static_cast<LONG>(in.I32());
}

int ScreenDimension(Reader &in, int usual)
{
    switch (in.U8() % 8) {
    case 1:
        return 0;
    case 2:
        return 1;
    case 3:
        return in.U16() | 1;
    case 4:
        return 65535;
    case 5:
        return in.U16();
    case 6:
        return in.I32();
    case 7:
        return -1 - in.U8();
    default:
        return usual;
    }
}

UINT Message(Reader &in)
{
    static const UINT kMessages[] = {
        WM_SIZE,
        WM_CLOSE,
        WM_DESTROY,
        WM_CREATE,
        WM_NULL,
        0x0006 /* WM_ACTIVATE */,
        0x000F /* WM_PAINT */,
        0x0112 /* WM_SYSCOMMAND */,
        WM_KEYDOWN,
        WM_KEYUP,
        WM_USER,
    };
    constexpr unsigned kCount = sizeof kMessages / sizeof kMessages[0];
    const unsigned sel = in.U8() % (kCount + 1);
    if (sel < kCount) {
        return kMessages[sel];
    }
    // A posted WM_QUIT ends any Win32 loop on the spot, without teardown,
    // carrying whatever code the poster chose: that is the sender's doing,
    // not the program's, so the world here never sends one.
    const UINT any = in.U32();
    return any == WM_QUIT ? WM_USER + WM_QUIT : any;
}

LPARAM Param(Reader &in)
{
    return static_cast<LPARAM>(in.I32());
}

long Pass(Reader &in, long maxPasses)
{
    return static_cast<long>(in.U16() % (maxPasses + 4));
}

const char *EscapeName(EscapeMode mode)
{
    switch (mode) {
    case EscapeMode::Tap:
        return "tap";
    case EscapeMode::HeldFrom:
        return "held-from";
    case EscapeMode::Window:
        return "window";
    case EscapeMode::Pattern:
        return "pattern";
    default:
        return "never";
    }
}

} // namespace

Plan Decode(const std::uint8_t *data, std::size_t size)
{
    Reader in(data, size);
    Plan plan;

    const unsigned failures = in.U8();
    plan.preRegisterClass = (failures & 0x01) != 0;
    plan.script.failWindow = (failures & 0x02) != 0;
    plan.script.failDC = (failures & 0x04) != 0;
    plan.script.failChoosePixelFormat = (failures & 0x08) != 0;
    plan.script.failSetPixelFormat = (failures & 0x10) != 0;
    plan.script.failCreateContext = (failures & 0x20) != 0;
    plan.script.failMakeCurrent = (failures & 0x40) != 0;

    plan.script.displayModeResult = DisplayResult(in);
    plan.script.screenWidth = ScreenDimension(in, 1920);
    plan.script.screenHeight = ScreenDimension(in, 1080);

    // Long runs cost the fuzzer dearly; the one long setting is there so a
    // queue filled to capacity can still drain before the limit.
    const unsigned passes = in.U8();
    plan.script.maxPasses = passes == 255 ? 12000 : 8 + 2 * static_cast<long>(passes);

    plan.escape = static_cast<EscapeMode>(in.U8() % 5);
    plan.escapeStart = Pass(in, plan.script.maxPasses);
    plan.escapeLength = in.U8();
    plan.escapePattern = in.U8();

    const unsigned pre = in.U8();
    plan.prePosted = pre < 200 ? static_cast<int>(pre) : static_cast<int>(pre - 199) * 250;
    plan.prePostedMessage = Message(in);

    const unsigned injections = in.U8() % 33;
    for (unsigned i = 0; i < injections; ++i) {
        Injection inj;
        inj.pass = Pass(in, plan.script.maxPasses);
        inj.message = Message(in);
        inj.wParam = in.U32();
        inj.lParam = Param(in);
        plan.script.injections.push_back(inj);
    }

    const unsigned floods = in.U8() % 5;
    for (unsigned i = 0; i < floods; ++i) {
        Flood flood;
        flood.pass = Pass(in, plan.script.maxPasses);
        flood.count = in.U16() % 12001;
        flood.toThread = (in.U8() & 1) != 0;
        flood.message = Message(in);
        flood.wParam = in.U32();
        flood.lParam = Param(in);
        plan.floods.push_back(flood);
    }
    return plan;
}

bool EscapeDown(const Plan &plan, long pass)
{
    const long since = pass - plan.escapeStart;
    switch (plan.escape) {
    case EscapeMode::Tap:
        return since == 0;
    case EscapeMode::HeldFrom:
        return since >= 0;
    case EscapeMode::Window:
        return since >= 0 && since <= plan.escapeLength;
    case EscapeMode::Pattern:
        return since >= 0 && ((plan.escapePattern >> (since % 8)) & 1U) != 0;
    default:
        return false;
    }
}

std::string Describe(const Plan &plan)
{
    std::string out;
    char line[160];
    std::snprintf(line, sizeof line,
                  "  failures: preRegisterClass=%d window=%d dc=%d choose=%d set=%d create=%d "
                  "makeCurrent=%d\n",
                  plan.preRegisterClass, plan.script.failWindow, plan.script.failDC,
                  plan.script.failChoosePixelFormat, plan.script.failSetPixelFormat,
                  plan.script.failCreateContext, plan.script.failMakeCurrent);
    out += line;
    std::snprintf(line, sizeof line, "  display result %ld, screen %dx%d, maxPasses %ld\n",
                  static_cast<long>(plan.script.displayModeResult), plan.script.screenWidth,
                  plan.script.screenHeight, plan.script.maxPasses);
    out += line;
    std::snprintf(line, sizeof line, "  escape %s from %ld, length %ld, pattern 0x%02x\n",
                  EscapeName(plan.escape), plan.escapeStart, plan.escapeLength, plan.escapePattern);
    out += line;
    std::snprintf(line, sizeof line, "  %d thread messages 0x%x queued before WinMain\n",
                  plan.prePosted, plan.prePostedMessage);
    out += line;
    for (const Injection &inj : plan.script.injections) {
        std::snprintf(line, sizeof line, "  inject at pass %ld: 0x%x w=0x%lx l=0x%lx\n", inj.pass,
                      inj.message, static_cast<unsigned long>(inj.wParam),
                      static_cast<unsigned long>(inj.lParam));
        out += line;
    }
    for (const Flood &f : plan.floods) {
        std::snprintf(line, sizeof line, "  flood at pass %ld: %d x 0x%x to %s w=0x%lx l=0x%lx\n",
                      f.pass, f.count, f.message, f.toThread ? "thread" : "window",
                      static_cast<unsigned long>(f.wParam), static_cast<unsigned long>(f.lParam));
        out += line;
    }
    return out;
}

} // namespace towerfuzz

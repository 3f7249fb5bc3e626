#!/usr/bin/env python3
"""Writes the seed corpus: one hand-made world per way the program can end.

The byte layout is the one fuzz_plan.cpp decodes; rerun this after changing
it (python3 tests/fuzz/make_seeds.py).
"""
import os
import struct

# Indexes into the decoder's message table; ARBITRARY reads a 32-bit value.
WM_SIZE, WM_CLOSE, WM_DESTROY, WM_CREATE, WM_NULL = 0, 1, 2, 3, 4
WM_USER, ARBITRARY = 10, 11

# Failure bits.
TAKE_CLASS, NO_WINDOW, NO_DC, NO_CHOICE, NO_SET, NO_CONTEXT, NO_CURRENT = (
    1, 2, 4, 8, 16, 32, 64)

# Escape modes.
NEVER, TAP, HELD, WINDOW, PATTERN = range(5)

LONG_RUN = 255  # maxPasses byte for 12000 passes


def message(sel, value=0):
    return bytes([sel]) + (struct.pack('<I', value) if sel == ARBITRARY else b'')


def seed(failures=0, display=b'\x00', width=b'\x00', height=b'\x00', passes=40,
         escape=NEVER, escape_start=0, escape_length=0, pattern=0,
         pre_posted=0, pre_message=message(WM_NULL), injections=(), floods=()):
    out = bytes([failures]) + display + width + height + bytes([passes])
    out += bytes([escape]) + struct.pack('<H', escape_start)
    out += bytes([escape_length, pattern, pre_posted]) + pre_message
    out += bytes([len(injections)])
    for at, msg, wparam, lparam in injections:
        out += struct.pack('<H', at) + msg + struct.pack('<Ii', wparam, lparam)
    out += bytes([len(floods)])
    for at, count, to_thread, msg, wparam, lparam in floods:
        out += struct.pack('<HHB', at, count, to_thread) + msg
        out += struct.pack('<Ii', wparam, lparam)
    return out


SEEDS = {
    'escape_tap': seed(escape=TAP, escape_start=20),
    'escape_held': seed(escape=HELD, escape_start=3,
                        floods=[(2, 5, 0, message(WM_USER), 0, 0)]),
    'class_taken': seed(failures=TAKE_CLASS),
    'display_failed': seed(display=b'\x02'),
    'display_odd_code': seed(display=b'\x08' + struct.pack('<i', 0x7FFFFFFF)),
    'no_window': seed(failures=NO_WINDOW),
    'no_dc': seed(failures=NO_DC),
    'pixel_format_cascade': seed(failures=NO_CHOICE | NO_SET, display=b'\x03'),
    'no_current': seed(failures=NO_CURRENT, escape=PATTERN, escape_start=4, pattern=0xA5),
    'screens_zero': seed(width=b'\x01', height=b'\x01'),
    'screens_huge_odd': seed(width=b'\x04', height=b'\x03' + struct.pack('<H', 766),
                             injections=[(2, message(WM_SIZE), 0, -1)], escape=TAP,
                             escape_start=6),
    'screen_negative': seed(width=b'\x07\x05', failures=NO_CONTEXT),
    'close_after_sizes': seed(injections=[(5, message(WM_SIZE), 1, 0),
                                          (6, message(WM_SIZE), 2, 0x7FFF0001),
                                          (8, message(ARBITRARY, 0xC123), 0, 0),
                                          (10, message(WM_CLOSE), 0, 0)]),
    'destroy_twice': seed(injections=[(3, message(WM_DESTROY), 0, 0),
                                      (3, message(WM_DESTROY), 0, 0)],
                          escape=WINDOW, escape_start=1, escape_length=3),
    'recreate_flood': seed(passes=100,
                           floods=[(1, 70, 0, message(WM_CREATE), 0, 0)]),
    'flood_then_close': seed(passes=LONG_RUN,
                             floods=[(3, 3000, 0, message(WM_USER), 7, 9),
                                     (3, 1, 0, message(WM_CLOSE), 0, 0)]),
    'queue_overflow': seed(passes=LONG_RUN, pre_posted=255, pre_message=message(WM_USER),
                           escape=TAP, escape_start=1),
    'never_stops': seed(passes=30, floods=[(2, 4, 1, message(WM_CLOSE), 0, 0)]),
}


def main():
    folder = os.path.join(os.path.dirname(os.path.abspath(__file__)), 'corpus')
    os.makedirs(folder, exist_ok=True)
    for name, data in SEEDS.items():
        with open(os.path.join(folder, name), 'wb') as f:
            f.write(data)


if __name__ == '__main__':
    main()

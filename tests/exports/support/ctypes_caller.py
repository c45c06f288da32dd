"""The shared library as a Python program meets it through ctypes: every exported function called
by its plain name with its C argument types. Prints "all exports answered" when every answer is
right; otherwise names the first wrong one and exits with 1.

Usage: ctypes_caller.py <library> <heston stand-in>. Both are copied into a directory of their
own, with the option chain beside them and that directory as the current one ("Results.txt")."""

import ctypes as C
import math
import os
import shutil
import sys
import tempfile

D, I, B, P = C.c_double, C.c_int, C.c_bool, C.POINTER(C.c_double)
PI = C.POINTER(C.c_int)
BSTR = C.c_void_p

# Heston set A of the test data (S 100, r 0.03, d 0.01), T = 1: strike, implied vol, call price.
CHAIN = [(90, 0.213080860399783, 15.060599471570242),
         (100, 0.19204862670956974, 8.5194857581278072),
         (110, 0.17051897121757401, 3.7867891129233868)]
HESTON = (0.04, 0.04, 1.5, 0.3, -0.9)  # v0, vL, mean reversion, volvol, rho
SPEED_GRID = (60, 30, 30, 2, 2, 0.0, 1.0, 0)  # NS, Nv, NT, scheme, selector, Smax, q, flag


def declare(lib, name, result, *arguments):
    f = getattr(lib, name)
    f.restype = result
    f.argtypes = list(arguments)
    return f


def text(lib, bstr):
    """The text of a returned BSTR (UTF-16, its byte length in the 4 bytes before it); frees it."""
    if not bstr:
        return None
    length = C.c_uint32.from_address(bstr - 4).value
    value = C.string_at(bstr, length).decode("utf-16-le")
    lib.SysFreeString(bstr)
    return value


def check(condition, what):
    if not condition:
        print("wrong: " + what)
        sys.exit(1)


def main():
    directory = tempfile.mkdtemp(prefix="sarnex_ctypes_")
    try:
        library = shutil.copy(sys.argv[1], directory)
        shutil.copy(sys.argv[2], directory)
        with open(os.path.join(directory, "OptionsData.txt"), "w") as chain:
            chain.write("3\n" + "".join("%.17g 100 %.17g 1 0.03 0.01 %d 0\n" % (iv, K, K < 100)
                                        for K, iv, _ in CHAIN))
        os.chdir(directory)
        run(C.CDLL(library))
    finally:
        os.chdir("/")
        shutil.rmtree(directory, ignore_errors=True)
    print("all exports answered")


def run(lib):
    declare(lib, "SysFreeString", None, BSTR)
    implied_vol = declare(lib, "ImpliedVol", D, D, D, D, D, D, D, I)
    solver = declare(lib, "GARCH_VanillaPDESolver", D, *([D] * 10 + [I] * 8 + [D, D, I, I]))
    pricer = declare(lib, "OrvOptionPricer", BSTR, *([P] * 7 + [D, D, I, D, P, D, D, D, PI, PI] +
                                                     [I] * 4 + [P, P, D, D, D] + [B] * 4 + [I]))
    vanilla = declare(lib, "VanillaHeston", D, *([D] * 10 + [I]))
    grid = declare(lib, "VanillaHestonGrid", BSTR, P, P, *([D] * 9 + [I, I, B]))
    heston_chain = declare(lib, "HESTON_VanillaCalibration", D, D, D, D, D, D)
    common = [D] * 5 + [I] * 5 + [D, D, I]
    per_option = declare(lib, "GARCH_VanillaPDECalibration", D, *(common + [I]))
    per_expiry = declare(lib, "GARCH_VanillaPDECalibrationM", D, *(common + [I, I]))
    heston_option = declare(lib, "HESTON_VanillaPDECalibration", D, *common)
    heston_expiry = declare(lib, "HESTON_VanillaPDECalibrationM", D, *common)
    selected = declare(lib, "SVPDECalibration", D, *(common + [I, I]))

    check(abs(implied_vol(9.413403383853016, 100, 100, 1, 0.03, 0, 0) - 0.2) < 1e-12, "ImpliedVol")
    reference = implied_vol(8.92941045360215, 100, 100, 1, 0.03, 0, 0)
    iv = solver(100, 100, 1, 0.03, 0, 0.04, 0.04, 2, 0.5, -0.7, 60, 30, 30, 0, 0, 1, 2, 1, 0.0,
                1.0, 0, 0)
    check(abs(iv - reference) < 10e-4, "GARCH_VanillaPDESolver")

    out = [(D * 61)() for _ in range(6)]
    params = (D * 6)(0.5, 0.04, 0.04, 2.0, -0.7, 0.0)
    five = (D * 5)()
    cpu, ns, nv = D(0.0), I(60), I(30)
    message = text(lib, pricer(*out, C.byref(cpu), 100, 100, 30, 1.0, params, 0.0, 0.0, 0.0,
                               C.byref(ns), C.byref(nv), 0, 0, 3, 0, five, five, -3.0, 0.0, 1.0,
                               False, False, True, False, 0))
    check(message == "" and params[1] > 0, "OrvOptionPricer")

    check(abs(vanilla(100, 100, 0.03, 0.01, *HESTON, 1, 0) - CHAIN[1][2]) < 1e-9, "VanillaHeston")
    spots = (D * 4)(0, 90, 100, 110)
    inside, outside = (D * 4)(), (D * 4)()
    for values, internal in ((inside, True), (outside, False)):
        check(text(lib, grid(spots, values, 100, 0.03, 0.01, *HESTON, 1, 0, 3, internal)) == "",
              "VanillaHestonGrid, internal %s" % internal)
    check(all(abs(inside[i] - outside[i]) < 1e-9 for i in range(4)), "the two grid paths agree")
    check(abs(inside[2] - CHAIN[1][2]) < 1e-9, "VanillaHestonGrid reference call")
    check(text(lib, grid(None, outside, 100, 0.03, 0.01, *HESTON, 1, 0, 3, True)) ==
          "VanillaHestonGrid: the spot and value arrays must not be null", "VanillaHestonGrid null")

    check(abs(heston_chain(*HESTON)) < 1e-6, "HESTON_VanillaCalibration")
    check(os.path.exists("Results.txt"), "HESTON_VanillaCalibration writes Results.txt")
    a = per_option(*HESTON, *SPEED_GRID, 0)
    b = per_expiry(*HESTON, *SPEED_GRID, 0, 0)
    check(0 < a < 2e-4 and 0 < b < 2e-4, "GARCH_VanillaPDECalibration(M) at the chain's parameters")
    check(heston_option(*HESTON, *SPEED_GRID) == a and heston_expiry(*HESTON, *SPEED_GRID) == b,
          "HESTON_VanillaPDECalibration(M)")
    check(selected(*HESTON, *SPEED_GRID, 3, 0) == a and selected(*HESTON, *SPEED_GRID, 0, 0) == b,
          "SVPDECalibration")
    check(per_option(*HESTON, 60, 30, 0, 2, 2, 0.0, 1.0, 0, 0) == -999.0, "NT = 0")
    check(math.isclose(implied_vol(-1.0, 100, 100, 1, 0.03, 0, 0), -999.0), "ImpliedVol error")


if __name__ == "__main__":
    main()

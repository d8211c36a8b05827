#!/usr/bin/env python3
"""Writes the constants of src/maths/power.cpp (run it, paste its output).

Only exact rational arithmetic (fractions) and decimal arithmetic at 90
digits are used. Decimal's ln and exp are correctly rounded at the context
precision, so each real value below is known within 10^-85 of itself, far
inside the error bounds power.cpp states for its tables (2^-96 and
2^-105); each high part is the double nearest that value (float() of a
Fraction rounds to nearest, ties to even) and each low part the double
nearest the remainder.
"""
from decimal import Decimal, getcontext
from fractions import Fraction

getcontext().prec = 90
LN2 = Decimal(2).ln()


def dec(q):
    return Decimal(q.numerator) / Decimal(q.denominator)


def frac(d):
    return Fraction(d)  # exact


def nearest_double(q):
    # float(Fraction) rounds to nearest, ties to even.
    return float(q)


def split(q):
    hi = nearest_double(q)
    lo = nearest_double(q - Fraction(hi))
    return hi, lo


def hexd(v):
    return float.hex(v) if v != 0 else "0x0p+0"


def log2_of(q):
    return frac(dec(q).ln() / LN2)


# log2 table: r_i = 1/(1 + i/128) rounded to a multiple of 2^-29, and
# -log2(r_i) = th + tl with th a multiple of 2^-42.
print("// {r, th, tl}: r = 1/(1 + i/128) to 29 fractional bits, th + tl = -log2(r)")
for i in range(129):
    c = 1 + Fraction(i, 128)
    r = Fraction(round(Fraction(2**29) / c), 2**29)
    t = -log2_of(r)
    th = Fraction(round(t * 2**42), 2**42)
    assert nearest_double(th) == th
    tl = nearest_double(t - th)
    print("    {%s, %s, %s}," % (hexd(float(r)), hexd(float(th)), hexd(tl)))

# 2^(j/64) as a double-double.
print("// 2^(j/64) = hi + lo")
for j in range(64):
    v = frac((Decimal(j) / 64 * LN2).exp())
    hi, lo = split(v)
    print("    {%s, %s}," % (hexd(hi), hexd(lo)))

# 1/ln 2 as a double-double, then (-1)^(k+1) / (k ln 2) for k = 3..8.
inv = frac(1 / LN2)
hi, lo = split(inv)
print("// 1/ln2 = %s + %s" % (hexd(hi), hexd(lo)))
for k in range(3, 9):
    print("// A%d = %s" % (k, hexd(nearest_double(frac(Decimal((-1) ** (k + 1)) / (k * LN2))))))
# (ln 2)^k / k! for k = 1..6.
f = 1
for k in range(1, 7):
    f *= k
    print("// B%d = %s" % (k, hexd(nearest_double(frac(LN2**k / f)))))

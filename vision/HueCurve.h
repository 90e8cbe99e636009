// The hue correction curve of the level-1 red-green correction: a cubic
// through four control points, solved once by Cramer's rule.
#pragma once

// y = A·x³ + B·x² + C·x + D
struct CubicCoefficients {
    float A, B, C, D;
};

extern float CurveControlX[4];     // x of the control points, in the order given
extern float CurveControlY[4];     // y of the control points, same order
extern CubicCoefficients HueCurve; // all zero until BuildHueCurve has run

// Solves the cubic through (x1, y1) … (x4, y4) into HueCurve. The four x must
// be distinct; with two equal x the system is singular and the coefficients
// come out as infinities or NaNs.
void BuildHueCurve(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4);

// Determinant of a 4 × 4 matrix given as 4 row pointers of 4 doubles,
// expanded along the first row.
double Determinant4(double** matrix);

// Determinant of the 3 × 3 matrix (a b c / d e f / g h i), rule of Sarrus in
// extended precision.
double Determinant3(double a, double b, double c, double d, double e, double f, double g, double h, double i);

// The control points the lens window builds its curve from. They move each
// hue x by (x − 60)(x − 180)(x − 300) / 32400: cyan (180) and magenta (300)
// are fixed, and the two ends of the hue circle move by −100 and +100,
// symmetric about cyan, which makes yellow (60) the third hue that stays.
// So red, the hue a red-green colour-blind viewer cannot tell from green, is
// carried to −100, wrapped to 260, a blue-violet; the move shrinks towards
// yellow, greens shift a little towards cyan (120 → 140) and blues a little
// towards it from the other side (240 → 220). The point at 360 is never
// evaluated, as CorrectHues folds hues above 330 onto 0..30: it only shapes
// the cubic.
constexpr int LensCurvePoints[8] = {0, -100, 180, 180, 300, 300, 360, 460};
inline void BuildLensHueCurve() {
    const int* p = LensCurvePoints;
    BuildHueCurve(p[0], p[1], p[2], p[3], p[4], p[5], p[6], p[7]);
}

// The curve's value at x, evaluated in double and rounded to single precision.
float EvaluateCurve(const CubicCoefficients& curve, float x);

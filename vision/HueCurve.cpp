#include "vision/HueCurve.h"

float CurveControlX[4];
float CurveControlY[4];
CubicCoefficients HueCurve;

double Determinant3(double a, double b, double c, double d, double e, double f, double g, double h,
                    double i) {
    const long double A = a, B = b, C = c, D = d, E = e, F = f, G = g, H = h, I = i;
    return static_cast<double>(A * E * I + B * F * G + C * D * H - A * F * H - B * D * I - C * E * G);
}

double Determinant4(double** m) {
    const double* r1 = m[1];
    const double* r2 = m[2];
    const double* r3 = m[3];
    const double m0 = Determinant3(r1[1], r1[2], r1[3], r2[1], r2[2], r2[3], r3[1], r3[2], r3[3]);
    const double m1 = Determinant3(r1[0], r1[2], r1[3], r2[0], r2[2], r2[3], r3[0], r3[2], r3[3]);
    const double m2 = Determinant3(r1[0], r1[1], r1[3], r2[0], r2[1], r2[3], r3[0], r3[1], r3[3]);
    const double m3 = Determinant3(r1[0], r1[1], r1[2], r2[0], r2[1], r2[2], r3[0], r3[1], r3[2]);
    return m[0][0] * m0 - m[0][1] * m1 + m[0][2] * m2 - m[0][3] * m3;
}

namespace {

// Row i = (xi³, xi², xi, 1); with replaceColumn in 0..3, that column holds yi.
void fillMatrix(double** m, int replaceColumn) {
    for (int i = 0; i < 4; ++i) {
        const double x = CurveControlX[i];
        m[i][0] = x * x * x;
        m[i][1] = x * x;
        m[i][2] = x;
        m[i][3] = 1.0;
        if (replaceColumn >= 0)
            m[i][replaceColumn] = CurveControlY[i];
    }
}

} // namespace

void BuildHueCurve(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4) {
    const int xs[4] = {x1, x2, x3, x4};
    const int ys[4] = {y1, y2, y3, y4};
    for (int i = 0; i < 4; ++i) {
        CurveControlX[i] = static_cast<float>(xs[i]);
        CurveControlY[i] = static_cast<float>(ys[i]);
    }

    double rows[4][4];
    double* m[4] = {rows[0], rows[1], rows[2], rows[3]};

    fillMatrix(m, -1);
    const double den = Determinant4(m);

    float coefficients[4];
    for (int k = 0; k < 4; ++k) {
        fillMatrix(m, k);
        coefficients[k] = static_cast<float>(Determinant4(m) / den);
    }
    HueCurve = {coefficients[0], coefficients[1], coefficients[2], coefficients[3]};
}

float EvaluateCurve(const CubicCoefficients& curve, float x) {
    const double h = x;
    return static_cast<float>(curve.A * (h * h * h) + curve.B * (h * h) + curve.C * h + curve.D);
}

#include "vision/HueCurve.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <utility>

namespace {

struct Matrix {
    double rows[4][4];
    double* ptr[4] = {rows[0], rows[1], rows[2], rows[3]};
};

Matrix identity() {
    Matrix m{};
    for (int i = 0; i < 4; ++i)
        m.rows[i][i] = 1.0;
    return m;
}

} // namespace

TEST(Determinants, SarrusExample) {
    EXPECT_EQ(Determinant3(1, 2, 3, 4, 5, 6, 7, 8, 10), -3.0);
}

TEST(Determinants, FourByFourIdentitySwapAndEqualRows) {
    Matrix m = identity();
    EXPECT_EQ(Determinant4(m.ptr), 1.0);

    const double full[4][4] = {{2, -1, 0, 3}, {1, 4, 2, -2}, {0, 5, -3, 1}, {7, 1, 1, 6}};
    Matrix a;
    std::memcpy(a.rows, full, sizeof full);
    const double det = Determinant4(a.ptr);
    EXPECT_EQ(det, 91.0);
    for (int c = 0; c < 4; ++c)
        std::swap(a.rows[0][c], a.rows[2][c]);
    EXPECT_EQ(Determinant4(a.ptr), -det);
    for (int c = 0; c < 4; ++c)
        a.rows[3][c] = a.rows[1][c];
    EXPECT_EQ(Determinant4(a.ptr), 0.0);
}

TEST(HueCurve, LensCurveCoefficientsAreTheExactFractions) {
    BuildLensHueCurve();
    EXPECT_EQ(HueCurve.A, static_cast<float>(1.0 / 32400.0));
    EXPECT_EQ(HueCurve.B, static_cast<float>(-1.0 / 60.0));
    EXPECT_EQ(HueCurve.C, static_cast<float>(32.0 / 9.0));
    EXPECT_EQ(HueCurve.D, -100.0f);
    const float xs[4] = {0, 180, 300, 360};
    const float ys[4] = {-100, 180, 300, 460};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(CurveControlX[i], xs[i]);
        EXPECT_EQ(CurveControlY[i], ys[i]);
    }
}

TEST(HueCurve, ValueTable) {
    BuildLensHueCurve();
    const struct {
        float x, y;
    } table[] = {{0, -100},  {10, -66.1}, {20, -35.3}, {30, -7.5}, {40, 17.5},   {60, 60},  {90, 107.5},
                 {120, 140}, {180, 180},  {240, 220},  {300, 300}, {330, 367.5}, {360, 460}};
    for (const auto& row : table) {
        const float y = EvaluateCurve(HueCurve, row.x);
        EXPECT_NEAR(y, row.y, 0.05) << "x = " << row.x;
        const double exact = std::pow(row.x, 3) / 32400.0 - row.x * row.x / 60.0 + 32.0 * row.x / 9.0 - 100.0;
        EXPECT_NEAR(y, exact, 2e-4) << "x = " << row.x;
    }
}

TEST(HueCurve, OtherPointsAreInterpolatedExactly) {
    // y = x³ − 2x + 5 through four integer points.
    BuildHueCurve(-2, 1, 0, 5, 1, 4, 3, 26);
    EXPECT_EQ(HueCurve.A, 1.0f);
    EXPECT_EQ(HueCurve.B, 0.0f);
    EXPECT_EQ(HueCurve.C, -2.0f);
    EXPECT_EQ(HueCurve.D, 5.0f);
    BuildLensHueCurve();
}

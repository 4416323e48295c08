// SPDX-License-Identifier: GPL-3.0-or-later
// RotateMatrix: turn a small real matrix (a filter kernel) about its centre.
#include <cmath>
#include <string>

#include "core/numbers.h"
#include "filters/primitives.h"

namespace qirm {
namespace {

constexpr int kMaxExtent = 1 << 29;  // twice this still fits an int

}  // namespace

Status RotateMatrix(double angle, int nx, int ny, RealMatrix& m) {
  if (!std::isfinite(angle)) return Status::Error("RotateMatrix: the angle is not a finite number");
  // The work matrix is twice the extent in each direction.
  if (nx < 0 || ny < 0 || nx > m.count() || ny > m.n() || nx > kMaxExtent || ny > kMaxExtent) {
    return Status::Error("RotateMatrix: extent " + std::to_string(nx) + " x " + std::to_string(ny) +
                         " does not fit the " + std::to_string(m.count()) + " x " + std::to_string(m.n()) +
                         " matrix");
  }
  if (nx == 0 || ny == 0) return Status::Ok();

  // The eight-digit pi is part of the result: at 90 degrees the
  // interpolation weights come out within 1e-7 of 0 and 1, not exact.
  const double theta = static_cast<double>(static_cast<Extended>(angle) * 3.1415926 * (1.0 / 180));
  const double c = std::cos(theta);
  const double s = std::sin(theta);

  // The input sits in the middle of a zeroed work matrix twice its size, so
  // that sample points that leave the input read 0.
  RealMatrix p;
  if (!p.Allocate(Trunc(2.0 * nx), Trunc(2.0 * ny))) {
    return Status::Error("RotateMatrix: no memory for the " + std::to_string(2 * nx) + " x " +
                         std::to_string(2 * ny) + " work matrix");
  }
  for (int i = 0; i < nx; ++i)
    for (int j = 0; j < ny; ++j) p[Trunc(0.5 * nx + i)][Trunc(0.5 * ny + j)] = m[i][j];

  // For odd sizes the first two values of i (and of j) both map to target 0
  // (truncation toward zero of -0.5 and 0.5); the later one wins.
  for (int i = Trunc(0.5 * nx); i < 1.5 * nx; ++i) {
    for (int j = Trunc(0.5 * ny); j < 1.5 * ny; ++j) {
      const double dx = i - nx;
      const double dy = j - ny;
      const double u =
          static_cast<double>(static_cast<Extended>(c) * dx - static_cast<Extended>(s) * dy + nx);
      const double v =
          static_cast<double>(static_cast<Extended>(s) * dx + static_cast<Extended>(c) * dy + ny);
      const int iu = Trunc(u);
      const int iv = Trunc(v);
      const double fu = u - iu;
      const double fv = v - iv;
      const int tp = Trunc(i - 0.5 * nx);
      const int tq = Trunc(j - 0.5 * ny);
      if (iu > 0 && iv > 0 && iu < 2 * nx && iv < 2 * ny) {
        const Extended gu = fu;
        const Extended gv = fv;
        m[tp][tq] =
            static_cast<double>(gu * gv * p[iu][iv] + (1 - gu) * gv * p[iu - 1][iv] +
                                gu * (1 - gv) * p[iu][iv - 1] + (1 - gu) * (1 - gv) * p[iu - 1][iv - 1]);
      }
    }
  }
  return Status::Ok();
}

}  // namespace qirm

// SPDX-License-Identifier: GPL-3.0-or-later
// Levenberg-Marquardt least squares for small models (a few parameters,
// a few hundred residuals), as the star profile fits need.
#pragma once

#include <functional>
#include <vector>

namespace qirm {

// Fills residuals r[i] (data minus model, m of them) and, when jacobian is
// not null, d r[i] / d p[k] at jacobian[i * n + k] for the parameters p (n of
// them). Returns false for parameters outside the model's domain (a negative
// width, ...): the step that led there is refused.
using ResidualFunction = std::function<bool(const std::vector<double>& p, double* r, double* jacobian)>;

struct LeastSquaresResult {
  bool converged = false;
  int iterations = 0;
  double cost = 0;  // sum of squared residuals at the solution
};

// Minimises the sum of squared residuals from the start p (changed in place):
// steps solve (J'J + lambda diag(J'J)) d = -J'r, lambda falling tenfold after
// a step that lowers the cost and rising tenfold after one that does not.
// Converged when a step lowers the cost by less than 1e-10 of it or moves
// every parameter by less than 1e-10 of its size; gives up after
// `max_iterations` or when lambda exceeds 1e12.
// Where `lower` and `upper` are given (n values each), every trial point is
// clipped to them first: a parameter pressing on its bound stays there while
// the others go on converging.
LeastSquaresResult LevenbergMarquardt(const ResidualFunction& f, int m, std::vector<double>& p,
                                      int max_iterations = 200, const std::vector<double>& lower = {},
                                      const std::vector<double>& upper = {});

// Solves the symmetric positive definite n x n system a x = b (a row after
// row) by Cholesky decomposition; false when a is not positive definite.
bool SolveSymmetric(std::vector<double> a, std::vector<double>& b, int n);

}  // namespace qirm

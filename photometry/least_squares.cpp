// SPDX-License-Identifier: GPL-3.0-or-later
#include "photometry/least_squares.h"

#include <algorithm>
#include <cmath>

namespace qirm {

bool SolveSymmetric(std::vector<double> a, std::vector<double>& b, int n) {
  for (int j = 0; j < n; ++j) {
    double d = a[j * n + j];
    for (int k = 0; k < j; ++k) d -= a[j * n + k] * a[j * n + k];
    if (!(d > 0)) return false;
    d = std::sqrt(d);
    a[j * n + j] = d;
    for (int i = j + 1; i < n; ++i) {
      double s = a[i * n + j];
      for (int k = 0; k < j; ++k) s -= a[i * n + k] * a[j * n + k];
      a[i * n + j] = s / d;
    }
  }
  for (int i = 0; i < n; ++i) {
    double s = b[i];
    for (int k = 0; k < i; ++k) s -= a[i * n + k] * b[k];
    b[i] = s / a[i * n + i];
  }
  for (int i = n - 1; i >= 0; --i) {
    double s = b[i];
    for (int k = i + 1; k < n; ++k) s -= a[k * n + i] * b[k];
    b[i] = s / a[i * n + i];
  }
  return true;
}

LeastSquaresResult LevenbergMarquardt(const ResidualFunction& f, int m, std::vector<double>& p,
                                      int max_iterations, const std::vector<double>& lower,
                                      const std::vector<double>& upper) {
  const int n = static_cast<int>(p.size());
  LeastSquaresResult result;
  std::vector<double> r(m), jac(static_cast<std::size_t>(m) * n), trial_r(m);
  if (!f(p, r.data(), jac.data())) return result;
  auto cost_of = [m](const std::vector<double>& v) {
    double c = 0;
    for (int i = 0; i < m; ++i) c += v[i] * v[i];
    return c;
  };
  double cost = cost_of(r);
  double lambda = 1e-3;
  std::vector<double> jtj(static_cast<std::size_t>(n) * n), jtr(n), step(n), trial(n);
  auto normal_equations = [&] {
    for (int a = 0; a < n; ++a) {
      double g = 0;
      for (int i = 0; i < m; ++i) g += jac[i * n + a] * r[i];
      jtr[a] = g;
      for (int b = 0; b <= a; ++b) {
        double s = 0;
        for (int i = 0; i < m; ++i) s += jac[i * n + a] * jac[i * n + b];
        jtj[a * n + b] = jtj[b * n + a] = s;
      }
    }
  };
  normal_equations();
  while (result.iterations < max_iterations) {
    ++result.iterations;
    std::vector<double> damped = jtj;
    for (int a = 0; a < n; ++a) damped[a * n + a] += lambda * std::max(jtj[a * n + a], 1e-300);
    for (int a = 0; a < n; ++a) step[a] = -jtr[a];
    // A parameter on its bound that the descent would push beyond is held
    // there: solved for, it would spoil the others' step.
    for (int a = 0; a < n && !lower.empty(); ++a) {
      if (!((p[a] <= lower[a] && jtr[a] > 0) || (p[a] >= upper[a] && jtr[a] < 0))) continue;
      for (int b = 0; b < n; ++b) damped[a * n + b] = damped[b * n + a] = 0;
      damped[a * n + a] = 1;
      step[a] = 0;
    }
    bool accepted = false;
    double trial_cost = 0;
    if (SolveSymmetric(damped, step, n)) {
      for (int a = 0; a < n; ++a) {
        trial[a] = p[a] + step[a];
        if (!lower.empty()) trial[a] = std::clamp(trial[a], lower[a], upper[a]);
        step[a] = trial[a] - p[a];
      }
      if (f(trial, trial_r.data(), nullptr)) {
        trial_cost = cost_of(trial_r);
        accepted = std::isfinite(trial_cost) && trial_cost < cost;
      }
    }
    if (!accepted) {
      lambda *= 10;
      if (lambda > 1e12) {
        // No step lowers the cost any more: the start of a flat minimum.
        result.converged = true;
        break;
      }
      continue;
    }
    bool small_step = true;
    for (int a = 0; a < n; ++a)
      if (std::fabs(step[a]) > 1e-10 * std::max(std::fabs(p[a]), 1e-10)) small_step = false;
    const double drop = cost - trial_cost;
    p = trial;
    cost = trial_cost;
    lambda = std::max(lambda / 10, 1e-12);
    if (!f(p, r.data(), jac.data())) break;
    normal_equations();
    if (drop <= 1e-10 * cost || small_step) {
      result.converged = true;
      break;
    }
  }
  result.cost = cost;
  return result;
}

}  // namespace qirm

// The VE table smoother: a bicubic smoothing spline on the table's rectangular grid (Dierckx's
// method for gridded data), fitted to all 35 x 14 cells and evaluated back at the cells.
//
// The fit (`regrid`) places knots where the residuals are largest until the least-squares spline
// comes within the smoothing factor s of the data, then searches the smoothing parameter p by
// rational interpolation until the residual sum fp equals s within 0.1 %. Everything runs in
// fixed buffers; nothing is allocated per call. One call at a time.
#pragma once

#include <cstdint>

#include "velearn/ve_table.h"

// Sizes the buffers hold: the VE grid and its knot limits, degrees up to 5.
constexpr int SPLINE_MAX_MX = 35;
constexpr int SPLINE_MAX_MY = 14;
constexpr int SPLINE_MAX_NXEST = 39;
constexpr int SPLINE_MAX_NYEST = 18;
constexpr int SPLINE_MAX_K = 5;

// A fitted spline: knots and coefficients (y varies fastest: c[ix * (ny - ky - 1) + iy]).
struct GridSpline {
    int nx = 0, ny = 0;
    double tx[SPLINE_MAX_NXEST];
    double ty[SPLINE_MAX_NYEST];
    double c[(SPLINE_MAX_NXEST - 4) * (SPLINE_MAX_NYEST - 4)];
    double fp = 0;
};

// Smoothing spline of degrees kx, ky through z (mx x my values, y fastest) on the grid x, y.
// iopt 0: a fresh fit; 1: carry on from the knots of the last fit (cheaper for a smaller s);
// -1: the least-squares spline on the knots given in `out` (nx, ny and the interior knots).
// lwrk and kwrk are the workspace sizes the caller sets aside; they are checked as the method
// requires. Returns ier: -2 (least-squares polynomial), -1 (interpolating
// spline), 0 (fp = s within tolerance), 1 (more knots needed than nxest, nyest allow), 2 (no spline
// with fp = s), 3 (iteration limit), 10 (invalid input).
int regrid(int iopt, const double* x, int mx, const double* y, int my, const double* z, double xb, double xe,
           double yb, double ye, int kx, int ky, double s, int nxest, int nyest, int lwrk, int kwrk, GridSpline& out);

// Values of a fitted spline on the grid x (mx) by y (my), y fastest, into z. Returns 0, or 10 for
// invalid input (workspace too small, coordinates not in order).
int bispev(const GridSpline& spline, int kx, int ky, const double* x, int mx, const double* y, int my, double* z,
           int lwrk, int kwrk);

// Smooths the cells of `table` with smoothing factor s (in units of (10 VE counts)^2). Returns 0
// (cells replaced), or the fit's or the evaluation's code > 0 (table unchanged). `fit_code`, when
// given, receives the fit's own code (-2, -1 and 0 tell how the accepted spline was found).
int smooth_ve_table(VeTable& table, double s, int* fit_code = nullptr);

// Smooths learned_ve with [SMOOTHFAC].
int smooth_learned_ve();

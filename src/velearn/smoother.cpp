#include "velearn/smoother.h"

#include <algorithm>
#include <cmath>

#include "config/settings.h"
#include "velearn/ve_learn_state.h"

// Arrays below are indexed from 1, as the method is written, so that knot and interval numbers
// read the same in the code as in its description; element 0 is unused.
namespace {

constexpr int MAXIT = 20;          // iterations for the smoothing parameter
constexpr double TOL = 0.001;      // relative tolerance on fp
constexpr double CON1 = 0.1, CON9 = 0.9, CON4 = 0.04;

constexpr int K1_MAX = SPLINE_MAX_K + 1;
constexpr int K2_MAX = SPLINE_MAX_K + 2;
constexpr int MM_MAX = std::max(SPLINE_MAX_NXEST, SPLINE_MAX_MY);

// The fit's working storage, for the life of the program.
struct FitWork {
    double spx[SPLINE_MAX_MX + 1][K1_MAX + 1];      // B-spline values at each x
    double spy[SPLINE_MAX_MY + 1][K1_MAX + 1];
    double right[MM_MAX + 1];
    double q[SPLINE_MAX_NXEST * SPLINE_MAX_MY + 1];
    double ax[SPLINE_MAX_NXEST + 1][K2_MAX + 1];     // triangularised observation matrices
    double ay[SPLINE_MAX_NYEST + 1][K2_MAX + 1];
    double bx[SPLINE_MAX_NXEST + 1][K2_MAX + 1];     // discontinuity jumps
    double by[SPLINE_MAX_NYEST + 1][K2_MAX + 1];
    double fpintx[SPLINE_MAX_NXEST + 1];             // residual sums per knot interval
    double fpinty[SPLINE_MAX_NYEST + 1];
    int nrx[SPLINE_MAX_MX + 1], nry[SPLINE_MAX_MY + 1];   // knot interval of each grid value
    int nrdatx[SPLINE_MAX_NXEST + 1], nrdaty[SPLINE_MAX_NYEST + 1];   // grid values inside each interval
    double tx[SPLINE_MAX_NXEST + 1], ty[SPLINE_MAX_NYEST + 1];
    double c[SPLINE_MAX_NXEST * SPLINE_MAX_NYEST + 1];
    double x[SPLINE_MAX_MX + 1], y[SPLINE_MAX_MY + 1];   // the caller's grid and values, from index 1
    double z[SPLINE_MAX_MX * SPLINE_MAX_MY + 1];
};
FitWork work;

// Copies n values to dst[1..n]; the caller's arrays start at 0, and a pointer one before an array
// may not even be formed.
void copy_from_one(const double* src, int n, double* dst) { std::copy_n(src, n, dst + 1); }

// Values of the k + 1 B-splines of degree k that do not vanish at x, t[l] <= x < t[l + 1]
// (de Boor and Cox), into h[1..k+1].
void fpbspl(const double* t, int k, double x, int l, double* h)
{
    double hh[K1_MAX + 1];
    h[1] = 1;
    for (int j = 1; j <= k; ++j) {
        for (int i = 1; i <= j; ++i)
            hh[i] = h[i];
        h[1] = 0;
        for (int i = 1; i <= j; ++i) {
            int li = l + i, lj = li - j;
            if (t[li] == t[lj]) {
                h[i + 1] = 0;
                continue;
            }
            double f = hh[i] / (t[li] - t[lj]);
            h[i] += f * (t[li] - x);
            h[i + 1] = f * (x - t[lj]);
        }
    }
}

// A Givens rotation that zeroes piv against ww (which becomes the new diagonal element).
void fpgivs(double piv, double& ww, double& cos, double& sin)
{
    double store = std::fabs(piv);
    double dd = store >= ww ? store * std::sqrt(1 + (ww / piv) * (ww / piv)) : ww * std::sqrt(1 + (piv / ww) * (piv / ww));
    cos = ww / dd;
    sin = piv / dd;
    ww = dd;
}

void fprota(double cos, double sin, double& a, double& b)
{
    double stor1 = a, stor2 = b;
    b = cos * stor2 + sin * stor1;
    a = cos * stor1 - sin * stor2;
}

// Solves the upper triangular system a c = z of bandwidth k (a[i][1] the diagonal); c may be z.
template <int W>
void fpback(const double (*a)[W], const double* z, int n, int k, double* c)
{
    c[n] = z[n] / a[n][1];
    int i = n - 1;
    for (int j = 2; j <= n; ++j, --i) {
        double store = z[i];
        int i1 = j <= k - 1 ? j - 1 : k - 1;
        for (int l = 1, m = i; l <= i1; ++l) {
            ++m;
            store -= c[m] * a[i][l + 1];
        }
        c[i] = store / a[i][1];
    }
}

// Jumps of the k-th derivative of the B-splines at the interior knots t[k+2..n-k-1], k2 = k + 2.
template <int W>
void fpdisc(const double* t, int n, int k2, double (*b)[W])
{
    int k1 = k2 - 1, k = k1 - 1, nk1 = n - k1, nrint = nk1 - k;
    double fac = nrint / (t[nk1 + 1] - t[k1]);
    double h[2 * K1_MAX + 1];
    for (int l = k2; l <= nk1; ++l) {
        int lmk = l - k1;
        for (int j = 1; j <= k1; ++j) {
            h[j] = t[l] - t[l + j - k2];
            h[j + k1] = t[l] - t[l + j];
        }
        int lp = lmk;
        for (int j = 1; j <= k2; ++j, ++lp) {
            double prod = h[j];
            for (int i = 1, jk = j; i <= k; ++i) {
                ++jk;
                prod = prod * h[jk] * fac;
            }
            b[lmk][j] = (t[lp + k1] - t[lp]) / prod;
        }
    }
}

// Adds a knot in the interval whose residual sum is largest (among those holding grid values),
// at the grid value in its middle.
void fpknot(const double* x, double* t, int& n, double* fpint, int* nrdata, int& nrint, int istart)
{
    int k = (n - nrint - 1) / 2;
    double fpmax = 0;
    int number = 0, maxpt = 0, maxbeg = 0;
    for (int j = 1, jbegin = istart; j <= nrint; ++j) {
        int jpoint = nrdata[j];
        if (fpmax < fpint[j] && jpoint != 0) {
            fpmax = fpint[j];
            number = j;
            maxpt = jpoint;
            maxbeg = jbegin;
        }
        jbegin += jpoint + 1;
    }
    int ihalf = maxpt / 2 + 1;
    int nrx = maxbeg + ihalf;
    int next = number + 1;
    for (int j = next; j <= nrint; ++j) {
        int jj = next + nrint - j;
        fpint[jj + 1] = fpint[jj];
        nrdata[jj + 1] = nrdata[jj];
        t[jj + k + 1] = t[jj + k];
    }
    nrdata[number] = ihalf - 1;
    nrdata[next] = maxpt - ihalf;
    double am = maxpt;
    fpint[number] = fpmax * nrdata[number] / am;
    fpint[next] = fpmax * nrdata[next] / am;
    t[next + k] = x[nrx];
    ++n;
    ++nrint;
}

// The p for which the rational function through (p1, f1), (p2, f2), (p3, f3) is zero (p3 < 0
// stands for infinity); then keeps f1 > 0 and f3 < 0 around the root.
double fprati(double& p1, double& f1, double p2, double f2, double& p3, double& f3)
{
    double p;
    if (p3 > 0) {
        double h1 = f1 * (f2 - f3), h2 = f2 * (f3 - f1), h3 = f3 * (f1 - f2);
        p = -(p1 * p2 * h3 + p2 * p3 * h1 + p3 * p1 * h2) / (p1 * h1 + p2 * h2 + p3 * h3);
    } else {
        p = (p1 * (f1 - f3) * f2 - p2 * (f2 - f3) * f1) / ((f1 - f2) * f3);
    }
    if (f2 < 0) {
        p3 = p2;
        f3 = f2;
    } else {
        p1 = p2;
        f1 = f2;
    }
    return p;
}

// Whether knots t[1..n] suit the data x[1..m] for degree k (the Schoenberg-Whitney conditions).
bool fpchec(const double* x, int m, const double* t, int n, int k)
{
    int k1 = k + 1, k2 = k1 + 1, nk1 = n - k1, nk2 = nk1 + 1;
    if (nk1 < k1 || nk1 > m)
        return false;
    for (int i = 1, j = n; i <= k; ++i, --j)
        if (t[i] > t[i + 1] || t[j] < t[j - 1])
            return false;
    for (int i = k2; i <= nk2; ++i)
        if (t[i] <= t[i - 1])
            return false;
    if (x[1] < t[k1] || x[m] > t[nk2] || x[1] >= t[k2] || x[m] <= t[nk1])
        return false;
    int i = 1, l = k2, nk3 = nk1 - 1;
    for (int j = 2; j <= nk3; ++j) {
        double tj = t[j], tl = t[++l];
        do {
            if (++i >= m)
                return false;
        } while (x[i] <= tj);
        if (x[i] >= tl)
            return false;
    }
    return true;
}

// Rotates one row h[1..band] of an observation matrix into the triangle a, starting at row
// irot + 1, carrying the right-hand sides along with `rotate_rhs(row, cos, sin)`.
template <int W, class Rhs>
void rotate_row(double (*a)[W], double* h, int band, int irot, Rhs rotate_rhs)
{
    for (int i = 1; i <= band; ++i) {
        ++irot;
        double piv = h[i];
        if (piv == 0)
            continue;
        double cos, sin;
        fpgivs(piv, a[irot][1], cos, sin);
        rotate_rhs(irot, cos, sin);
        if (i == band)
            break;
        for (int j = i + 1, i2 = 1; j <= band; ++j)
            fprota(cos, sin, h[j], a[irot][++i2]);
    }
}

// The B-spline values of the grid x[1..m] on knots t (n of them), and each value's interval.
void observation_matrix(const double* x, int m, const double* t, int n, int k, double (*sp)[K1_MAX + 1], int* nr)
{
    int k1 = k + 1, nk1 = n - k1;
    int l = k1, l1 = l + 1, number = 0;
    double h[K2_MAX + 1];
    for (int it = 1; it <= m; ++it) {
        double arg = x[it];
        while (!(arg < t[l1] || l == nk1)) {
            l = l1;
            l1 = l + 1;
            ++number;
        }
        fpbspl(t, k, arg, l, h);
        for (int i = 1; i <= k1; ++i)
            sp[it][i] = h[i];
        nr[it] = number;
    }
}

struct FitFlags {
    bool spx = false, spy = false, bx = false, by = false;   // matrices already worked out
};

// The spline for the current knots and smoothing parameter p (p <= 0: least squares), its
// residual sum fp and the residual sums per knot interval.
void fpgrre(FitFlags& done, const double* x, int mx, const double* y, int my, const double* z, int kx, int ky,
            const double* tx, int nx, const double* ty, int ny, double p, double& fp)
{
    FitWork& w = work;
    int kx1 = kx + 1, ky1 = ky + 1, kx2 = kx1 + 1, ky2 = ky1 + 1;
    int nk1x = nx - kx1, nk1y = ny - ky1;
    double pinv = p > 0 ? 1 / p : 0;
    double h[K2_MAX + 1];

    if (!done.spx) {
        observation_matrix(x, mx, tx, nx, kx, w.spx, w.nrx);
        done.spx = true;
    }
    if (!done.spy) {
        observation_matrix(y, my, ty, ny, ky, w.spy, w.nry);
        done.spy = true;
    }
    if (p > 0) {
        if (!done.bx && nx != 2 * kx1) {
            fpdisc(tx, nx, kx2, w.bx);
            done.bx = true;
        }
        if (!done.by && ny != 2 * ky1) {
            fpdisc(ty, ny, ky2, w.by);
            done.by = true;
        }
    }

    // The x direction: (ax) to triangle, the same rotations on the rows of q (my columns each).
    std::fill_n(w.q, my * nk1x + 1, 0.0);
    for (int i = 1; i <= nk1x; ++i)
        std::fill_n(w.ax[i], K2_MAX + 1, 0.0);
    int iz = 0, nrold = 0, bandx = kx1;
    auto rotate_q = [&](int irot, double cos, double sin) {
        for (int j = 1, iq = (irot - 1) * my; j <= my; ++j)
            fprota(cos, sin, w.right[j], w.q[++iq]);
    };
    for (int it = 1; it <= mx; ++it) {
        int number = w.nrx[it];
        // The smoothing rows of the intervals passed first, then the data row.
        for (; nrold < number; ++nrold) {
            if (p <= 0)
                continue;
            bandx = kx2;
            for (int j = 1; j <= kx2; ++j)
                h[j] = w.bx[nrold + 1][j] * pinv;
            std::fill_n(w.right + 1, my, 0.0);
            rotate_row(w.ax, h, bandx, nrold, rotate_q);
        }
        h[bandx] = 0;
        for (int j = 1; j <= kx1; ++j)
            h[j] = w.spx[it][j];
        for (int j = 1; j <= my; ++j)
            w.right[j] = z[++iz];
        rotate_row(w.ax, h, bandx, number, rotate_q);
    }

    // The y direction: (ay) to triangle, the same rotations on the columns of g into c.
    std::fill_n(w.c, nk1x * nk1y + 1, 0.0);
    for (int i = 1; i <= nk1y; ++i)
        std::fill_n(w.ay[i], K2_MAX + 1, 0.0);
    nrold = 0;
    int bandy = ky1;
    auto rotate_c = [&](int irot, double cos, double sin) {
        for (int j = 1, ic = irot; j <= nk1x; ++j, ic += nk1y)
            fprota(cos, sin, w.right[j], w.c[ic]);
    };
    for (int it = 1; it <= my; ++it) {
        int number = w.nry[it];
        for (; nrold < number; ++nrold) {
            if (p <= 0)
                continue;
            bandy = ky2;
            for (int j = 1; j <= ky2; ++j)
                h[j] = w.by[nrold + 1][j] * pinv;
            std::fill_n(w.right + 1, nk1x, 0.0);
            rotate_row(w.ay, h, bandy, nrold, rotate_c);
        }
        h[bandy] = 0;
        for (int j = 1; j <= ky1; ++j)
            h[j] = w.spy[it][j];
        for (int j = 1, l = it; j <= nk1x; ++j, l += my)
            w.right[j] = w.q[l];
        rotate_row(w.ay, h, bandy, number, rotate_c);
    }

    // Back substitution: (ry) c1 = h column by column, then c (rx)' = c1 row by row.
    for (int i = 1, k = 1; i <= nk1x; ++i, k += nk1y)
        fpback(w.ay, w.c + k - 1, nk1y, bandy, w.c + k - 1);
    for (int j = 1; j <= nk1y; ++j) {
        for (int i = 1, l = j; i <= nk1x; ++i, l += nk1y)
            w.right[i] = w.c[l];
        fpback(w.ax, w.right, nk1x, bandx, w.right);
        for (int i = 1, l = j; i <= nk1x; ++i, l += nk1y)
            w.c[l] = w.right[i];
    }

    // Residuals: in total and per knot interval (a grid value on a knot counts half to each side).
    fp = 0;
    std::fill_n(w.fpintx, nx + 1, 0.0);
    std::fill_n(w.fpinty, ny + 1, 0.0);
    iz = 0;
    int nroldx = 0;
    for (int i1 = 1; i1 <= mx; ++i1) {
        int numx = w.nrx[i1], numx1 = numx + 1, nroldy = 0;
        for (int i2 = 1; i2 <= my; ++i2) {
            int numy = w.nry[i2], numy1 = numy + 1;
            ++iz;
            double term = 0;
            for (int l1 = 1, k1 = numx * nk1y + numy; l1 <= kx1; ++l1, k1 += nk1y) {
                double fac = w.spx[i1][l1];
                for (int l2 = 1, k2 = k1; l2 <= ky1; ++l2)
                    term += fac * w.spy[i2][l2] * w.c[++k2];
            }
            term = (z[iz] - term) * (z[iz] - term);
            fp += term;
            w.fpintx[numx1] += term;
            w.fpinty[numy1] += term;
            double half = term * 0.5;
            if (numy != nroldy) {
                w.fpinty[numy1] -= half;
                w.fpinty[numy] += half;
            }
            nroldy = numy;
            if (numx != nroldx) {
                w.fpintx[numx1] -= half;
                w.fpintx[numx] += half;
            }
        }
        nroldx = numx;
    }
}

// What a fit leaves for the next one with iopt = 1.
struct FitMemory {
    int nx = 0, ny = 0;
    double fp0 = 0, fpold = 0, reducx = 0, reducy = 0;
    int lastdi = 0, nplusx = 0, nplusy = 0;
};
FitMemory memory;

// The grid values inside each knot interval of t (knots from index k + 2 on).
void count_in_intervals(const double* x, int m, const double* t, int k, int* nrdata)
{
    int l = k + 2, j = 1;
    nrdata[1] = 0;
    for (int i = 2; i <= m - 1; ++i) {
        ++nrdata[j];
        if (x[i] < t[l])
            continue;
        --nrdata[j];
        ++l;
        ++j;
        nrdata[j] = 0;
    }
}

// Knot placement and the search for p. x, y, z are indexed from 1. With iopt = -1 the knots in
// work.tx, work.ty (nx, ny of them) are taken as they are and the least-squares spline returned.
int fpregr(int iopt, const double* x, int mx, const double* y, int my, const double* z, double xb, double xe,
           double yb, double ye, int kx, int ky, double s, int nxest, int nyest, int& nx, int& ny, double& fp)
{
    FitWork& w = work;
    FitMemory& r = memory;
    int kx1 = kx + 1, ky1 = ky + 1;
    int nminx = 2 * kx1, nminy = 2 * ky1;
    double acc = TOL * s;
    int nmaxx = mx + kx1, nmaxy = my + ky1;
    int nxe = std::min(nmaxx, nxest), nye = std::min(nmaxy, nyest);
    int ier = 0;
    double& fp0 = r.fp0;
    double& fpold = r.fpold;
    double& reducx = r.reducx;
    double& reducy = r.reducy;
    int& lastdi = r.lastdi;
    int& nplusx = r.nplusx;
    int& nplusy = r.nplusy;
    int nrintx, nrinty;

    if (iopt < 0) {
        // the knots are given
    } else if (s == 0) {
        // Interpolation: a knot at every grid value inside (odd degree) or between two (even).
        nx = nmaxx;
        ny = nmaxy;
        if (ny > nyest || nx > nxest)
            return 1;
        for (int l = 1, i = kx1 + 1, j = kx / 2 + 2; l <= mx - kx1; ++l, ++i, ++j)
            w.tx[i] = kx % 2 == 1 ? x[j] : (x[j] + x[j - 1]) * 0.5;
        for (int l = 1, i = ky1 + 1, j = ky / 2 + 2; l <= my - ky1; ++l, ++i, ++j)
            w.ty[i] = ky % 2 == 1 ? y[j] : (y[j] + y[j - 1]) * 0.5;
    } else if (iopt == 1 && fp0 > s) {
        // Carry on from the knots of the last fit.
        nx = r.nx;
        ny = r.ny;
        count_in_intervals(x, mx, w.tx, kx, w.nrdatx);
        count_in_intervals(y, my, w.ty, ky, w.nrdaty);
    } else {
        // Start from the least-squares polynomial: no interior knots.
        nx = nminx;
        ny = nminy;
        w.nrdatx[1] = mx - 2;
        w.nrdaty[1] = my - 2;
        lastdi = nplusx = nplusy = 0;
        fp0 = fpold = reducx = reducy = 0;
    }
    struct Remember {
        FitMemory& r;
        int& nx;
        int& ny;
        ~Remember()
        {
            r.nx = nx;
            r.ny = ny;
        }
    } remember{r, nx, ny};

    FitFlags done;
    double p = -1, fpms = 0;
    for (int iter = 1; iter <= mx + my; ++iter) {
        if (nx == nminx && ny == nminy)
            ier = -2;
        nrintx = nx - nminx + 1;
        nrinty = ny - nminy + 1;
        for (int j = 1, i = nx; j <= kx1; ++j, --i) {
            w.tx[j] = xb;
            w.tx[i] = xe;
        }
        for (int j = 1, i = ny; j <= ky1; ++j, --i) {
            w.ty[j] = yb;
            w.ty[i] = ye;
        }
        fpgrre(done, x, mx, y, my, z, kx, ky, w.tx, nx, w.ty, ny, p, fp);
        if (ier == -2)
            fp0 = fp;
        if (iopt < 0)
            return ier;
        fpms = fp - s;
        if (std::fabs(fpms) < acc)
            return ier;
        if (fpms < 0)
            break;   // the least-squares spline is within s: these knots will do
        if (nx == nmaxx && ny == nmaxy) {
            fp = 0;
            return -1;
        }
        if (nx == nxe && ny == nye)
            return 1;
        ier = 0;
        if (lastdi < 0)
            reducx = fpold - fp;
        else if (lastdi > 0)
            reducy = fpold - fp;
        fpold = fp;
        // How many knots to add in each direction, from the gain the last ones brought.
        int nplx = 1;
        if (nx != nminx) {
            int npl1 = nplusx * 2;
            if (reducx > acc)
                npl1 = static_cast<int>(nplusx * fpms / reducx);
            nplx = std::min(nplusx * 2, std::max({npl1, nplusx / 2, 1}));
        }
        int nply = 1;
        if (ny != nminy) {
            int npl1 = nplusy * 2;
            if (reducy > acc)
                npl1 = static_cast<int>(nplusy * fpms / reducy);
            nply = std::min(nplusy * 2, std::max({npl1, nplusy / 2, 1}));
        }
        bool in_x = nplx < nply || (nplx == nply && lastdi >= 0);
        if (in_x && nx == nxe)
            in_x = false;
        else if (!in_x && ny == nye)
            in_x = true;
        if (in_x) {
            lastdi = -1;
            nplusx = nplx;
            done.spx = false;
            for (int l = 1; l <= nplusx; ++l) {
                fpknot(x, w.tx, nx, w.fpintx, w.nrdatx, nrintx, 1);
                if (nx == nxe)
                    break;
            }
        } else {
            lastdi = 1;
            nplusy = nply;
            done.spy = false;
            for (int l = 1; l <= nplusy; ++l) {
                fpknot(y, w.ty, ny, w.fpinty, w.nrdaty, nrinty, 1);
                if (ny == nye)
                    break;
            }
        }
    }
    if (ier == -2)
        return ier;

    // The smoothing spline: find p with f(p) = s by rational interpolation.
    double p1 = 0, f1 = fp0 - s, p3 = -1, f3 = fpms;
    p = 1;
    bool ich1 = false, ich3 = false;
    for (int iter = 1; iter <= MAXIT; ++iter) {
        fpgrre(done, x, mx, y, my, z, kx, ky, w.tx, nx, w.ty, ny, p, fp);
        fpms = fp - s;
        if (std::fabs(fpms) < acc)
            return ier;
        if (iter == MAXIT)
            return 3;
        double p2 = p, f2 = fpms;
        if (!ich3) {
            if (f2 - f3 <= acc) {
                // p was too large.
                p3 = p2;
                f3 = f2;
                p *= CON4;
                if (p <= p1)
                    p = p1 * CON9 + p2 * CON1;
                continue;
            }
            if (f2 < 0)
                ich3 = true;
        }
        if (!ich1) {
            if (f1 - f2 <= acc) {
                // p was too small.
                p1 = p2;
                f1 = f2;
                p /= CON4;
                if (p3 < 0)
                    continue;
                if (p >= p3)
                    p = p2 * CON1 + p3 * CON9;
                continue;
            }
            if (f2 > 0)
                ich1 = true;
        }
        if (f2 >= f1 || f2 <= f3)
            return 2;
        p = fprati(p1, f1, p2, f2, p3, f3);
    }
    return 3;
}

}  // namespace

int regrid(int iopt, const double* x, int mx, const double* y, int my, const double* z, double xb, double xe,
           double yb, double ye, int kx, int ky, double s, int nxest, int nyest, int lwrk, int kwrk, GridSpline& out)
{
    constexpr int INVALID = 10;
    if (kx <= 0 || kx > SPLINE_MAX_K || ky <= 0 || ky > SPLINE_MAX_K || iopt < -1 || iopt > 1)
        return INVALID;
    int kx1 = kx + 1, ky1 = ky + 1, kx2 = kx1 + 1, ky2 = ky1 + 1;
    if (mx < kx1 || nxest < 2 * kx1 || my < ky1 || nyest < 2 * ky1)
        return INVALID;
    if (mx > SPLINE_MAX_MX || my > SPLINE_MAX_MY || nxest > SPLINE_MAX_NXEST || nyest > SPLINE_MAX_NYEST)
        return INVALID;   // beyond what the fixed buffers hold
    int lwest = 4 + nxest * (my + 2 * kx2 + 1) + nyest * (2 * ky2 + 1) + mx * kx1 + my * ky1 + std::max(nxest, my);
    int kwest = 3 + mx + my + nxest + nyest;
    if (lwrk < lwest || kwrk < kwest)
        return INVALID;
    if (xb > x[0] || xe < x[mx - 1] || yb > y[0] || ye < y[my - 1])
        return INVALID;
    for (int i = 1; i < mx; ++i)
        if (x[i - 1] >= x[i])
            return INVALID;
    for (int i = 1; i < my; ++i)
        if (y[i - 1] >= y[i])
            return INVALID;
    copy_from_one(x, mx, work.x);
    copy_from_one(y, my, work.y);
    copy_from_one(z, mx * my, work.z);
    if (iopt < 0) {
        // The caller's knots: the interior ones from out.tx, out.ty, the ends set here.
        if (out.nx < 2 * kx1 || out.nx > nxest || out.ny < 2 * ky1 || out.ny > nyest)
            return INVALID;
        std::copy_n(out.tx, out.nx, work.tx + 1);
        std::copy_n(out.ty, out.ny, work.ty + 1);
        for (int i = 1, j = out.nx; i <= kx1; ++i, --j) {
            work.tx[i] = xb;
            work.tx[j] = xe;
        }
        for (int i = 1, j = out.ny; i <= ky1; ++i, --j) {
            work.ty[i] = yb;
            work.ty[j] = ye;
        }
        if (!fpchec(work.x, mx, work.tx, out.nx, kx) || !fpchec(work.y, my, work.ty, out.ny, ky))
            return INVALID;
    } else if (!(s >= 0) || (s == 0 && (nxest < mx + kx1 || nyest < my + ky1))) {
        return INVALID;
    }

    int ier = fpregr(iopt, work.x, mx, work.y, my, work.z, xb, xe, yb, ye, kx, ky, s, nxest, nyest, out.nx, out.ny,
                     out.fp);
    std::copy_n(work.tx + 1, out.nx, out.tx);
    std::copy_n(work.ty + 1, out.ny, out.ty);
    std::copy_n(work.c + 1, (out.nx - kx1) * (out.ny - ky1), out.c);
    return ier;
}

namespace {

// Evaluation buffers.
struct EvalWork {
    double wx[SPLINE_MAX_MX + 1][K1_MAX + 1];
    double wy[SPLINE_MAX_MY + 1][K1_MAX + 1];
    int lx[SPLINE_MAX_MX + 1], ly[SPLINE_MAX_MY + 1];
    double tx[SPLINE_MAX_NXEST + 1], ty[SPLINE_MAX_NYEST + 1];
    double x[SPLINE_MAX_MX + 1], y[SPLINE_MAX_MY + 1];
};
EvalWork eval;

// The B-spline values at each of x[1..m] (held inside the knots' range) and their first index.
void spline_values(const double* t, int n, int k, const double* x, int m, double (*w)[K1_MAX + 1], int* lx)
{
    int k1 = k + 1, nk1 = n - k1;
    double tb = t[k1], te = t[nk1 + 1];
    int l = k1, l1 = l + 1;
    double h[K2_MAX + 1];
    for (int i = 1; i <= m; ++i) {
        double arg = std::clamp(x[i], tb, te);
        while (!(arg < t[l1] || l == nk1)) {
            l = l1;
            l1 = l + 1;
        }
        fpbspl(t, k, arg, l, h);
        lx[i] = l - k1;
        for (int j = 1; j <= k1; ++j)
            w[i][j] = h[j];
    }
}

}  // namespace

int bispev(const GridSpline& s, int kx, int ky, const double* x, int mx, const double* y, int my, double* z, int lwrk,
           int kwrk)
{
    constexpr int INVALID = 10;
    if (kx <= 0 || kx > SPLINE_MAX_K || ky <= 0 || ky > SPLINE_MAX_K || mx < 1 || my < 1 || mx > SPLINE_MAX_MX ||
        my > SPLINE_MAX_MY || s.nx < 2 * (kx + 1) || s.nx > SPLINE_MAX_NXEST || s.ny < 2 * (ky + 1) ||
        s.ny > SPLINE_MAX_NYEST)
        return INVALID;
    if (lwrk < mx * (kx + 1) + my * (ky + 1) || kwrk < mx + my)
        return INVALID;
    for (int i = 1; i < mx; ++i)
        if (x[i] < x[i - 1])
            return INVALID;
    for (int i = 1; i < my; ++i)
        if (y[i] < y[i - 1])
            return INVALID;

    std::copy_n(s.tx, s.nx, eval.tx + 1);
    std::copy_n(s.ty, s.ny, eval.ty + 1);
    copy_from_one(x, mx, eval.x);
    copy_from_one(y, my, eval.y);
    spline_values(eval.tx, s.nx, kx, eval.x, mx, eval.wx, eval.lx);
    spline_values(eval.ty, s.ny, ky, eval.y, my, eval.wy, eval.ly);
    int kx1 = kx + 1, ky1 = ky + 1, nky1 = s.ny - ky1;
    for (int i = 1, m = 0; i <= mx; ++i) {
        int l = eval.lx[i] * nky1;
        for (int j = 1; j <= my; ++j) {
            double sp = 0;
            for (int i1 = 1, l1 = l + eval.ly[j]; i1 <= kx1; ++i1, l1 += nky1)
                for (int j1 = 1, l2 = l1; j1 <= ky1; ++j1)
                    sp += s.c[l2++] * eval.wx[i][i1] * eval.wy[j][j1];   // c is stored from 0
            z[m++] = sp;
        }
    }
    return 0;
}

namespace {

// The grid the spline runs on: the table's own axes, scaled.
constexpr double GRID_X[VE_ROWS] = {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 16, 18,
                                    20, 22, 24, 26, 28, 30, 32, 36, 40, 44, 48, 52, 56, 61, 66, 71, 76};
constexpr double GRID_Y[VE_COLS] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 12, 14, 16};

// Workspace sizes of the fit and the evaluation.
constexpr int NXEST = VE_ROWS + 4, NYEST = VE_COLS + 4;
constexpr int FIT_LWRK = 1450, FIT_KWRK = 109;
constexpr int EVAL_LWRK = 196, EVAL_KWRK = 49;

double grid_z[VE_ROWS * VE_COLS];
double smoothed[VE_ROWS * VE_COLS];
GridSpline fitted;

}  // namespace

int smooth_ve_table(VeTable& table, double s, int* fit_code)
{
    for (int i = 1; i <= VE_ROWS; ++i)
        for (int j = 1; j <= VE_COLS; ++j)
            grid_z[(i - 1) * VE_COLS + (j - 1)] = table[i][j] / 10.0;
    int ier = regrid(0, GRID_X, VE_ROWS, GRID_Y, VE_COLS, grid_z, GRID_X[0], GRID_X[VE_ROWS - 1], GRID_Y[0],
                     GRID_Y[VE_COLS - 1], 3, 3, s, NXEST, NYEST, FIT_LWRK, FIT_KWRK, fitted);
    if (fit_code != nullptr)
        *fit_code = ier;
    if (ier >= 1)
        return ier;
    ier = bispev(fitted, 3, 3, GRID_X, VE_ROWS, GRID_Y, VE_COLS, smoothed, EVAL_LWRK, EVAL_KWRK);
    if (ier >= 1)
        return ier;
    for (int i = 1; i <= VE_ROWS; ++i) {
        for (int j = 1; j <= VE_COLS; ++j) {
            double v = std::trunc(smoothed[(i - 1) * VE_COLS + (j - 1)] * 10 + 0.5);
            table[i][j] = v >= 256 ? 255 : v < 0 ? 0 : static_cast<uint32_t>(v);
        }
    }
    return 0;
}

int smooth_learned_ve()
{
    std::lock_guard<std::mutex> lock(g_ve_learn.tables_lock);
    return smooth_ve_table(g_ve_learn.learned_ve, g_settings.smoothfac);
}

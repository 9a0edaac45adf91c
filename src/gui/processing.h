// Profile processing: smoothing of the CCD intensity profile, the jet curve against the
// frozen reference profile, the edge search on the jet curve, and two array utilities for
// the strip chart's history. Integer arithmetic on fixed module-level arrays; no drawing.
#pragma once

constexpr int PROFILE_LEN = 256;       // samples of one CCD intensity profile
constexpr int SUBPIXELS_PER_INDEX = 6; // sub-pixel units per profile index (256 x 6 = 1536)
constexpr int EDGE_BUF_LEN = 64;       // entries of edbuf
constexpr int EDGE_MAX = 62;           // crossings kept by FindEdge; more overwrite edbuf[62]

// Results of Copy1D and Shift.
constexpr int ARRAY_OK = 0;
constexpr int ARRAY_ERR_COUNT = -20003; // fewer than one element
constexpr int ARRAY_ERR_SHIFT = -20102; // shift as large as the array or larger

extern unsigned short adcbuf[PROFILE_LEN];       // live profile, smoothed in place by VIDEO
extern unsigned short thdArray[PROFILE_LEN + 1]; // reference 0..255 (start 1), [256] its maximum
extern short dArray[PROFILE_LEN];                // jet curve, percent 0..100
extern unsigned short edbuf[EDGE_BUF_LEN];       // profile indices of the threshold crossings
extern unsigned short videoMax;                  // largest live sample (at least 1 after NormCurve)
extern unsigned short jetMax;                    // largest jet-curve value (at least 1)
extern unsigned short idxMax;                    // profile index of jetMax, 1..255
extern int jetArea;                              // 6 x the sum of the jet curve
extern unsigned short Mcenter, Mwidth;           // centre and width of the edge pair, sub-pixels

// Smooths 256 samples in place with the weights 1 1 4 1 1 / 8. The loop feeds back on its
// own output: a[i-2] and a[i-1] are already smoothed when a[i] is computed. The two end
// samples on each side take the value of their inner neighbour (a[2], a[253]).
void SmoothCurve(unsigned short *a);

// Jet curve: dArray[i] = 100 x (ref[i] - video[i]) / ref[i], rounded toward zero and held
// at 0 when the live sample is brighter. Sets videoMax, jetMax, idxMax and jetArea. Every 0
// in ref becomes 1.
void NormCurve(const unsigned short *video, unsigned short *ref);

// Threshold crossings of the jet curve at videoThreshold; a fall at index edgeLeft is not
// stored. Fills edbuf, Ledge, Redge, Mcenter and Mwidth; returns the number of crossings
// kept, 0..62. The curve is read as unsigned 16-bit values.
int FindEdge(const short *curve);

// Copies n doubles (in and out may be the same array). ARRAY_OK or ARRAY_ERR_COUNT.
int Copy1D(const double *in, int n, double *out);

// out[i] = in[i - shiftBy] where that index lies inside the array, 0.0 elsewhere; works in
// place. ARRAY_OK, ARRAY_ERR_COUNT (n < 1) or ARRAY_ERR_SHIFT (|shiftBy| >= n).
int Shift(const double *in, int n, int shiftBy, double *out);

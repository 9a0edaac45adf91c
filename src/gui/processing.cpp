#include "processing.h"

#include "measure.h"
#include "params.h"

#include <cstring>

namespace {
// The start-up reference: 256 ones (no division by zero before the first freeze) and a
// maximum of 0, as the video maximum display shows when no profile file was loaded.
struct ReferenceStart {
    ReferenceStart(unsigned short *ref) {
        for (int i = 0; i < PROFILE_LEN; i++)
            ref[i] = 1;
        ref[PROFILE_LEN] = 0;
    }
};
} // namespace

unsigned short adcbuf[PROFILE_LEN] = {};
unsigned short thdArray[PROFILE_LEN + 1] = {};
static ReferenceStart referenceStart(thdArray);
short dArray[PROFILE_LEN] = {};
unsigned short edbuf[EDGE_BUF_LEN] = {};
unsigned short videoMax = 0;
unsigned short jetMax = 0;
unsigned short idxMax = 0;
int jetArea = 0;
unsigned short Mcenter = 0, Mwidth = 0;

void SmoothCurve(unsigned short *a) {
    a[0] = a[1] = a[2];
    a[PROFILE_LEN - 2] = a[PROFILE_LEN - 1] = a[PROFILE_LEN - 3];
    for (int i = 2; i <= PROFILE_LEN - 3; i++) {
        // The full sum (at most 8 x 65535) is kept: cutting it to 16 bits would wrap every
        // profile with samples above 8191. Up to 8191 the sum fits 16 bits either way.
        int s = a[i - 2] + a[i - 1] + 4 * a[i] + a[i + 1] + a[i + 2];
        a[i] = static_cast<unsigned short>(s >> 3);
    }
}

void NormCurve(const unsigned short *video, unsigned short *ref) {
    videoMax = 1;
    jetMax = 1;
    idxMax = 1;
    jetArea = 0;
    for (int i = 0; i < PROFILE_LEN; i++) {
        if (ref[i] == 0) ref[i] = 1;
        int d = (100 * (static_cast<int>(ref[i]) - static_cast<int>(video[i]))) / ref[i];
        if (d < 0) d = 0; // the live sample is brighter than the reference
        dArray[i] = static_cast<short>(d);
        if (dArray[i] > jetMax) {
            jetMax = static_cast<unsigned short>(dArray[i]);
            idxMax = static_cast<unsigned short>(i);
        }
        if (video[i] > videoMax) videoMax = video[i];
        jetArea += dArray[i];
    }
    if (idxMax < 1) idxMax = 1;
    if (idxMax > PROFILE_LEN - 1) idxMax = PROFILE_LEN - 1;
    jetArea *= SUBPIXELS_PER_INDEX;
}

int FindEdge(const short *curve) {
    const int threshold = videoThreshold;
    const int suppressed = edgeLeft; // a fall at this index is passed over
    std::memset(edbuf, 0, sizeof edbuf);
    int n = 0;
    bool lookingForFall = true;
    for (int j = 1; j < PROFILE_LEN; j++) {
        const int v = static_cast<unsigned short>(curve[j]);
        if (lookingForFall) {
            if (v < threshold) {
                if (j != suppressed) edbuf[n++] = static_cast<unsigned short>(j);
                lookingForFall = false;
            }
        } else if (v > threshold) {
            edbuf[n++] = static_cast<unsigned short>(j);
            lookingForFall = true;
        }
        if (n > EDGE_MAX) n = EDGE_MAX;
    }
    Ledge = static_cast<unsigned short>(SUBPIXELS_PER_INDEX * edbuf[0]);
    Redge = n > 0 ? static_cast<unsigned short>(SUBPIXELS_PER_INDEX * edbuf[n - 1]) : 0;
    Mcenter = static_cast<unsigned short>((Ledge + Redge) / 2);
    Mwidth = static_cast<unsigned short>(Redge - Ledge);
    return n;
}

int Copy1D(const double *in, int n, double *out) {
    if (n < 1) return ARRAY_ERR_COUNT;
    std::memmove(out, in, sizeof(double) * static_cast<unsigned>(n));
    return ARRAY_OK;
}

int Shift(const double *in, int n, int shiftBy, double *out) {
    if (n < 1) return ARRAY_ERR_COUNT;
    if (shiftBy >= n || shiftBy <= -n) return ARRAY_ERR_SHIFT;
    if (shiftBy == 0) return Copy1D(in, n, out);
    if (shiftBy > 0) {
        // From the last element backward, so that in place nothing is read after it is moved.
        for (int i = n - 1; i >= shiftBy; i--)
            out[i] = in[i - shiftBy];
        for (int i = 0; i < shiftBy; i++)
            out[i] = 0.0;
    } else {
        const int by = -shiftBy;
        for (int i = 0; i < n - by; i++)
            out[i] = in[i + by];
        for (int i = n - by; i < n; i++)
            out[i] = 0.0;
    }
    return ARRAY_OK;
}

// The values of the latest raw measurement frame (RUN and VIDEO), and the edges that the
// VIDEO loop's edge search writes over Ledge and Redge.
#pragma once

extern unsigned short Ledge, Redge;   // left and right edge, sub-pixel units; 0 = no edge
extern unsigned short Mvalue;         // measured value, sub-pixel units
extern unsigned int umValue;          // frame words 3 (low half) and 4 (high half); stored only
extern unsigned short edcnt;          // number of edges the sensor found
extern unsigned short mvstart, mvend; // start and end of the measured section
extern unsigned short dynpow;         // frame word 10; stored only
extern unsigned short anaMax, anaMin; // maximum and minimum held by the analog output
extern unsigned short in0;            // frame word 13; stored only
extern int trk_flag;                  // frame word 14 (VIDEO only); stored only

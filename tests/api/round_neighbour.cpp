// A library built beside the host without tiller.h: its round is whatever the process binds
// to the plain name.
#include <math.h>

extern "C" double NeighbourRound(double x) {
    return round(x);
}

// The product of two affine matrices in the host's column-major layout. The library's own
// arithmetic and the host's matrix records both use it, so a matrix the library works out by
// value matches the one the host would make to the last bit.
#ifndef TILLER_HOST_COMPOSE_H
#define TILLER_HOST_COMPOSE_H

#include "tiller/host/korvex.h"

// a after b: (a b) v applies b first.
inline MatrixStruct ComposeMatrices(const MatrixStruct& a, const MatrixStruct& b) {
    MatrixStruct c;
    for (int col = 0; col < 4; ++col)
        for (int row = 0; row < 4; ++row) {
            double sum = 0;
            for (int k = 0; k < 4; ++k)
                sum += a.m[4 * k + row] * b.m[4 * col + k];
            c.m[4 * col + row] = sum;
        }
    return c;
}

#endif

// Small vector, host-matrix, host-vertex and host-box arithmetic shared by the control, the
// handles, their parts, the drag routines and the report. Plain functions without state.
#ifndef TILLER_GEOMETRY_GEOMETRY_H
#define TILLER_GEOMETRY_GEOMETRY_H

#include "tiller/host/korvex.h"

#include <initializer_list>

namespace tiller {

// The one tolerance: a value counts as zero when its absolute value is at most this.
inline constexpr double GeomEpsilon = 1e-7;

double VertexDistance(const VertexStruct* a, const VertexStruct* b);
double VectorLength(double x, double y, double z);
// Clamped cosine of the angle between a and b; 1.0 when either is shorter than GeomEpsilon.
double VectorCosine(double ax, double ay, double az, double bx, double by, double bz);
// VectorCosine of B - A and D - C.
double SegmentCosine(const VertexStruct* a, const VertexStruct* b, const VertexStruct* c,
                     const VertexStruct* d);
// Signed area of the triangle in the XY plane; positive counter-clockwise.
double TriangleSignedArea(const VertexStruct* a, const VertexStruct* b, const VertexStruct* c);
// atan2, with 0 for (0, 0).
double SafeAtan2(double y, double x);
// 8 decimal places, halves away from zero: the exported round and the report's numbers.
double RoundTo8(double x);

inline constexpr MatrixStruct IdentityMatrix{{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}};

void MatrixSetIdentity(MatrixStruct* m);
int MatrixHasNoTranslation(const MatrixStruct* m);
// a after b (a · b), summed in the host's order so that the result matches MatrixMatrixMultiplyEx
// to the bit; a missing matrix counts as identity. Makes no host record.
MatrixStruct MatrixProduct(const MatrixStruct* a, const MatrixStruct* b);
// Copies source into *target, creating it when missing; a missing source resets the target.
int MatrixAssign(const MatrixStruct* source, MatrixStruct** target);
// Inverts an affine matrix in place; 0 (unchanged) when the linear block is singular.
int MatrixInvertAffine(MatrixStruct** m);
int VertexAssign(const VertexStruct* source, VertexStruct** target);

// A new copy of a valid box; null for a missing or invalid one (or when the copy cannot be made).
ExtentsStruct* CopyValidExtents(const ExtentsStruct* source);
int ExtentsIsPoint(const ExtentsStruct* e);
int ExtentsIsFlat(const ExtentsStruct* e);
int ExtentsCenter(const ExtentsStruct* e, double* x, double* y, double* z);
int ExtentsCenterVertex(const ExtentsStruct* e, VertexStruct* v);

// Whether every number of a host record is finite; a missing record has none that is not.
bool IsFinite(const MatrixStruct* m);
bool IsFinite(const VertexStruct* v);
bool IsFinite(const ExtentsStruct* e);
bool AllFinite(std::initializer_list<double> values);
// 1 for a group graphic: the walk filter that finds handle groups and their parts.
int IsGroupGraphic(GraphicStruct* g);

} // namespace tiller

#endif

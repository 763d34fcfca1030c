// The reference host's own records behind the opaque host handles, and the bookkeeping that
// every record creation goes through: live counts per record type and fault injection.
#ifndef KORVEX_RECORDS_H
#define KORVEX_RECORDS_H

#include "korvex/testing.h"
#include "tiller/host/korvex.h"
#include "vec3.h"

#include <array>
#include <exception>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

namespace korvex {

// Every creation of a host record asks here first. Answers false when fault injection makes
// this creation fail; otherwise counts the record as live.
bool admitRecord(KvRecordType type);
// Counts a released record.
void releaseRecord(KvRecordType type);

// Allocates a T counted as `type`, or null when the creation is made to fail or memory runs
// out: a record that could not be made is not counted.
template <class T, class... Args> T* newRecord(KvRecordType type, Args&&... args) {
    if (!admitRecord(type)) return nullptr;
    try {
        return new T(std::forward<Args>(args)...);
    } catch (const std::bad_alloc&) {
        releaseRecord(type);
        return nullptr;
    }
}
// What every entry point does with an allocation that fails inside it: no exception leaves the
// host. `body` answers the entry point's result, `failure` is answered instead when memory runs
// out; a body that changes records makes every room it needs before it changes anything.
template <class R, class Body> R answerOrFail(R failure, Body&& body) noexcept {
    try {
        return body();
    } catch (const std::exception&) {
        return failure;
    }
}
// Whether `body`, which makes room ahead of a change, could make it.
template <class Body> bool madeRoom(Body&& body) noexcept {
    return answerOrFail(false, [&body] {
        body();
        return true;
    });
}
// The same for an entry point without a result: out of memory, it leaves everything as it was.
template <class Body> void changeOrKeep(Body&& body) noexcept {
    madeRoom(body);
}
// Room for one more element, grown by doubling as push_back grows: reserving exactly one more
// each time would copy the whole list on every addition. Throws when there is no room.
template <class T> void reserveOneMore(std::vector<T>& list) {
    if (list.size() == list.capacity()) list.reserve(list.empty() ? 1 : 2 * list.size());
}
template <class T> void deleteRecord(KvRecordType type, T* record) {
    if (!record) return;
    delete record;
    releaseRecord(type);
}

// The one affine-matrix arithmetic of the host (matrix.cpp): the records, the viewports,
// picking, snapping and the scene all use it.
extern const MatrixStruct IdentityMatrix;
MatrixStruct identityMatrix();
// The matrix a null operand stands for: the identity.
const MatrixStruct& orIdentity(const MatrixStruct* m);
// a after b.
MatrixStruct compose(const MatrixStruct& a, const MatrixStruct& b);
// The inverse of an affine matrix; false (and `inverse` untouched) when it is singular.
bool invertAffine(const MatrixStruct& m, MatrixStruct* inverse);
// Inline: picking maps every vertex it looks at through these.
inline Vec3 transformVector(const MatrixStruct& m, Vec3 v) {
    const double* a = m.m;
    return {a[0] * v.x + a[4] * v.y + a[8] * v.z, a[1] * v.x + a[5] * v.y + a[9] * v.z,
            a[2] * v.x + a[6] * v.y + a[10] * v.z};
}
inline Vec3 transformPoint(const MatrixStruct& m, Vec3 p) {
    return transformVector(m, p) + Vec3{m.m[12], m.m[13], m.m[14]};
}
// The point (x, y, z) mapped by m, in place.
void mapPoint(const MatrixStruct& m, double& x, double& y, double& z);

} // namespace korvex

struct ExtentsStruct {
    bool valid = false;
    double x1 = 0, y1 = 0, z1 = 0, x2 = 0, y2 = 0, z2 = 0;
};

#endif

// Vector and frame utilities of the scene graph and the game: distances, angles in degrees,
// headings in radians, blending that does not depend on the frame rate, and orientations of
// engine frames and matrices.
#pragma once

#include "vector.h"

struct Frame;
struct Matrix;

/// Below this length a vector has no direction.
constexpr float kVectorNoDirection = 0.001f;

float VectorDistance(const Vector* a, const Vector* b);
/// The angle between the two directions, 0 to 180 degrees. axis, when given, receives a x b
/// (of the normalised vectors), or a perpendicular of a when they are parallel.
float VectorAngle(const Vector* a, const Vector* b, Vector* axis);
/// The signed horizontal angle in degrees from a to b, heights ignored: positive when b lies
/// counter-clockwise of a seen from above (the axis then points up). 0 when either has no
/// horizontal direction. axis, when given, receives the final axis.
float VectorPlanarAngle(const Vector* a, const Vector* b, Vector* axis);
/// VectorPlanarAngle of a - p and b - p.
float PointPlanarAngle(const Vector* p, const Vector* a, const Vector* b, Vector* axis);
/// The heading of a unit horizontal direction, 0 to 2 pi: acos(x), 2 pi minus that when z < 0.
float HeadingFromVector(const Vector* v);
/// (cos angle, 0, sin angle).
Vector VectorFromHeading(float angle);
/// The angle moved by whole turns until it lies within pi of reference.
float AngleWrapTowards(float reference, float angle);
/// a + t (b - a), t = dt x 60 x rate / 100 clamped to 0..1: a rate of 100 arrives in one
/// 1/60 s frame.
float BlendByFrameTime(float a, float b, float rate, float dt);
void BlendVectorByFrameTime(const Vector* a, const Vector* b, float rate, float dt, Vector* out);

/// Gives the frame the world matrix: modelling = matrix x inverse(parent's world) under a
/// parent, else the matrix. The frame is marked.
void FrameSetWorldMatrix(Frame* frame, const Matrix* matrix);
/// Turns the frame's modelling matrix to look along direction, with the world up as the up
/// reference (taken into the parent's space under a parent); a direction along the world up
/// takes the world z axis as the reference instead. Nothing for a direction without one.
/// The position stays; the frame is marked.
void FrameLookAlong(Frame* frame, const Vector* direction);
/// The same on a bare matrix, without a parent; its type flags are cleared.
void MatrixLookAlong(Matrix* matrix, const Vector* direction);
/// Turns the frame about its vertical so that its horizontal at vector faces the horizontal
/// part of direction; nothing when that part has no direction.
void FrameFaceDirectionPlanar(Frame* frame, const Vector* direction);

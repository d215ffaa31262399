// Vector and matrix operations.
#include "Maths.h"

#include <cmath>

#include "LogFile.h"

// ---- Vectors ---------------------------------------------------------------

float Vector3::Length() const { return std::sqrt(x * x + y * y + z * z); }

float Vector3::Dot(const Vector3& a, const Vector3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

void Vector3::Normalize() {
  float length = Length();
  if (length < kMathsEpsilon) {
    ErrorLog << "Attepmt to divide by 0 while normalizing.\n";
    WriteCallStack(ErrorLog, "  -call stack");
  }
  *this *= 1.0f / length;
}

Vector3 Vector3::Cross(const Vector3& a, const Vector3& b) {
  return Vector3(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
}

Vector4 Vector4::FromNormalAndPoint(const Vector3& normal, const Vector3& point) {
  Vector3 n = normal;
  n.Normalize();
  return Vector4(n.x, n.y, n.z, -(n.x * point.x + n.y * point.y + n.z * point.z));
}

// ---- Matrices --------------------------------------------------------------

Matrix3::Matrix3() : m{} {}

Matrix3::Matrix3(float m0, float m1, float m2, float m3, float m4, float m5, float m6, float m7, float m8)
    : m{m0, m1, m2, m3, m4, m5, m6, m7, m8} {}

float Matrix3::Determinant() const {
  return m[0] * (m[4] * m[8] - m[7] * m[5]) - m[1] * (m[3] * m[8] - m[5] * m[6]) +
         m[2] * (m[7] * m[3] - m[4] * m[6]);
}

Matrix4::Matrix4() : m{} {}

Matrix4::Matrix4(float m00, float m01, float m02, float m03, float m10, float m11, float m12, float m13,
                 float m20, float m21, float m22, float m23, float m30, float m31, float m32, float m33)
    : m{m00, m01, m02, m03, m10, m11, m12, m13, m20, m21, m22, m23, m30, m31, m32, m33} {}

Matrix4::Matrix4(int value) {
  for (float& e : m) e = static_cast<float>(value);
}

Matrix4 Matrix4::Identity() { return Matrix4(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1); }

Matrix4 Matrix4::Transposed() const {
  Matrix4 t;
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) t.m[4 * c + r] = m[4 * r + c];
  return t;
}

float Matrix4::Determinant() const {
  const Matrix4& a = *this;
  float minors[4];
  for (int skip = 0; skip < 4; ++skip) {
    Matrix3 minor;
    int k = 0;
    for (int r = 1; r < 4; ++r)
      for (int c = 0; c < 4; ++c)
        if (c != skip) minor.m[k++] = a[r][c];
    minors[skip] = minor.Determinant();
  }
  return a[0][0] * minors[0] - a[0][1] * minors[1] + a[0][2] * minors[2] - a[0][3] * minors[3];
}

void Matrix4::Multiply(Matrix4& dst, const Matrix4& a, const Matrix4& b) {
  Matrix4 product;
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c)
      product[r][c] = a[r][0] * b[0][c] + a[r][1] * b[1][c] + a[r][2] * b[2][c] + a[r][3] * b[3][c];
  dst = product;
}

void Matrix4::TransformVector(Vector4& out, const Matrix4& m, const Vector4& v) {
  Vector4 result;
  float* o[4] = {&result.x, &result.y, &result.z, &result.w};
  for (int r = 0; r < 4; ++r) *o[r] = m[r][0] * v.x + m[r][1] * v.y + m[r][2] * v.z + m[r][3] * v.w;
  out = result;
}

void Matrix4::Inverse(Matrix4& dst, const Matrix4& m) {
  if (std::fabs(m.Determinant()) < kMathsEpsilon) {
    ErrorLog << "Attempt to take the inverse of a matrix that doesn't have an inverse.\n";
    throw "Doesn't exist you fool!";
  }
  // Each row: the matrix's four columns, then the identity's four.
  float rows[4][8];
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) {
      rows[r][c] = m[r][c];
      rows[r][4 + c] = r == c ? 1.0f : 0.0f;
    }
  for (int k = 0; k < 4; ++k) {
    // A (near) zero pivot is mended by adding the rows below, never by
    // swapping rows.
    for (int r = k + 1; r < 4 && std::fabs(rows[k][k]) < kMathsEpsilon; ++r)
      for (int c = 0; c < 8; ++c) rows[k][c] += rows[r][c];
    float pivot = rows[k][k];
    for (int c = 0; c < 8; ++c) rows[k][c] /= pivot;
    for (int r = k + 1; r < 4; ++r) {
      float factor = rows[r][k];
      if (std::fabs(factor) > kMathsEpsilon)
        for (int c = 0; c < 8; ++c) rows[r][c] -= factor * rows[k][c];
    }
  }
  for (int k = 1; k < 4; ++k)
    for (int r = 0; r < k; ++r) {
      float factor = rows[r][k];
      for (int c = 0; c < 8; ++c) rows[r][c] -= factor * rows[k][c];
    }
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) dst[r][c] = rows[r][4 + c];
}

void Matrix4::Perspective(Matrix4& dst, float fieldOfView, float heightOverWidth, float zn, float zf) {
  float f = 1.0f / std::tan(fieldOfView / 2.0f);
  dst = Matrix4();
  dst[0][0] = f * heightOverWidth;
  dst[1][1] = f;
  dst[2][2] = zf / (zf - zn);
  dst[2][3] = 1.0f;
  dst[3][2] = zn * zf / (zn - zf);
}

void Matrix4::LookAt(Matrix4& dst, const Vector3& eye, const Vector3& target, const Vector3& up, bool flipUp,
                     bool flipRight) {
  if ((eye - target).Length() < kMathsEpsilon) {
    ErrorLog << "Brannik's making another attempt to construct a singularity camera.\n";
    throw "You asked for it.";
  }
  if (up.Length() < kMathsEpsilon) {
    ErrorLog << "Brannik's trying to make a camera with no orientation.\n";
    throw "You asked for it.";
  }
  Vector3 forward = target - eye;
  forward.Normalize();
  Vector3 right = Vector3::Cross(up, forward);
  right.Normalize();
  if (flipRight) right = -right;
  Vector3 upAxis = Vector3::Cross(forward, right);
  if (flipUp) upAxis = -upAxis;
  const Vector3* axes[3] = {&right, &upAxis, &forward};
  for (int r = 0; r < 3; ++r) {
    dst[r][0] = axes[r]->x;
    dst[r][1] = axes[r]->y;
    dst[r][2] = axes[r]->z;
    dst[r][3] = -Vector3::Dot(*axes[r], eye);
  }
  dst[3][0] = 0.0f;
  dst[3][1] = 0.0f;
  dst[3][2] = 0.0f;
  dst[3][3] = 1.0f;
}

// ---- Projection ------------------------------------------------------------

bool ProjectPoint(Vector3& out, const Matrix4& first, const Matrix4& second, const Viewport& viewport,
                  const Vector3& point) {
  Vector4 t, u;
  Matrix4::TransformVector(t, first, Vector4(point, 1.0f));
  Matrix4::TransformVector(u, second, t);
  if (std::fabs(u.w) < kMathsEpsilon) return false;
  float x = u.x / u.w, y = u.y / u.w, z = u.z / u.w;
  out.x = (1.0f - x) * static_cast<float>(viewport.width) * 0.5f + static_cast<float>(viewport.x);
  out.y = (y + 1.0f) * static_cast<float>(viewport.height) * 0.5f + static_cast<float>(viewport.y);
  out.z = (z + 1.0f) * 0.5f;
  return true;
}

void UnprojectPoint(Vector3& out, const Matrix4& first, const Matrix4& second, const Viewport& viewport,
                    float screenX, float screenY, float depth) {
  Vector4 v(-2.0f * ((screenX - static_cast<float>(viewport.x)) / static_cast<float>(viewport.width) - 0.5f),
            2.0f * ((screenY - static_cast<float>(viewport.y)) / static_cast<float>(viewport.height) - 0.5f), depth,
            1.0f);
  Matrix4 combined;
  Matrix4::Multiply(combined, second, first);
  Matrix4 inverse;
  Matrix4::Inverse(inverse, combined);
  Vector4 t;
  Matrix4::TransformVector(t, inverse, v);
  out = Vector3(t.x / t.w, t.y / t.w, t.z / t.w);
}

bool IntersectRayPlane(const Ray& ray, const Vector3& normal, Vector3& out) {
  float c = Vector3::Dot(ray.direction, normal);
  if (!(std::fabs(c) > kMathsEpsilon)) return false;
  float t = -Vector3::Dot(ray.origin, normal) / c;
  out = ray.origin + ray.direction * t;
  return true;
}

// Single-precision vectors and matrices for the renderer: products,
// determinants, inverse, look-at and perspective matrices, projection of a
// point to the screen and back, and a ray-plane intersection.
//
// Matrix4 is row-major (element (r, c) is m[4 r + c]) and points are column
// vectors: M applied to v is M v. The look-at view matrix is in that form;
// the perspective projection is in the row-vector form Direct3D takes.
#pragma once

// Lengths, determinants and denominators below this count as zero.
constexpr float kMathsEpsilon = 0.00001f;

struct Vector3 {
  float x, y, z;

  Vector3() : x(0), y(0), z(0) {}
  Vector3(float x_, float y_, float z_) : x(x_), y(y_), z(z_) {}

  // Scales to unit length; a (near) zero vector is logged and comes out
  // non-finite.
  void Normalize();
  float Length() const;
  static float Dot(const Vector3& a, const Vector3& b);
  static Vector3 Cross(const Vector3& a, const Vector3& b);

  Vector3 operator+(const Vector3& o) const { return Vector3(x + o.x, y + o.y, z + o.z); }
  Vector3 operator-(const Vector3& o) const { return Vector3(x - o.x, y - o.y, z - o.z); }
  Vector3 operator-() const { return Vector3(-x, -y, -z); }
  Vector3 operator*(float s) const { return Vector3(x * s, y * s, z * s); }
  // Multiplies by the reciprocal.
  Vector3 operator/(float s) const { return *this * (1.0f / s); }
  Vector3& operator*=(float s) {
    x *= s;
    y *= s;
    z *= s;
    return *this;
  }
};

struct Vector4 {
  float x, y, z, w;

  Vector4() : x(0), y(0), z(0), w(0) {}
  Vector4(float x_, float y_, float z_, float w_) : x(x_), y(y_), z(z_), w(w_) {}
  Vector4(const Vector3& v, float w_) : x(v.x), y(v.y), z(v.z), w(w_) {}

  // As a plane (a, b, c, d) of a x + b y + c z + d = 0: the normal is
  // normalised, d places the plane through the point.
  static Vector4 FromNormalAndPoint(const Vector3& normal, const Vector3& point);

  Vector4 operator*(float s) const { return Vector4(x * s, y * s, z * s, w * s); }
  Vector4& operator*=(float s) {
    x *= s;
    y *= s;
    z *= s;
    w *= s;
    return *this;
  }
  // Multiplies by the reciprocal.
  Vector4& operator/=(float s) { return *this *= 1.0f / s; }
  Vector4& operator+=(const Vector4& o) {
    x += o.x;
    y += o.y;
    z += o.z;
    w += o.w;
    return *this;
  }
  Vector4& operator-=(const Vector4& o) {
    x -= o.x;
    y -= o.y;
    z -= o.z;
    w -= o.w;
    return *this;
  }
};

typedef Vector4 Plane;

struct Ray {
  Vector3 origin;
  Vector3 direction;
};

// A viewport as the graphics interface reports it, in pixels.
struct Viewport {
  int x, y, width, height;
};

struct Matrix3 {
  float m[9];

  Matrix3();
  Matrix3(float m0, float m1, float m2, float m3, float m4, float m5, float m6, float m7, float m8);
  float Determinant() const;
};

struct Matrix4 {
  float m[16];

  // All zero.
  Matrix4();
  Matrix4(float m00, float m01, float m02, float m03, float m10, float m11, float m12, float m13, float m20,
          float m21, float m22, float m23, float m30, float m31, float m32, float m33);
  // The value in all 16 elements.
  explicit Matrix4(int value);
  static Matrix4 Identity();

  // Rows and columns exchanged.
  Matrix4 Transposed() const;

  // Row r's four floats.
  float* operator[](int row) { return m + 4 * row; }
  const float* operator[](int row) const { return m + 4 * row; }

  float Determinant() const;

  // dst = a b; dst may be a or b.
  static void Multiply(Matrix4& dst, const Matrix4& a, const Matrix4& b);
  // out = m v.
  static void TransformVector(Vector4& out, const Matrix4& m, const Vector4& v);
  // Gauss-Jordan without row swaps. A singular matrix is logged and throws
  // the C string "Doesn't exist you fool!".
  static void Inverse(Matrix4& dst, const Matrix4& m);
  // Left-handed projection in row-vector form; heightOverWidth is the
  // viewport's height divided by its width.
  static void Perspective(Matrix4& dst, float fieldOfView, float heightOverWidth, float zn, float zf);
  // Left-handed view in column-vector form. Eye on the target, or no up,
  // is logged and throws the C string "You asked for it.".
  static void LookAt(Matrix4& dst, const Vector3& eye, const Vector3& target, const Vector3& up, bool flipUp,
                     bool flipRight);
};

// The world point through first, then second, to viewport pixels (x turned
// by 1 - x, depth mapped to 0..1). False for a point on the camera plane.
bool ProjectPoint(Vector3& out, const Matrix4& first, const Matrix4& second, const Viewport& viewport,
                  const Vector3& point);
// Back from viewport pixels through the inverse of second x first; the
// depth goes in as given.
void UnprojectPoint(Vector3& out, const Matrix4& first, const Matrix4& second, const Viewport& viewport,
                    float screenX, float screenY, float depth);

// The ray against the plane through the origin with the normal; false (out
// untouched) for a ray parallel to it.
bool IntersectRayPlane(const Ray& ray, const Vector3& normal, Vector3& out);

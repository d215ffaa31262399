// Vectors, matrices, the look-at and perspective matrices, projection.
#include <gtest/gtest.h>

#include <cmath>

#include "TestSupport.h"
#include "foundation/Maths.h"

namespace {

const Matrix4 kIdentity(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1);

void ExpectMatrixNear(const Matrix4& actual, const Matrix4& expected, float tolerance, const char* what) {
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(actual.m[i], expected.m[i], tolerance) << what << " element " << i;
}

void ExpectVectorNear(const Vector3& actual, const Vector3& expected, float tolerance) {
  EXPECT_NEAR(actual.x, expected.x, tolerance);
  EXPECT_NEAR(actual.y, expected.y, tolerance);
  EXPECT_NEAR(actual.z, expected.z, tolerance);
}

// The error text with its call-stack lines dropped. The normalising warning
// glues the stack's first frame to its heading, so that line is cut first.
std::string WithoutStack(const std::string& text, const std::string& heading) {
  if (text.compare(0, heading.size(), heading) != 0) return "(missing heading) " + text;
  return heading + MaskCallStacks("\n" + text.substr(heading.size())).substr(1);
}

TEST(Vector3, Operations) {
  Vector3 a(1, 2, 3), b(4, 5, 6);
  ExpectVectorNear(Vector3::Cross(a, b), Vector3(-3, 6, -3), 0);
  ExpectVectorNear(Vector3::Cross(Vector3(1, 0, 0), Vector3(0, 1, 0)), Vector3(0, 0, 1), 0);
  ExpectVectorNear(a + b, Vector3(5, 7, 9), 0);
  ExpectVectorNear(a * 2.0f, Vector3(2, 4, 6), 0);
  ExpectVectorNear(b / 4.0f, Vector3(1, 1.25f, 1.5f), 0);
  Vector3 c = a;
  c *= -1.0f;
  ExpectVectorNear(c, Vector3(-1, -2, -3), 0);
  LogTail errors;
  Vector3 n(3, 0, 4);
  n.Normalize();
  ExpectVectorNear(n, Vector3(0.6f, 0, 0.8f), 1e-7f);
  EXPECT_EQ(errors.Text(), "");
}

TEST(Vector3, NormalizingAZeroVectorIsLoggedAndGoesOnNonFinite) {
  const std::string heading = "Attepmt to divide by 0 while normalizing.\n  -call stack";
  LogTail errors;
  Vector3 zero(0, 0, 0);
  zero.Normalize();
  EXPECT_TRUE(std::isnan(zero.x) && std::isnan(zero.y) && std::isnan(zero.z));
  EXPECT_EQ(WithoutStack(errors.Text(), heading), heading + "\n");
  // Below the tolerance but not zero: logged, and still scaled.
  LogTail tinyErrors;
  Vector3 tiny(0, 0, 0.000001f);
  tiny.Normalize();
  ExpectVectorNear(tiny, Vector3(0, 0, 1), 1e-6f);
  EXPECT_EQ(WithoutStack(tinyErrors.Text(), heading), heading + "\n");
}

TEST(Vector4, OperationsOnAllFourComponents) {
  Vector4 v(Vector3(1, 2, 3), 4);
  Vector4 p = v * 2.0f;
  EXPECT_EQ(p.x, 2);
  EXPECT_EQ(p.w, 8);
  v *= 3.0f;
  EXPECT_EQ(v.y, 6);
  EXPECT_EQ(v.w, 12);
  v /= 4.0f;
  EXPECT_EQ(v.x, 0.75f);
  EXPECT_EQ(v.w, 3);
  v += Vector4(1, 1, 1, 1);
  EXPECT_EQ(v.z, 3.25f);
  EXPECT_EQ(v.w, 4);
  v -= Vector4(0.75f, 1, 1, 5);
  EXPECT_EQ(v.x, 1);
  EXPECT_EQ(v.w, -1);
}

TEST(Plane, FromNormalAndPoint) {
  Plane p = Plane::FromNormalAndPoint(Vector3(0, 0, 2), Vector3(1, 2, 3));
  EXPECT_EQ(p.x, 0);
  EXPECT_EQ(p.y, 0);
  EXPECT_EQ(p.z, 1);
  EXPECT_EQ(p.w, -3);
}

TEST(Matrix, Determinants) {
  EXPECT_EQ(Matrix3(2, -3, 1, 2, 0, -1, 1, 4, 5).Determinant(), 49);
  EXPECT_EQ(Matrix4(1, 0, 0, 0, 0, 2, 0, 0, 0, 0, 3, 0, 0, 0, 0, 4).Determinant(), 24);
  EXPECT_EQ(Matrix4(0, 1, 0, 0, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1).Determinant(), -1);
  EXPECT_EQ(Matrix4(2, 0, 0, 1, 0, 3, 1, 0, 1, 0, 1, 0, 0, 1, 0, 2).Determinant(), 11);
  Matrix4 threes(3);
  EXPECT_EQ(threes[2][1], 3.0f);
  EXPECT_EQ(threes.Determinant(), 0);
}

TEST(Matrix, IdentityAndTransposition) {
  ExpectMatrixNear(Matrix4::Identity(), kIdentity, 0, "identity");
  const Matrix4 m(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16);
  ExpectMatrixNear(m.Transposed(), Matrix4(1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15, 4, 8, 12, 16), 0, "transposed");
}

TEST(Matrix, MultiplyIsTheOrdinaryProductAndMayOverwriteAnOperand) {
  Matrix4 translate(1, 0, 0, 10, 0, 1, 0, 20, 0, 0, 1, 30, 0, 0, 0, 1);
  Matrix4 scale(2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 1);
  Matrix4 product;
  Matrix4::Multiply(product, translate, scale);
  // b first, then a: scaled, then moved.
  Vector4 moved;
  Matrix4::TransformVector(moved, product, Vector4(1, 1, 1, 1));
  EXPECT_EQ(moved.x, 12);
  EXPECT_EQ(moved.y, 22);
  EXPECT_EQ(moved.z, 32);
  EXPECT_EQ(moved.w, 1);

  Matrix4 a(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16);
  Matrix4 b(2, 0, 1, 0, 1, 3, 0, 1, 0, 1, 2, 0, 1, 0, 0, 1);
  Matrix4 fresh;
  Matrix4::Multiply(fresh, a, b);
  ExpectMatrixNear(fresh, Matrix4(8, 9, 7, 6, 24, 25, 19, 14, 40, 41, 31, 22, 56, 57, 43, 30), 0, "a x b");
  Matrix4 intoA = a;
  Matrix4::Multiply(intoA, intoA, b);
  ExpectMatrixNear(intoA, fresh, 0, "dst = a");
  Matrix4 intoB = b;
  Matrix4::Multiply(intoB, a, intoB);
  ExpectMatrixNear(intoB, fresh, 0, "dst = b");
  Matrix4 squared = a;
  Matrix4::Multiply(squared, squared, squared);
  Matrix4 expectedSquare;
  Matrix4::Multiply(expectedSquare, a, a);
  ExpectMatrixNear(squared, expectedSquare, 0, "dst = a = b");
}

TEST(Matrix, InverseOfAGeneralMatrix) {
  Matrix4 m(2, 0, 0, 1, 0, 3, 1, 0, 1, 0, 1, 0, 0, 1, 0, 2);
  Matrix4 inverse, product;
  Matrix4::Inverse(inverse, m);
  Matrix4::Multiply(product, m, inverse);
  ExpectMatrixNear(product, kIdentity, 1e-6f, "m x inverse");
  Matrix4::Multiply(product, inverse, m);
  ExpectMatrixNear(product, kIdentity, 1e-6f, "inverse x m");
}

TEST(Matrix, InverseWithAZeroPivotAddsRowsInsteadOfSwapping) {
  Matrix4 swap(0, 1, 0, 0, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1);
  Matrix4 inverse;
  Matrix4::Inverse(inverse, swap);
  ExpectMatrixNear(inverse, swap, 0, "swap");
  Matrix4 m(0, 2, 0, 0, 0, 0, 3, 0, 4, 0, 0, 0, 0, 0, 0, 5);
  Matrix4 product;
  Matrix4::Inverse(inverse, m);
  Matrix4::Multiply(product, m, inverse);
  ExpectMatrixNear(product, kIdentity, 1e-6f, "m x inverse");
}

TEST(Matrix, InverseOfASingularMatrixIsLoggedAndThrows) {
  LogTail errors;
  Matrix4 singular(1, 2, 3, 4, 2, 4, 6, 8, 0, 0, 1, 0, 0, 0, 0, 1);
  Matrix4 dst(7);
  const char* thrown = nullptr;
  try {
    Matrix4::Inverse(dst, singular);
  } catch (const char* text) {
    thrown = text;
  }
  ASSERT_NE(thrown, nullptr);
  EXPECT_STREQ(thrown, "Doesn't exist you fool!");
  EXPECT_EQ(errors.Text(), "Attempt to take the inverse of a matrix that doesn't have an inverse.\n");
  EXPECT_EQ(dst[0][0], 7.0f);
}

TEST(Matrix, PerspectiveIsInRowVectorForm) {
  Matrix4 p(9);
  Matrix4::Perspective(p, 0.7853982f, 0.75f, 1.0f, 100.0f);
  const float f = 2.41421356f;  // 1 / tan(pi / 8)
  Matrix4 expected(f * 0.75f, 0, 0, 0, 0, f, 0, 0, 0, 0, 100.0f / 99.0f, 1, 0, 0, -100.0f / 99.0f, 0);
  ExpectMatrixNear(p, expected, 2e-6f, "perspective");
}

TEST(Matrix, LookAtAlongTheZAxisWithAndWithoutFlips) {
  struct Case {
    bool flipUp, flipRight;
    float right, up;
  } cases[] = {{false, false, 1, 1}, {false, true, -1, -1}, {true, false, 1, -1}, {true, true, -1, 1}};
  LogTail errors;
  for (const Case& c : cases) {
    Matrix4 view;
    Matrix4::LookAt(view, Vector3(0, 0, -10), Vector3(0, 0, 0), Vector3(0, 1, 0), c.flipUp, c.flipRight);
    Matrix4 expected(c.right, 0, 0, 0, 0, c.up, 0, 0, 0, 0, 1, 10, 0, 0, 0, 1);
    ExpectMatrixNear(view, expected, 0, c.flipUp ? (c.flipRight ? "both" : "up") : (c.flipRight ? "right" : "none"));
  }
  EXPECT_EQ(errors.Text(), "");
}

TEST(Matrix, LookAtPutsTheEyeAtTheOriginAndTheTargetAhead) {
  Vector3 eye(3, 4, 5), target(1, -1, 2);
  Matrix4 view;
  Matrix4::LookAt(view, eye, target, Vector3(0, 0, 1), false, false);
  Vector4 e, t;
  Matrix4::TransformVector(e, view, Vector4(eye, 1));
  Matrix4::TransformVector(t, view, Vector4(target, 1));
  EXPECT_NEAR(e.x, 0, 1e-5f);
  EXPECT_NEAR(e.y, 0, 1e-5f);
  EXPECT_NEAR(e.z, 0, 1e-5f);
  EXPECT_NEAR(t.x, 0, 1e-5f);
  EXPECT_NEAR(t.y, 0, 1e-5f);
  EXPECT_NEAR(t.z, (eye - target).Length(), 1e-5f);
  // Left-handed: the camera's up axis keeps the world's up above the view.
  EXPECT_GT(view[1][2], 0);
}

TEST(Matrix, DegenerateLookAtIsLoggedAndThrows) {
  struct Case {
    Vector3 eye, target, up;
    const char* message;
  } cases[] = {
      {Vector3(1, 1, 1), Vector3(1, 1, 1.000001f), Vector3(0, 1, 0),
       "Brannik's making another attempt to construct a singularity camera.\n"},
      {Vector3(0, 0, -10), Vector3(0, 0, 0), Vector3(0, 0, 0),
       "Brannik's trying to make a camera with no orientation.\n"},
  };
  for (const Case& c : cases) {
    LogTail errors;
    Matrix4 view;
    const char* thrown = nullptr;
    try {
      Matrix4::LookAt(view, c.eye, c.target, c.up, false, false);
    } catch (const char* text) {
      thrown = text;
    }
    ASSERT_NE(thrown, nullptr) << c.message;
    EXPECT_STREQ(thrown, "You asked for it.");
    EXPECT_EQ(errors.Text(), c.message);
  }
}

TEST(Projection, ProjectPointMapsToViewportPixels) {
  // With identity matrices the mapping itself shows: x turned, depth to 0..1.
  Vector3 out;
  ASSERT_TRUE(ProjectPoint(out, kIdentity, kIdentity, Viewport{0, 0, 800, 600}, Vector3(0.5f, -0.5f, 0.2f)));
  ExpectVectorNear(out, Vector3(200, 150, 0.6f), 1e-6f);
  ASSERT_TRUE(ProjectPoint(out, kIdentity, kIdentity, Viewport{10, 20, 100, 50}, Vector3(-1, 1, -1)));
  ExpectVectorNear(out, Vector3(110, 70, 0), 1e-6f);
}

TEST(Projection, APointOnTheCameraPlaneDoesNotProject) {
  Matrix4 wFromZ(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 1, 0);
  Vector3 out(7, 8, 9);
  EXPECT_FALSE(ProjectPoint(out, kIdentity, wFromZ, Viewport{0, 0, 800, 600}, Vector3(3, 4, 0)));
  ExpectVectorNear(out, Vector3(7, 8, 9), 0);
}

TEST(Projection, UnprojectPointTakesTheDepthAsGiven) {
  Vector3 out;
  UnprojectPoint(out, kIdentity, kIdentity, Viewport{0, 0, 800, 600}, 200, 150, 0.6f);
  ExpectVectorNear(out, Vector3(0.5f, -0.5f, 0.6f), 1e-6f);
}

class WorldCamera : public testing::Test {
 protected:
  void SetUp() override {
    Matrix4::LookAt(view_, eye_, Vector3(0, 0, 0), Vector3(0, 1, 0), false, false);
    Matrix4::Perspective(projection_, 0.7853982f, 600.0f / 800.0f, 1.0f, 100.0f);
  }
  Vector3 eye_{0, 0, -10};
  Matrix4 view_, projection_;
  Viewport viewport_{0, 0, 800, 600};
};

TEST_F(WorldCamera, APointStraightAheadProjectsToTheViewportCentre) {
  Vector3 out;
  ASSERT_TRUE(ProjectPoint(out, view_, projection_, viewport_, Vector3(0, 0, 0)));
  EXPECT_NEAR(out.x, 400, 1e-4f);
  EXPECT_NEAR(out.y, 300, 1e-4f);
}

TEST_F(WorldCamera, TheViewportCentreUnprojectsOntoTheViewAxis) {
  Vector3 nearPoint, farPoint;
  UnprojectPoint(nearPoint, view_, projection_, viewport_, 400, 300, 0);
  UnprojectPoint(farPoint, view_, projection_, viewport_, 400, 300, 1);
  for (const Vector3& p : {nearPoint, farPoint}) {
    EXPECT_NEAR(p.x, 0, 1e-4f);
    EXPECT_NEAR(p.y, 0, 1e-4f);
  }
  EXPECT_GT(std::fabs(nearPoint.z - farPoint.z), 0.1f);
}

TEST_F(WorldCamera, UnprojectUndoesProjectWhenTheDepthIsMappedBack) {
  for (const Vector3& p : {Vector3(1, 2, 3), Vector3(-2.5f, 0.5f, 10), Vector3(0.25f, -3, -4)}) {
    Vector3 screen, back;
    ASSERT_TRUE(ProjectPoint(screen, view_, projection_, viewport_, p));
    UnprojectPoint(back, view_, projection_, viewport_, screen.x, screen.y, screen.z * 2 - 1);
    ExpectVectorNear(back, p, 1e-3f);
  }
}

TEST(IntersectRayPlane, HitsAndParallelMisses) {
  Vector3 out;
  ASSERT_TRUE(IntersectRayPlane(Ray{Vector3(0, 0, 5), Vector3(0, 0, -1)}, Vector3(0, 0, 1), out));
  ExpectVectorNear(out, Vector3(0, 0, 0), 0);
  ASSERT_TRUE(IntersectRayPlane(Ray{Vector3(1, 2, 5), Vector3(1, 0, -1)}, Vector3(0, 0, 1), out));
  ExpectVectorNear(out, Vector3(6, 2, 0), 0);
  ASSERT_TRUE(IntersectRayPlane(Ray{Vector3(1, 2, -4), Vector3(0, 0, 2)}, Vector3(0, 0, 1), out));
  ExpectVectorNear(out, Vector3(1, 2, 0), 0);
  Vector3 untouched(7, 8, 9);
  EXPECT_FALSE(IntersectRayPlane(Ray{Vector3(0, 0, 5), Vector3(1, 0, 0)}, Vector3(0, 0, 1), untouched));
  EXPECT_FALSE(IntersectRayPlane(Ray{Vector3(0, 0, 5), Vector3(1, 0, 0.000001f)}, Vector3(0, 0, 1), untouched));
  ExpectVectorNear(untouched, Vector3(7, 8, 9), 0);
}

}  // namespace

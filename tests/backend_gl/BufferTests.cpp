// Vertex and index buffers: formats bound as client arrays, draws, locks,
// the current buffers and their messages.
#include <GL/gl.h>
#include <GL/glext.h>

#include <cstdint>
#include <cstring>

#include "GLTestSupport.h"
#include "graphics/DeviceCallbacks.h"
#include "graphics/RenderState.h"
#include "graphics/VertexBuffer.h"

namespace {

struct ColoredVertex {
  float x, y, z;
  unsigned color;
};

const G::VertexFormat kColoredFormat = {{G::kFloat3, G::kUsePosition}, {G::kPackedColor, G::kUseColor}};

class BufferTest : public GL2DTest {
 protected:
  // A quad (four vertices, clockwise from the top-left) in one colour.
  void MakeQuad(G::VertexBuffer& buffer, float x1, float y1, float x2, float y2, unsigned color) {
    ASSERT_TRUE(buffer.Create(4, kColoredFormat, sizeof(ColoredVertex), false, true));
    G::VertexBufferLock lock(buffer, false);
    void* data = nullptr;
    ASSERT_TRUE(lock.GetData(&data));
    const ColoredVertex vertices[4] = {{x1, y1, 0, color}, {x2, y1, 0, color}, {x2, y2, 0, color}, {x1, y2, 0, color}};
    std::memcpy(data, vertices, sizeof vertices);
  }

  void MakeQuadIndices(G::IndexBuffer& indices) {
    ASSERT_TRUE(indices.Create(6, false, true));
    G::IndexBufferLock lock(indices, false);
    void* data = nullptr;
    ASSERT_TRUE(lock.GetData(&data));
    const unsigned short quad[6] = {0, 1, 2, 0, 2, 3};
    std::memcpy(data, quad, sizeof quad);
  }
};

TEST_F(BufferTest, BuffersDrawTheirTrianglesInTheirColours) {
  G::VertexBuffer quad;
  MakeQuad(quad, 100, 100, 300, 300, 0xFFFF0000u);
  EXPECT_TRUE(quad.Record()->written);
  quad.Set();
  G::RenderTris(1, 0);
  EXPECT_EQ(Rgb(ReadPixel(250, 150)), 0xFF0000u);
  EXPECT_EQ(Rgb(ReadPixel(150, 250)), 0x000000u);

  G::IndexBuffer indices;
  MakeQuadIndices(indices);
  G::VertexBuffer green;
  MakeQuad(green, 400, 100, 600, 300, 0xFF00FF00u);
  green.Set();
  indices.Set();
  G::RenderIndTris(2);
  EXPECT_EQ(Rgb(ReadPixel(450, 250)), 0x00FF00u);
  EXPECT_EQ(Rgb(ReadPixel(550, 150)), 0x00FF00u);

  // Lines and points read from vertex 0.
  G::VertexBuffer blue;
  MakeQuad(blue, 100.5f, 400.5f, 300.5f, 500.5f, 0xFF0000FFu);
  blue.Set();
  G::RenderLines(1);
  EXPECT_EQ(Rgb(ReadPixel(200, 400)), 0x0000FFu);
  EXPECT_EQ(Rgb(ReadPixel(200, 500)), 0x000000u);
  G::RenderPoints(4);
  EXPECT_EQ(Rgb(ReadPixel(100, 500)), 0x0000FFu);
}

TEST_F(BufferTest, TheFormatBecomesOneArrayPerElement) {
  const G::VertexFormat format = {{G::kFloat3, G::kUsePosition},
                                  {G::kPackedColor, G::kUseColor},
                                  {G::kFloat2, G::kUseTexCoord},
                                  {G::kFloat2, G::kUseTexCoord}};
  G::VertexBuffer buffer;
  ASSERT_TRUE(buffer.Create(4, format, 32, false, true));
  buffer.Set();
  auto integer = [](GLenum name) {
    GLint value = 0;
    glGetIntegerv(name, &value);
    return value;
  };
  auto offset = [](GLenum name) {
    void* pointer = nullptr;
    glGetPointerv(name, &pointer);
    return static_cast<int>(reinterpret_cast<uintptr_t>(pointer));
  };
  EXPECT_TRUE(glIsEnabled(GL_VERTEX_ARRAY));
  EXPECT_EQ(integer(GL_VERTEX_ARRAY_SIZE), 3);
  EXPECT_EQ(integer(GL_VERTEX_ARRAY_STRIDE), 32);
  EXPECT_EQ(offset(GL_VERTEX_ARRAY_POINTER), 0);
  EXPECT_TRUE(glIsEnabled(GL_COLOR_ARRAY));
  EXPECT_EQ(integer(GL_COLOR_ARRAY_SIZE), GL_BGRA);
  EXPECT_EQ(integer(GL_COLOR_ARRAY_TYPE), GL_UNSIGNED_BYTE);
  EXPECT_EQ(offset(GL_COLOR_ARRAY_POINTER), 12);
  EXPECT_FALSE(glIsEnabled(GL_NORMAL_ARRAY));
  auto clientActive = reinterpret_cast<PFNGLCLIENTACTIVETEXTUREARBPROC>(DriverEntryPoint("glClientActiveTextureARB"));
  for (int unit = 0; unit < 3; ++unit) {
    clientActive(GL_TEXTURE0_ARB + unit);
    EXPECT_EQ(glIsEnabled(GL_TEXTURE_COORD_ARRAY), unit < 2) << unit;
    if (unit < 2) {
      EXPECT_EQ(integer(GL_TEXTURE_COORD_ARRAY_SIZE), 2);
      EXPECT_EQ(offset(GL_TEXTURE_COORD_ARRAY_POINTER), 16 + 8 * unit);
    }
  }

  // A normal and float colours.
  const G::VertexFormat other = {{G::kFloat3, G::kUsePosition}, {G::kFloat3, G::kUseNormal}, {G::kFloat4, G::kUseColor}};
  G::VertexBuffer second;
  ASSERT_TRUE(second.Create(4, other, 40, false, true));
  second.Set();
  EXPECT_TRUE(glIsEnabled(GL_NORMAL_ARRAY));
  EXPECT_EQ(offset(GL_NORMAL_ARRAY_POINTER), 12);
  EXPECT_EQ(integer(GL_COLOR_ARRAY_SIZE), 4);
  EXPECT_EQ(integer(GL_COLOR_ARRAY_TYPE), GL_FLOAT);
  EXPECT_EQ(offset(GL_COLOR_ARRAY_POINTER), 24);
  clientActive(GL_TEXTURE0_ARB);
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_COORD_ARRAY));
}

int s_bindCalls;
void APIENTRY CountBinds(GLenum target, GLuint buffer) {
  ++s_bindCalls;
  reinterpret_cast<PFNGLBINDBUFFERARBPROC>(DriverEntryPoint("glBindBufferARB"))(target, buffer);
}

TEST_F(BufferTest, SettingTheCurrentBufferAgainBindsNothing) {
  ReplaceEntryPoint("glBindBufferARB", reinterpret_cast<void*>(&CountBinds));
  Restart(WindowedSetup());
  StartBlack2D();
  G::VertexBuffer buffer;
  MakeQuad(buffer, 100, 100, 300, 300, 0xFFFF0000u);
  buffer.Set();
  s_bindCalls = 0;
  LogTail errors;
  buffer.Set();
  EXPECT_EQ(s_bindCalls, 0);
  // Unbound behind its back: it notices and binds again.
  reinterpret_cast<PFNGLBINDBUFFERARBPROC>(DriverEntryPoint("glBindBufferARB"))(GL_ARRAY_BUFFER_ARB, 0);
  buffer.Set();
  EXPECT_EQ(errors.Text(), "VB was still set but it's binding was not.. I caught it though.. phew\n");
  EXPECT_GT(s_bindCalls, 0);
  G::RenderTris(1, 0);
  EXPECT_EQ(Rgb(ReadPixel(250, 150)), 0xFF0000u);
}

TEST_F(BufferTest, DrawsWithoutBuffersAreLoggedAndSkipped) {
  struct Case {
    void (*draw)();
    const char* message;
  } cases[] = {
      {[] { G::RenderTris(1, 0); }, "Error: Call to RenderTris, but no vertex buffer is set.\n"},
      {[] { G::RenderIndTris(1); }, "Error: Call to RenderIndTris, but no vertex buffer is set.\n"},
      {[] { G::RenderLines(1); }, "Error: Call to RenderLines, but no vertex buffer is set.\n"},
      {[] { G::RenderPoints(1); }, "Error: Call to RenderPoints, but no vertex buffer is set.\n"},
  };
  for (const Case& c : cases) {
    LogTail errors;
    c.draw();
    EXPECT_EQ(errors.Text(), c.message);
  }
  G::VertexBuffer quad;
  MakeQuad(quad, 100, 100, 300, 300, 0xFFFF0000u);
  quad.Set();
  LogTail errors;
  G::RenderIndTris(2);
  EXPECT_EQ(errors.Text(), "Error: Call to RenderIndTris, but no index buffer is set.\n");
  EXPECT_EQ(Rgb(ReadPixel(250, 150)), 0x000000u);
}

TEST_F(BufferTest, LocksAndImmediateModeLeaveNoCurrentBuffers) {
  G::VertexBuffer quad;
  MakeQuad(quad, 100, 100, 300, 300, 0xFFFF0000u);
  G::IndexBuffer indices;
  MakeQuadIndices(indices);
  quad.Set();
  indices.Set();
  { G::VertexBufferLock lock(quad, false); }
  LogTail afterLock;
  G::RenderTris(1, 0);
  EXPECT_EQ(afterLock.Text(), "Error: Call to RenderTris, but no vertex buffer is set.\n");

  // Immediate mode unbinds both buffers: an indexed draw after it must not
  // read indices from nowhere.
  quad.Set();
  indices.Set();
  G::IMBegin(G::kPrimitivePoints);
  G::IMPosition2(5, 5);
  G::IMEnd();
  LogTail afterImmediate;
  G::RenderIndTris(2);
  EXPECT_EQ(afterImmediate.Text(), "Error: Call to RenderIndTris, but no vertex buffer is set.\n");
  quad.Set();
  LogTail noIndices;
  G::RenderIndTris(2);
  EXPECT_EQ(noIndices.Text(), "Error: Call to RenderIndTris, but no index buffer is set.\n");
  EXPECT_EQ(Rgb(ReadPixel(250, 150)), 0x000000u);
  indices.Set();
  G::RenderIndTris(2);
  EXPECT_EQ(Rgb(ReadPixel(250, 150)), 0xFF0000u);

  // An index lock unsets the index buffer too; a released buffer is no
  // longer current.
  { G::IndexBufferLock lock(indices, false); }
  LogTail afterIndexLock;
  G::RenderIndTris(2);
  EXPECT_EQ(afterIndexLock.Text(), "Error: Call to RenderIndTris, but no index buffer is set.\n");
  quad.SRFree();
  LogTail afterFree;
  G::RenderTris(1, 0);
  EXPECT_EQ(afterFree.Text(), "Error: Call to RenderTris, but no vertex buffer is set.\n");
}

TEST_F(BufferTest, LocksOfEmptyBuffersWarnAndUnlockNothing) {
  G::VertexBuffer vertices;
  G::IndexBuffer indices;
  LogTail errors;
  {
    G::VertexBufferLock vertexLock(vertices, true);
    G::IndexBufferLock indexLock(indices, true);
    void* data = reinterpret_cast<void*>(1);
    EXPECT_FALSE(vertexLock.GetData(&data));
    EXPECT_FALSE(indexLock.GetData(&data));
  }
  EXPECT_EQ(MaskCallStacks(errors.Text()),
            "Warning: attempt to lock a non-allocated vertex buffer.\n  -call stack:\n\n"
            "Warning: attempt to lock a non-allocated index buffer.\n  -call stack:\n\n");
  LogTail sets;
  vertices.Set();
  indices.Set();
  EXPECT_EQ(MaskCallStacks(sets.Text()),
            "Attempt to Set a VertexBuffer that doesn't exist.\n  -call stack:\n\n"
            "Attempt to Set an IndexBuffer that doesn't exist.\n  -call stack:\n\n");
}

GLboolean APIENTRY UnmapFails(GLenum target) {
  reinterpret_cast<PFNGLUNMAPBUFFERARBPROC>(DriverEntryPoint("glUnmapBufferARB"))(target);
  return GL_FALSE;
}

TEST_F(BufferTest, ADamagedMappingIsReported) {
  ReplaceEntryPoint("glUnmapBufferARB", reinterpret_cast<void*>(&UnmapFails));
  Restart(WindowedSetup());
  G::VertexBuffer vertices;
  G::IndexBuffer indices;
  ASSERT_TRUE(vertices.Create(4, kColoredFormat, 16, false, true));
  ASSERT_TRUE(indices.Create(6, false, true));
  LogTail errors;
  { G::VertexBufferLock lock(vertices, false); }
  { G::IndexBufferLock lock(indices, false); }
  EXPECT_EQ(MaskCallStacks(errors.Text()),
            "Warning... contents of vertex buffer damaged during mapping.\n  -call stack:\n\n"
            "Warning... contents of index buffer damaged during mapping.\n  -call stack:\n\n");
}

TEST_F(BufferTest, UsageFollowsTheFlagsAndReadableBuffersReadBack) {
  struct Case {
    bool dynamic, writeOnly;
    GLint usage;
  } cases[] = {{true, true, GL_DYNAMIC_DRAW_ARB},
               {true, false, GL_DYNAMIC_COPY_ARB},
               {false, true, GL_STATIC_DRAW_ARB},
               {false, false, GL_STATIC_COPY_ARB}};
  auto getParameter = reinterpret_cast<PFNGLGETBUFFERPARAMETERIVARBPROC>(DriverEntryPoint("glGetBufferParameterivARB"));
  for (const Case& c : cases) {
    G::VertexBuffer vertices;
    ASSERT_TRUE(vertices.Create(4, kColoredFormat, 16, c.dynamic, c.writeOnly));
    vertices.Set();
    GLint usage = 0, size = 0;
    getParameter(GL_ARRAY_BUFFER_ARB, GL_BUFFER_USAGE_ARB, &usage);
    getParameter(GL_ARRAY_BUFFER_ARB, GL_BUFFER_SIZE_ARB, &size);
    EXPECT_EQ(usage, c.usage);
    EXPECT_EQ(size, 64);
    G::IndexBuffer indices;
    ASSERT_TRUE(indices.Create(5, c.dynamic, c.writeOnly));
    indices.Set();
    getParameter(GL_ELEMENT_ARRAY_BUFFER_ARB, GL_BUFFER_USAGE_ARB, &usage);
    getParameter(GL_ELEMENT_ARRAY_BUFFER_ARB, GL_BUFFER_SIZE_ARB, &size);
    EXPECT_EQ(usage, c.usage);
    EXPECT_EQ(size, 10);
  }
  // A buffer that is not write-only is mapped for reading too.
  G::IndexBuffer readable;
  ASSERT_TRUE(readable.Create(4, false, false));
  {
    G::IndexBufferLock lock(readable, false);
    void* data = nullptr;
    ASSERT_TRUE(lock.GetData(&data));
    const unsigned short values[4] = {7, 8, 9, 65535};
    std::memcpy(data, values, sizeof values);
  }
  {
    G::IndexBufferLock lock(readable, false);
    void* data = nullptr;
    ASSERT_TRUE(lock.GetData(&data));
    const unsigned short* values = static_cast<const unsigned short*>(data);
    EXPECT_EQ(values[0], 7);
    EXPECT_EQ(values[3], 65535);
  }
}

GLvoid APIENTRY GenNoBuffers(GLsizei n, GLuint* names) {
  for (GLsizei i = 0; i < n; ++i) names[i] = 0;
}

TEST_F(BufferTest, FailedCreationsLeaveEmptyHandles) {
  G::VertexBuffer vertices;
  LogTail errors;
  EXPECT_FALSE(vertices.Create(-1, kColoredFormat, 16, false, true));
  EXPECT_EQ(MaskCallStacks(errors.Text()),
            "Error making Vertex Buffer:\nA numeric argument had an invalid value.\n  -call stack:\n\n");
  EXPECT_EQ(vertices.Record(), nullptr);

  ReplaceEntryPoint("glGenBuffersARB", reinterpret_cast<void*>(&GenNoBuffers));
  Restart(WindowedSetup());
  G::IndexBuffer indices;
  LogTail noNames;
  EXPECT_FALSE(vertices.Create(4, kColoredFormat, 16, false, true));
  EXPECT_FALSE(indices.Create(4, false, true));
  EXPECT_EQ(noNames.Text(), "glGenBuffersARB failed... so can't make VB.\nglGenBuffersARB failed... so can't make IB.\n");
  EXPECT_EQ(vertices.Record(), nullptr);
  EXPECT_EQ(indices.Record(), nullptr);
}

TEST_F(BufferTest, IndexBufferDeviceHandlersOnlyLog) {
  G::IndexBuffer indices;
  MakeQuadIndices(indices);
  LogTail errors;
  G::IndexBuffer::HandleDeviceLost();
  G::IndexBuffer::HandleDeviceRestored();
  EXPECT_EQ(errors.Text(),
            "IndexBuffer::HandleDeviceLost not implemented yet...\n"
            "IndexBuffer::HandleDeviceRestored not implemented yet...\n");
  // Create registers neither, and the buffer keeps its contents.
  LogTail fired;
  G::SetDeviceLost(true);
  G::SetDeviceLost(false);
  EXPECT_EQ(fired.Text(), "");
  G::IndexBufferLock lock(indices, false);
  void* data = nullptr;
  ASSERT_TRUE(lock.GetData(&data));
  EXPECT_EQ(static_cast<const unsigned short*>(data)[5], 3);
}

}  // namespace

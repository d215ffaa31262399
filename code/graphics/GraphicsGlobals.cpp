// The graphics foundation's globals of the start-up table, built in the
// table's order (rows 17, 39, 42-50, 54). This file is always linked: it
// defines the registries every shared resource uses and the callback lists
// every backend's Shutdown fires.
#include <cstdlib>

#include "foundation/StartupOrder.h"
#include "graphics/DeviceCallbacks.h"
#include "graphics/Font.h"
#include "graphics/GraphicsLock.h"
#include "graphics/RenderState.h"
#include "graphics/RenderTexture.h"
#include "graphics/Shader.h"
#include "graphics/Texture.h"
#include "graphics/VertexBuffer.h"

namespace G {

QV_STARTUP_MARK(kRowTextureRecords, "g_textureRecords");
std::list<TextureRecord*> g_textureRecords QV_STARTUP(kRowTextureRecords);

QV_STARTUP_MARK(kRowImmediateVertices, "ImmediateVertices");
std::vector<IMVertex> g_immediateVertices QV_STARTUP(kRowImmediateVertices);

QV_STARTUP_MARK(kRowVertexBufferRecords, "g_vertexBufferRecords");
std::list<VertexBufferRecord*> g_vertexBufferRecords QV_STARTUP(kRowVertexBufferRecords);

QV_STARTUP_MARK(kRowIndexBufferRecords, "g_indexBufferRecords");
std::list<IndexBufferRecord*> g_indexBufferRecords QV_STARTUP(kRowIndexBufferRecords);

QV_STARTUP_MARK(kRowRenderTextureRecords, "g_renderTextureRecords");
std::list<RenderTextureRecord*> g_renderTextureRecords QV_STARTUP(kRowRenderTextureRecords);

QV_STARTUP_MARK(kRowFontTextures, "g_fontTextures");
std::list<FontTexture> g_fontTextures QV_STARTUP(kRowFontTextures);

QV_STARTUP_MARK(kRowDeviceLostCallbacks, "DeviceLostCallbacks");
std::list<DeviceCallback> DeviceLostCallbacks QV_STARTUP(kRowDeviceLostCallbacks);

QV_STARTUP_MARK(kRowDeviceRestoredCallbacks, "DeviceRestoredCallbacks");
std::list<DeviceCallback> DeviceRestoredCallbacks QV_STARTUP(kRowDeviceRestoredCallbacks);

QV_STARTUP_MARK(kRowShutdownCallbacks, "ShutdownCallbacks");
std::list<DeviceCallback> ShutdownCallbacks QV_STARTUP(kRowShutdownCallbacks);

namespace {
// Registered for teardown only: the automatic shut-down runs at exit, after
// the later rows are gone.
struct AutoShutdownRegistration {
  AutoShutdownRegistration() { std::atexit(&AutoShutdownAtExit); }
};
QV_STARTUP_MARK(kRowAutoShutdown, "AutoShutdownAtExit");
AutoShutdownRegistration s_autoShutdownRegistration QV_STARTUP(kRowAutoShutdown);
}  // namespace

}  // namespace G

QV_STARTUP_MARK(kRowGraphicsLock, "g_graphicsLock");
PersistentCriticalSection g_graphicsLock QV_STARTUP(kRowGraphicsLock);

namespace G {

QV_STARTUP_MARK(kRowShaderFiles, "g_shaderFiles");
ShaderFileRegistry g_shaderFiles QV_STARTUP(kRowShaderFiles);

}  // namespace G

template <>
std::list<G::TextureRecord*>& SharedResource<G::TextureRecord>::Registry() {
  return G::g_textureRecords;
}
template <>
std::list<G::VertexBufferRecord*>& SharedResource<G::VertexBufferRecord>::Registry() {
  return G::g_vertexBufferRecords;
}
template <>
std::list<G::IndexBufferRecord*>& SharedResource<G::IndexBufferRecord>::Registry() {
  return G::g_indexBufferRecords;
}
template <>
std::list<G::RenderTextureRecord*>& SharedResource<G::RenderTextureRecord>::Registry() {
  return G::g_renderTextureRecords;
}

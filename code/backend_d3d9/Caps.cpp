// The capability check run once before Init: the system report, Direct3D 9
// itself, the driver's age and the card's capabilities in the statistics
// log, and from them the vertex-processing mode and the backend's flags.
#include "backend_d3d9/D3D9Backend.h"
#include "foundation/LogFile.h"
#include "foundation/SystemReport.h"

namespace DXG {

// Shown when Direct3D 9 cannot be created at all.
const char kDirectXMissingNotice[] =
    "DirectX9.0c or greater is required to run this program.\n"
    "Older versions of DirectX (including DirectX9.0b) will not work.\n"
    "You can download the latest DirectX runtime from:\n"
    "http://www.microsoft.com/directx/\n";
static_assert(sizeof kDirectXMissingNotice == 206, "the notice is 205 characters");

namespace {

// Drivers older than the first release that ran the program well on each
// vendor's cards (6.14.10.6599 and 6.14.10.7777).
bool IsOldDriver(const D3DADAPTER_IDENTIFIER9& id) {
  unsigned threshold;
  if (id.VendorId == 0x1002)
    threshold = 0xA19C7;
  else if (id.VendorId == 0x10DE)
    threshold = 0xA1E61;
  else
    return false;
  long high = id.DriverVersion.HighPart;
  unsigned low = id.DriverVersion.LowPart;
  return high < 0x6000E || (high == 0x6000E && low < threshold);
}

void ReportCaps(const D3DCAPS9& caps, int& vertexProcessing) {
  if (caps.DevCaps & D3DDEVCAPS_HWTRANSFORMANDLIGHT) {
    vertexProcessing = 1;
    StatLog << "Hardware TnL support detected.\n";
  } else {
    vertexProcessing = 0;
    StatLog << "Video card does NOT support Hardware TnL.\n";
  }

  int pixelMajor = D3DSHADER_VERSION_MAJOR(caps.PixelShaderVersion);
  g_d3d.pixelShadersAllowed = pixelMajor > 0;
  if (pixelMajor > 0) {
    StatLog << "Hardware PS version: " << pixelMajor << "\n";
  } else {
    StatLog << "Video card does NOT support pixel shaders.\n";
  }

  int vertexMajor = D3DSHADER_VERSION_MAJOR(caps.VertexShaderVersion);
  g_d3d.vertexShaderMajor = vertexMajor;
  if (vertexMajor >= 3) {
    vertexProcessing = 2;
    StatLog << "Hardware VS version: " << vertexMajor << "\n";
  } else if (vertexMajor >= 1) {
    vertexProcessing = 1;
    StatLog << "Hardware VS version: " << vertexMajor << "\n";
  } else {
    StatLog << "Video card does NOT support vertex shaders... will use software vertex processing\n";
    vertexProcessing = 0;
  }

  StatLog << ((caps.TextureCaps & D3DPTEXTURECAPS_CUBEMAP) ? "Cube Maps supported.\n" : "Cube maps NOT supported.\n");
  StatLog << "Max texture dimesnions: " << static_cast<int>(caps.MaxTextureWidth) << " x "
          << static_cast<int>(caps.MaxTextureHeight) << "\n";

  if (caps.TextureCaps & D3DPTEXTURECAPS_VOLUMEMAP) {
    StatLog << "3D textures supported.\n";
    StatLog << ((caps.TextureCaps & D3DPTEXTURECAPS_VOLUMEMAP_POW2) ? "  -MUST be power of 2 dimensions\n"
                                                                     : "  -power of 2 dimensions not required\n");
    int extent = static_cast<int>(caps.MaxVolumeExtent);
    StatLog << "  -max 3D texture dimensions: " << extent << " x " << extent << " x " << extent << "\n";
    g_d3d.volumeTextures = true;
  } else {
    StatLog << "3D textures NOT supported.\n";
    g_d3d.volumeTextures = false;
  }

  StatLog << "Max vertex stearms supported: ";
  if (caps.MaxStreams)
    StatLog << static_cast<int>(caps.MaxStreams) << "\n";
  else
    StatLog << "1 (ancient driver too!)\n";

  if (caps.DeclTypes == 0) {
    StatLog << "Device DOES NOT support vertex declarations (have to use software vertex processing now).\n";
    vertexProcessing = 0;
  }
  StatLog << "Max silmutaneous render targets: " << static_cast<int>(caps.NumSimultaneousRTs);
}

}  // namespace

}  // namespace DXG

namespace G {

bool CheckGraphicsCaps(int& vertexProcessing, std::string& message) {
  ReportSystemInfo();
  IDirect3D9* d3d = DXG::CreateDirect3D();
  if (!d3d) {
    ErrorLog << "Failed to create Direct3D9 object\n";
    message = DXG::kDirectXMissingNotice;
    DXG::g_d3d.graphicsUnavailable = true;
    return true;
  }
  bool show = false;

  D3DADAPTER_IDENTIFIER9 id = {};
  d3d->GetAdapterIdentifier(0, 0, &id);
  StatLog << "Video card: " << id.Description << "\n";
  if (DXG::IsOldDriver(id)) {
    message += "It has been detected that you may be using an older driver for your video card.\n"
               "Please update it, lest things potentially not work right.\n";
    show = true;
  }

  D3DCAPS9 caps = {};
  if (FAILED(d3d->GetDeviceCaps(0, D3DDEVTYPE_HAL, &caps))) {
    d3d->Release();
    ErrorLog << "Could not retrieve graphics device capabilities\n";
    return false;
  }
  DXG::ReportCaps(caps, vertexProcessing);
  d3d->Release();
  StatLog << "\n";
  return show;
}

bool IsGraphicsUnavailable() { return DXG::g_d3d.graphicsUnavailable; }

}  // namespace G

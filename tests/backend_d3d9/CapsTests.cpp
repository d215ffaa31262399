// The capability check before start-up: the card's report in the statistics
// log, the vertex-processing mode, the old-driver warning and a machine
// without Direct3D 9, all from a scripted Direct3D object.
#include "D3D9TestSupport.h"

namespace {

struct CardCaps {
  bool hardwareTnL = true;
  int pixelShaderMajor = 2;
  int vertexShaderMajor = 2;
  bool cubeMaps = true;
  bool volumeMaps = true;
  bool volumePow2 = true;
  DWORD maxTexture = 4096;
  DWORD maxVolume = 512;
  DWORD streams = 8;
  DWORD declTypes = 0x30F;
  DWORD renderTargets = 1;
};

class CapsTest : public testing::Test {
 protected:
  void TearDown() override {
    // The flags the check sets stay for the process: back to this machine's.
    DXG::SetDirect3DFactory(nullptr);
    int mode = 1;
    std::string message;
    G::CheckGraphicsCaps(mode, message);
    DXG::g_d3d.graphicsUnavailable = false;
  }

  void Script(const CardCaps& card) {
    fake.script().editCaps = [card](D3DCAPS9& caps) {
      caps.DevCaps = card.hardwareTnL ? (caps.DevCaps | D3DDEVCAPS_HWTRANSFORMANDLIGHT)
                                      : (caps.DevCaps & ~D3DDEVCAPS_HWTRANSFORMANDLIGHT);
      caps.PixelShaderVersion = card.pixelShaderMajor ? D3DPS_VERSION(card.pixelShaderMajor, 0) : 0;
      caps.VertexShaderVersion = card.vertexShaderMajor ? D3DVS_VERSION(card.vertexShaderMajor, 0) : 0;
      caps.TextureCaps &= ~(D3DPTEXTURECAPS_CUBEMAP | D3DPTEXTURECAPS_VOLUMEMAP | D3DPTEXTURECAPS_VOLUMEMAP_POW2);
      if (card.cubeMaps) caps.TextureCaps |= D3DPTEXTURECAPS_CUBEMAP;
      if (card.volumeMaps) caps.TextureCaps |= D3DPTEXTURECAPS_VOLUMEMAP;
      if (card.volumePow2) caps.TextureCaps |= D3DPTEXTURECAPS_VOLUMEMAP_POW2;
      caps.MaxTextureWidth = card.maxTexture;
      caps.MaxTextureHeight = card.maxTexture / 2;
      caps.MaxVolumeExtent = card.maxVolume;
      caps.MaxStreams = card.streams;
      caps.DeclTypes = card.declTypes;
      caps.NumSimultaneousRTs = card.renderTargets;
    };
    fake.script().replaceIdentifier = true;
    fake.script().vendor = 0x10DE;
    fake.script().driverHigh = 0x6000E;
    fake.script().driverLow = 0xA1E61;
  }

  // The card's part of the statistics log (after the system report).
  struct Result {
    bool show;
    int mode;
    std::string message;
    std::string report;
  };
  Result Check() {
    LogTail stat("_stat.txt");
    Result result;
    result.mode = 1;
    result.show = G::CheckGraphicsCaps(result.mode, result.message);
    std::string text = stat.Text();
    size_t card = text.find("Video card: ");
    result.report = card == std::string::npos ? std::string() : text.substr(card);
    return result;
  }

  FakeDirect3D fake;
};

TEST_F(CapsTest, AWellEquippedCardIsReportedLineByLine) {
  Script(CardCaps());
  Result result = Check();
  EXPECT_FALSE(result.show);
  EXPECT_EQ(result.message, "");
  EXPECT_EQ(result.mode, 1);
  EXPECT_EQ(result.report,
            "Video card: Scripted Card\n"
            "Hardware TnL support detected.\n"
            "Hardware PS version: 2\n"
            "Hardware VS version: 2\n"
            "Cube Maps supported.\n"
            "Max texture dimesnions: 4096 x 2048\n"
            "3D textures supported.\n"
            "  -MUST be power of 2 dimensions\n"
            "  -max 3D texture dimensions: 512 x 512 x 512\n"
            "Max vertex stearms supported: 8\n"
            "Max silmutaneous render targets: 1\n");
  EXPECT_TRUE(DXG::g_d3d.volumeTextures);
  EXPECT_TRUE(DXG::g_d3d.pixelShadersAllowed);
}

TEST_F(CapsTest, APoorCardIsReportedWithWhatItLacks) {
  CardCaps card;
  card.hardwareTnL = false;
  card.pixelShaderMajor = 0;
  card.vertexShaderMajor = 0;
  card.cubeMaps = false;
  card.volumeMaps = false;
  card.maxTexture = 256;
  card.streams = 0;
  card.declTypes = 0;
  Script(card);
  Result result = Check();
  EXPECT_EQ(result.mode, 0);
  EXPECT_EQ(result.report,
            "Video card: Scripted Card\n"
            "Video card does NOT support Hardware TnL.\n"
            "Video card does NOT support pixel shaders.\n"
            "Video card does NOT support vertex shaders... will use software vertex processing\n"
            "Cube maps NOT supported.\n"
            "Max texture dimesnions: 256 x 128\n"
            "3D textures NOT supported.\n"
            "Max vertex stearms supported: 1 (ancient driver too!)\n"
            "Device DOES NOT support vertex declarations (have to use software vertex processing now).\n"
            "Max silmutaneous render targets: 1\n");
  EXPECT_FALSE(DXG::g_d3d.volumeTextures);
  EXPECT_FALSE(DXG::g_d3d.pixelShadersAllowed);
}

TEST_F(CapsTest, TheVertexProcessingModeFollowsTheVertexShaders) {
  struct Case {
    bool hardwareTnL;
    int vertexShaderMajor;
    DWORD declTypes;
    int mode;
  } cases[] = {
      {true, 3, 0x30F, 2}, {false, 3, 0x30F, 2}, {true, 2, 0x30F, 1}, {false, 1, 0x30F, 1},
      {true, 0, 0x30F, 0}, {false, 0, 0x30F, 0}, {true, 3, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.hardwareTnL << " " << c.vertexShaderMajor << " " << c.declTypes);
    CardCaps card;
    card.hardwareTnL = c.hardwareTnL;
    card.vertexShaderMajor = c.vertexShaderMajor;
    card.declTypes = c.declTypes;
    Script(card);
    EXPECT_EQ(Check().mode, c.mode);
  }
}

TEST_F(CapsTest, OldDriversOfTwoVendorsAreWarnedAbout) {
  const std::string warning =
      "It has been detected that you may be using an older driver for your video card.\n"
      "Please update it, lest things potentially not work right.\n";
  struct Case {
    DWORD vendor;
    unsigned high, low;
    bool old;
  } cases[] = {
      {0x10DE, 0x6000E, 0xA1E61, false},  // 6.14.10.7777
      {0x10DE, 0x6000E, 0xA1E60, true},   // 6.14.10.7776
      {0x10DE, 0x6000F, 0, false},
      {0x1002, 0x6000E, 0xA19C7, false},  // 6.14.10.6599
      {0x1002, 0x6000E, 0xA19C6, true},
      {0x1002, 0x6000D, 0xFFFFFFFF, true},
      {0x8086, 0x10000, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.vendor << " " << c.high << "." << c.low);
    Script(CardCaps());
    fake.script().vendor = c.vendor;
    fake.script().driverHigh = c.high;
    fake.script().driverLow = c.low;
    Result result = Check();
    EXPECT_EQ(result.show, c.old);
    EXPECT_EQ(result.message, c.old ? warning : "");
  }
}

TEST_F(CapsTest, NoDirect3DShowsTheNoticeAndMarksGraphicsUnavailable) {
  fake.script().noDirect3D = true;
  LogTail log;
  Result result = Check();
  EXPECT_TRUE(result.show);
  EXPECT_EQ(result.message.size(), 205u);
  EXPECT_EQ(result.message.rfind("DirectX9.0c or greater is required to run this program.\n"
                                 "Older versions of DirectX (including DirectX9.0b) will not work.\n",
                                 0),
            0u);
  EXPECT_TRUE(G::IsGraphicsUnavailable());
  EXPECT_EQ(log.Text(), "Failed to create Direct3D9 object\n");
  EXPECT_EQ(result.report, "");
}

TEST_F(CapsTest, UnreadableCapsEndTheCheck) {
  Script(CardCaps());
  fake.script().failCaps = true;
  LogTail log;
  Result result = Check();
  EXPECT_FALSE(result.show);
  EXPECT_EQ(log.Text(), "Could not retrieve graphics device capabilities\n");
  EXPECT_EQ(result.report, "Video card: Scripted Card\n");
  EXPECT_FALSE(G::IsGraphicsUnavailable());
}

}  // namespace

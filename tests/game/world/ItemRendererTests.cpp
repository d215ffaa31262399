// The item renderer through the null backend: the item list's table and its
// exact complaints, damaged lists and model files, items placed on the
// cells of the window, and the reload on F10.
#include <algorithm>
#include <cstdio>

#include "FormatTestSupport.h"
#include "foundation/CProfiler.h"
#include "game/formats/MapGrid.h"
#include "game/world/VantRenderObjects.h"
#include "WorldFixture.h"

namespace {

// A flat fan of n distinct vertices in one colour: the vertex count tells
// the models apart when they are drawn.
std::string FanModel(int vertices, const std::string& randomId = "0.25") {
  std::string text = "RandomID { " + randomId + " }\nBone { Name { b } Mesh { m } }\nMesh { Name { m } Chunk {\n";
  text += "  Vertices { PNC " + std::to_string(vertices) + "\n";
  for (int i = 0; i < vertices; ++i)
    text += "    " + std::to_string(0.1 * i) + " " + std::to_string(0.05 * i * i) + " 0.2 0 0 1 1 0.5 0 1\n";
  text += "  }\n  Indices { " + std::to_string(3 * (vertices - 2)) + "\n   ";
  for (int i = 1; i + 1 < vertices; ++i) text += " 0 " + std::to_string(i) + " " + std::to_string(i + 1);
  return text + "\n  }\n} }\n";
}

std::string NoiseBytes(size_t size, unsigned seed) {
  std::string bytes(size, '\0');
  for (char& c : bytes) {
    seed = seed * 1103515245u + 12345u;
    c = static_cast<char>(seed >> 16);
  }
  return bytes;
}

// What one item draw showed: the model (by its vertex count) and where.
struct ItemDraw {
  int vertices;
  float x, y, z;
  bool operator==(const ItemDraw& o) const { return vertices == o.vertices && x == o.x && y == o.y && z == o.z; }
};
std::vector<ItemDraw> s_draws;

// At the index buffer's Set, a chunk's vertex buffer is current and its
// bone's world matrix set: one item draw follows.
void NoteItemDraw(const std::string& call) {
  if (call != "IndexBuffer::Set") return;
  const G::VertexBufferRecord* buffer = NullBackend::CurrentVertexBuffer();
  const Matrix4 world = G::GetWorldMatrix();
  s_draws.push_back({buffer ? buffer->vertexCount : -1, world.m[3], world.m[7], world.m[11]});
}

class ItemRendererTest : public WorldTest {
 protected:
  void SetUp() override {
    WorldTest::SetUp();
    for (const char* name : {"items.txt", "placeholder.mbm", "tri.mbm", "quad.mbm", "penta.mbm"})
      RemoveProgramFile(std::string("data\\items\\") + name);
    WriteFileText("data\\items\\placeholder.mbm", FanModel(6, "0.6"));
    WriteFileText("data\\items\\tri.mbm", FanModel(3, "0.3"));
    WriteFileText("data\\items\\quad.mbm", FanModel(4, "0.4"));
    WriteFileText("data\\items\\penta.mbm", FanModel(5, "0.5"));
    RemoveModelCaches();
    // The renderer's start loaded the program's own models: these files
    // are to be read afresh.
    G::ClearLoadedModels();
    LoadBlankMap(10, 10, 700);
    s_draws.clear();
  }
  void TearDown() override {
    NullBackend::Scripted().observer = nullptr;
    WorldTest::TearDown();
    RemoveModelCaches();
  }

  static std::vector<ItemDraw> DrawsOf(VANT::RenderObjects& objects) {
    s_draws.clear();
    NullBackend::Scripted().observer = NoteItemDraw;
    objects.Render();
    NullBackend::Scripted().observer = nullptr;
    return s_draws;
  }
};

TEST_F(ItemRendererTest, EachCellShowsItsItemsModelAtItsCentre) {
  WriteFileText("data\\items\\items.txt", "4\n1 tri.mbm\n2 quad.mbm\n3 penta.mbm\n");
  VANT::RenderObjects objects;
  ASSERT_EQ(objects.Models().size(), 5u);
  // The load is timed under its own profiler block.
  if (g_profiler.IsEnabled()) {
    FILE* report = std::fopen("_items_profile.txt", "wt");
    ASSERT_NE(report, nullptr);
    g_profiler.WriteReport(report, 1.0);
    std::fclose(report);
    const std::string text = ReadFileText("_items_profile.txt");
    const size_t at = text.find("\nInit item renderer - ");
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(text.substr(at, text.find('\n', at + 1) - at).find("VantRenderObjects.cpp") != std::string::npos, true);
  }
  // A window of x 5..7 and y 5..6.
  SetMapObject(5, 5, 1);
  SetMapObject(6, 5, 2);
  SetMapObject(5, 6, 3);
  SetMapObject(6, 6, 4);  // listed by the header only: the placeholder
  SetMapObject(7, 6, 5);  // above the highest number: nothing
  SetMapObject(8, 5, 1);  // outside the window
  SetMapObject(5, 7, 1);
  SetMapObject(4, 6, 1);
  objects.SetWindow(5, 8, 5, 7);
  NullBackend::ClearCalls();
  const std::vector<ItemDraw> draws = DrawsOf(objects);
  EXPECT_EQ(draws, (std::vector<ItemDraw>{{3, 5, 5, 0}, {4, 6, 5, 0}, {5, 5, 6, 0}, {6, 6, 6, 0}}));
  const std::vector<std::string>& calls = NullBackend::Calls();
  ASSERT_GE(calls.size(), 2u);
  EXPECT_EQ(calls[0], "SetCullMode(0)");
  EXPECT_EQ(calls[1], "Shader::Set");
  // The item shader: the simple vertex program alone.
  ASSERT_NE(NullBackend::CurrentShader(), nullptr);
  EXPECT_EQ(NullBackend::ShaderVertexName(*NullBackend::CurrentShader()), "data\\shaders\\simple");
  EXPECT_EQ(NullBackend::ShaderFragmentName(*NullBackend::CurrentShader()), "");
  // The numbers the header names without a line of their own share the
  // placeholder; 0 is no item.
  EXPECT_EQ(objects.Models()[4].GetRootBone()->mesh.Record(),
            G::g_loadedModels.front().GetRootBone()->mesh.Record());
  EXPECT_EQ(objects.Models()[0].Record(), nullptr);

  // The window moves; the models go where their cells are.
  objects.SetWindow(0, 40, 0, 40);
  EXPECT_EQ(DrawsOf(objects).size(), 7u);
  objects.SetWindow(6, 6, 5, 7);  // empty
  EXPECT_TRUE(DrawsOf(objects).empty());
}

TEST_F(ItemRendererTest, NumbersZeroAnd2400AreNeverDrawn) {
  // (A line end of another system leaves a carriage return: no part of a
  // name.)
  WriteFileText("data\\items\\items.txt", "2500\n2400 tri.mbm\n2399 quad.mbm\n1 penta.mbm\r\n");
  VANT::RenderObjects objects;
  SetMapObject(1, 1, 2400);
  SetMapObject(2, 1, 2399);
  SetMapObject(3, 1, 0);
  SetMapObject(4, 1, 1);
  SetMapObject(5, 1, 2500);
  SetMapObject(6, 1, 2501);
  objects.SetWindow(0, 10, 0, 10);
  EXPECT_EQ(DrawsOf(objects), (std::vector<ItemDraw>{{4, 2, 1, 0}, {5, 4, 1, 0}, {6, 5, 1, 0}}));
}

TEST_F(ItemRendererTest, TheListsComplaintsAndTheLastModelThatLoadsWins) {
  WriteFileText("data\\items\\items.txt",
                "10\n"
                "3\n"                  // 1
                "4 a.mbm b\n"          // 2
                "\n"                   // empty lines are not counted
                "0 tri.mbm\n"          // 3
                "11 tri.mbm\n"         // 4
                "-2 tri.mbm\n"         // 5
                "abc tri.mbm\n"        // 6
                "   \t  \n"            // 7: blanks only, no tokens
                "10\ttri.mbm\n"        // 8
                "2 tri.mbm\n"          // 9
                "2   missing.mbm\n"    // 10: fails, 2 keeps tri
                "5 quad.mbm old.png\n" // 11
                "6 quad.mbm\n"         // 12
                "6 penta.mbm\n");      // 13: the later line wins
  LogTail log;
  VANT::RenderObjects objects;
  EXPECT_EQ(MaskCallStacks(log.Text()),
            "Error in line 1 of items.txt: missing model name?\n"
            "Error in line 2 of items.txt: mismatched texture replacement pair?\n"
            "Error in line 3 of items.txt: object number must be >=1\n"
            "Error in line 4 of items.txt: an object number greater than the max number was specified.\n"
            "Error in line 5 of items.txt: object number must be >=1\n"
            "Error in line 6 of items.txt: object number must be >=1\n"
            "Failed to open file: data\\items\\missing.mbm\n"
            "Failed to load mesh: data\\items\\missing.mbm\n"
            "  -call stack:\n"
            "\n"
            "Error in line 11 of items.txt: mismatched texture replacement pair?\n");
  ASSERT_EQ(objects.Models().size(), 11u);
  for (int n = 1; n <= 10; ++n) SetMapObject(n, 3, n);
  objects.SetWindow(0, 20, 0, 20);
  const std::vector<ItemDraw> draws = DrawsOf(objects);
  std::vector<int> models;
  for (const ItemDraw& d : draws) models.push_back(d.vertices);
  EXPECT_EQ(models, (std::vector<int>{6, 3, 6, 6, 6, 5, 6, 6, 6, 3}));
  // Each line's model is a handle of its own over the shared meshes.
  EXPECT_NE(objects.Models()[2].Record(), objects.Models()[10].Record());
  EXPECT_EQ(objects.Models()[2].GetRootBone()->mesh.Record(), objects.Models()[10].GetRootBone()->mesh.Record());
}

TEST_F(ItemRendererTest, TheHeaderSizesTheTable) {
  struct Case {
    const char* what;
    const char* list;  // null: no file
    size_t size;
    std::string log;
  };
  const Case cases[] = {
      {"no list", nullptr, 0, "Error: data\\items\\items.txt is missing or empty; no items will be drawn.\n"},
      {"empty list", "", 0, "Error: data\\items\\items.txt is missing or empty; no items will be drawn.\n"},
      {"blank lines only", "\n\n\n", 0, "Error: data\\items\\items.txt is missing or empty; no items will be drawn.\n"},
      {"negative", "-3\n1 tri.mbm\n", 0,
       "Error in line 0 of items.txt: the highest object number is negative; no items will be drawn.\n"},
      {"zero", "0\n1 tri.mbm\n", 1,
       "Error in line 1 of items.txt: an object number greater than the max number was specified.\n"},
      {"not a number", "many\n", 1, ""},
      {"above what a cell holds", "99999999\n70000 tri.mbm\n65535 tri.mbm\n", 65536,
       "Warning: items.txt gives 99999999 as the highest object number; map cells hold at most 65535.\n"
       "Error in line 1 of items.txt: an object number greater than the max number was specified.\n"},
      {"without a line end", "3", 4, ""},
  };
  for (const Case& c : cases) {
    RemoveProgramFile("data\\items\\items.txt");
    if (c.list) WriteFileText("data\\items\\items.txt", c.list);
    LogTail log;
    VANT::RenderObjects objects;
    EXPECT_EQ(log.Text(), c.log) << c.what;
    EXPECT_EQ(objects.Models().size(), c.size) << c.what;
    // Drawing any cell is safe.
    SetMapObject(3, 3, 1);
    SetMapObject(4, 3, 65535);
    objects.SetWindow(0, 10, 0, 10);
    DrawsOf(objects);
  }
  // A header that overflows its number is refused or capped, never used.
  WriteFileText("data\\items\\items.txt", "99999999999999999999999\n");
  VANT::RenderObjects huge;
  EXPECT_LE(huge.Models().size(), 65536u);
}

TEST_F(ItemRendererTest, WithoutAPlaceholderOnlyListedItemsAreDrawn) {
  RemoveProgramFile("data\\items\\placeholder.mbm");
  WriteFileText("data\\items\\items.txt", "3\n1 tri.mbm\n");
  LogTail log;
  VANT::RenderObjects objects;
  EXPECT_EQ(MaskCallStacks(log.Text()),
            "Failed to open file: data\\items\\placeholder.mbm\n"
            "Failed to load mesh: data\\items\\placeholder.mbm\n  -call stack:\n\n");
  SetMapObject(1, 1, 1);
  SetMapObject(2, 1, 2);
  SetMapObject(3, 1, 3);
  objects.SetWindow(0, 10, 0, 10);
  EXPECT_EQ(DrawsOf(objects), (std::vector<ItemDraw>{{3, 1, 1, 0}}));
}

TEST_F(ItemRendererTest, DamagedModelFilesLeaveThePlaceholder) {
  const std::string good = FanModel(4, "0.77");
  const std::vector<std::pair<std::string, std::string>> broken = {
      {"cut.mbm", good.substr(0, good.size() / 2)},
      {"braces.mbm", "RandomID { 1 }\nBone { Name { x } Child { x } }\n}}}}{{{{\n"},
      {"noise.mbm", NoiseBytes(3000, 7)},
      {"zeros.mbm", std::string(500, '\0')},
      {"huge.mbm", "RandomID { 2 }\nMesh { Name { m } Chunk { Vertices { PNC 2000000000 1 2 3 } Indices { 70000 1 } } }\n"},
      {"deep.mbm", "Bone { Name { a } " + std::string(5000, '{') + "\n"},
      {"empty.mbm", ""},
      {"picture.png", "\x89PNG not a model"},
  };
  std::string list = "9\n";
  int n = 1;
  for (const auto& file : broken) {
    WriteFileBytes("data\\items\\" + file.first, file.second);
    list += std::to_string(n++) + " " + file.first + "\n";
  }
  list += "9 tri.mbm\n";
  WriteFileText("data\\items\\items.txt", list);
  LogTail log;
  VANT::RenderObjects objects;
  const std::string text = log.Text();
  for (const auto& file : broken) {
    const std::string expected = file.first == "picture.png"
                                     ? "Cannot load mesh (data\\items\\picture.png).  Unrecognized file extension.\n"
                                     : "Failed to load mesh: data\\items\\" + file.first + "\n";
    EXPECT_NE(text.find(expected), std::string::npos) << file.first;
  }
  for (int i = 1; i <= 9; ++i) SetMapObject(i, 2, i);
  objects.SetWindow(0, 20, 0, 20);
  std::vector<int> models;
  for (const ItemDraw& d : DrawsOf(objects)) models.push_back(d.vertices);
  EXPECT_EQ(models, (std::vector<int>{6, 6, 6, 6, 6, 6, 6, 6, 3}));
}

TEST_F(ItemRendererTest, AReplacementImageThatFailsToLoadIsReported) {
  WriteFileText("data\\items\\items.txt", "1\n1 tri.mbm old.png nothere.png\n");
  LogTail log;
  VANT::RenderObjects objects;
  EXPECT_NE(log.Text().find("Warning: Texture replacement failed to load, in loading an item: items.txt, line 1, "
                            "name: data\\items\\nothere.png\n"),
            std::string::npos)
      << log.Text();
  EXPECT_EQ(objects.Models()[1].GetRootBone()->mesh.texturePairs.size(), 0u);
}

TEST_F(ItemRendererTest, F10ReloadsTheListAndEveryModelFile) {
  WriteFileText("data\\items\\items.txt", "2\n1 tri.mbm\n");
  ShutdownRenderer();
  ASSERT_TRUE(InitRenderer());
  SetMapObject(20, 20, 1);
  SetMapObject(21, 20, 2);
  SetViewPosition(20, 20);
  UpdateRenderer(0.016f);
  RenderObjectsPtr->SetWindow(5, 35, 5, 35);
  EXPECT_EQ(DrawsOf(*RenderObjectsPtr), (std::vector<ItemDraw>{{3, 20, 20, 0}, {6, 21, 20, 0}}));

  // Files changed behind the program's back: no effect until F10.
  WriteFileText("data\\items\\items.txt", "2\n1 tri.mbm\n2 quad.mbm\n");
  WriteFileText("data\\items\\tri.mbm", FanModel(5, "0.31"));
  unsigned char keys[256] = {};
  AdvanceKeyState(keys);
  UpdateRenderer(0.016f);
  RenderObjectsPtr->SetWindow(5, 35, 5, 35);
  EXPECT_EQ(DrawsOf(*RenderObjectsPtr).front().vertices, 3);

  keys[68] = 0x80;
  AdvanceKeyState(keys);
  LogTail log;
  UpdateRenderer(0.016f);
  EXPECT_EQ(log.Text(), "");
  ASSERT_NE(RenderObjectsPtr, nullptr);
  RenderObjectsPtr->SetWindow(5, 35, 5, 35);
  EXPECT_EQ(DrawsOf(*RenderObjectsPtr), (std::vector<ItemDraw>{{5, 20, 20, 0}, {4, 21, 20, 0}}));
  // Held down, it is not pressed again: the list is not read again.
  WriteFileText("data\\items\\items.txt", "2\n1 penta.mbm\n2 penta.mbm\n");
  AdvanceKeyState(keys);
  UpdateRenderer(0.016f);
  RenderObjectsPtr->SetWindow(5, 35, 5, 35);
  EXPECT_EQ(DrawsOf(*RenderObjectsPtr), (std::vector<ItemDraw>{{5, 20, 20, 0}, {4, 21, 20, 0}}));
}

}  // namespace

// Models loaded from .mbm text files written by the tests: the parse, its
// messages, the binary cache under gen\ and what happens to hostile or
// damaged files.
#include <cmath>
#include <cstdio>
#include <memory>

#include "ModelFixture.h"
#include "foundation/CProfiler.h"
#include "foundation/Utility.h"

namespace {

using G::Bone;

// A little-endian byte string, the way the cache is laid out.
struct Bytes {
  std::string data;
  Bytes& U8(unsigned v) {
    data += static_cast<char>(v);
    return *this;
  }
  Bytes& U16(unsigned v) { return U8(v & 0xFF).U8(v >> 8); }
  Bytes& U32(unsigned v) { return U16(v & 0xFFFF).U16(v >> 16); }
  Bytes& F32(float f) {
    unsigned bits;
    std::memcpy(&bits, &f, 4);
    return U32(bits);
  }
  Bytes& Str(const std::string& s) {
    U8(static_cast<unsigned>(s.size()));
    data += s;
    return *this;
  }
  Bytes& Raw(const void* p, size_t n) {
    data.append(static_cast<const char*>(p), n);
    return *this;
  }
  Bytes& Identity() {
    for (float f : {1.f, 0.f, 0.f, 0.f, 1.f, 0.f, 0.f, 0.f, 1.f}) F32(f);
    return *this;
  }
  // A bone record without its type byte.
  Bytes& Bone(const std::string& name, const std::string& mesh, const std::vector<std::string>& children) {
    U32(0).Str(name).Str(mesh).U8(static_cast<unsigned>(children.size()));
    for (const std::string& child : children) Str(child);
    return F32(0).F32(0).F32(0).Identity();
  }
};


// One mesh of one chunk (four PNC vertices, the last a twin of the first) on
// a root bone with one child.
const char kBoxBody[] = R"(
Mesh {
  Name { box }
  Chunk {
    TextureB { 0 wood.bmp }
    Vertices { PNC 4
      0 0 0   0 0 1   1 0 0 1
      1 0 0   0 0 1   0 1 0 1
      0 1 0   0 0 1   0 0 1 0.5
      0 0 0   0 0 1   1 0 0 1
    }
    Indices { 6  0 1 2  3 2 1 }
  }
}
Bone {
  Name { root }
  Mesh { box }
  Child { arm }
  ConnectPos { 1 2 3 }
}
Bone {
  Name { arm }
  ConnectRot { 0 1 0  -1 0 0  0 0 1 }
  ConnectPos { 0 0 1 }
}
)";

class ModelFiles : public ModelTest {
 protected:
  void SetUp() override {
    ModelTest::SetUp();
    CreateDirectoryPath("models\\");
    wood_.reset(new G::Texture(NamedTexture("models\\wood.bmp")));
  }
  void TearDown() override {
    wood_.reset();
    ModelTest::TearDown();
  }

  // The model file, with no cache left from an earlier run.
  static std::string Write(const std::string& name, const std::string& text) {
    std::string path = "models\\" + name + ".mbm";
    WriteFileText(path, text);
    std::remove(G::ModelCachePath(path).c_str());
    return path;
  }

  static std::string FailureTail(const std::string& path) {
    return "Failed to load mesh: " + path + "\n  -call stack:\n\n";
  }
  static std::string ParseFailure(const std::string& path, const std::string& stack) {
    return "Errors occured parsing the file " + path + "\n  error stack: " + stack + "\n" + FailureTail(path);
  }

  // A handle of its own: the fixture may not hold one directly, its
  // destructor being allowed to throw.
  std::unique_ptr<G::Texture> wood_;
};

// ---- A whole model ---------------------------------------------------------

TEST_F(ModelFiles, ParsesBonesAndMeshesAndReportsTheCounts) {
  std::string path = Write("box", std::string("RandomID { 0.25 }") + kBoxBody);
  LogTail errors, stats("_meshStats.txt");
  G::Model model;
  ASSERT_TRUE(model.Load(path, false, true, true));
  EXPECT_EQ(errors.Text(), "");
  EXPECT_EQ(stats.Text(),
            "Model: models\\box.mbm\n >Total:\n"
            "    -POSITION, original verts: 3\n    -POSITION, optimized verts: 3\n"
            "    -GRAPHIC, original verts: 4\n    -GRAPHIC, optimized verts: 3\n    -Triangle Count: 2\n"
            "    -Total Bones: 2\n    -Wasted Bones: 1\n\n");

  Bone* root = model.GetRootBone();
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(root->name, "root");
  EXPECT_EQ(root->GetConnectPos().z, 3);
  EXPECT_EQ(root->GetRestPos().y, 2);
  ASSERT_EQ(root->Children().size(), 1u);
  Bone* arm = root->Children().front();
  EXPECT_EQ(arm->name, "arm");
  // The file lists the rotation column by column.
  EXPECT_EQ(arm->GetConnectRot().m[1], -1);
  EXPECT_EQ(arm->GetConnectRot().m[3], 1);
  EXPECT_EQ(arm->GetRestRot().m[1], -1);
  EXPECT_TRUE(arm->mesh.Record()->chunks.empty());

  G::MeshData* box = root->mesh.Record();
  EXPECT_EQ(box->name, "box");
  ASSERT_EQ(box->chunks.size(), 1u);
  G::Chunk& chunk = box->chunks[0];
  EXPECT_EQ(chunk.TextureB.Record(), wood_->Record());
  EXPECT_EQ(chunk.TextureC.Record(), nullptr);
  EXPECT_EQ(VerticesOf(chunk.vertexBuffer),
            (std::vector<Vertex>{{{0, 0, 0}, {0, 0, 1}, 0xFFFF0000},
                                 {{1, 0, 0}, {0, 0, 1}, 0xFF00FF00},
                                 {{0, 1, 0}, {0, 0, 1}, 0x7F0000FF}}));
  EXPECT_EQ(IndicesOf(chunk.indexBuffer), (std::vector<unsigned short>{0, 1, 2, 0, 2, 1}));
  EXPECT_FALSE(chunk.vertexBuffer.Record()->writeOnly);
  EXPECT_EQ(box->positions.size(), 3u);
  EXPECT_EQ(box->positionIndices, (std::vector<unsigned short>{0, 1, 2, 0, 2, 1}));

  // The master copy holds the file's bones; the caller has its own over the
  // same meshes.
  ASSERT_EQ(G::g_loadedModels.size(), 1u);
  const G::ModelData* master = G::g_loadedModels.front().Record();
  EXPECT_EQ(master->instance, 0);
  EXPECT_EQ(model.Record()->instance, 1);
  EXPECT_EQ(master->name, path);
  EXPECT_FLOAT_EQ(model.Record()->RandomID, 0.25f);
  EXPECT_NE(master->root, root);
  EXPECT_EQ(master->root->mesh.Record(), box);
}

TEST_F(ModelFiles, TheCacheHoldsTheTreeInPostOrder) {
  std::string path = Write("layout", std::string("RandomID { 0.25 }") + kBoxBody);
  G::Model model;
  ASSERT_TRUE(model.Load(path, false, true, true));
  std::vector<Vertex> vertices = VerticesOf(model.GetRootBone()->mesh.Record()->chunks[0].vertexBuffer);

  Bytes expected;
  expected.U32(1335).F32(0.25f);
  expected.U8(2).U32(0).Str("arm").Str("").U8(0).F32(0).F32(0).F32(1);
  for (float f : {0.f, -1.f, 0.f, 1.f, 0.f, 0.f, 0.f, 0.f, 1.f}) expected.F32(f);
  expected.U8(1).Str("box").U8(1);
  expected.U8(0xFF).Str("models\\wood.bmp").U8(0).Str("");
  expected.U8(24).U32(2).U32(0).U32(2).U32(1).U32(4).U32(2);
  expected.U16(3).U8(28).Raw(vertices.data(), 3 * 28);
  expected.U16(6);
  for (unsigned i : {0, 1, 2, 0, 2, 1}) expected.U16(i);
  expected.U16(3);
  for (float f : {0.f, 0.f, 0.f, 1.f, 0.f, 0.f, 0.f, 1.f, 0.f}) expected.F32(f);
  expected.U16(6);
  for (unsigned i : {0, 1, 2, 0, 2, 1}) expected.U16(i);
  expected.U8(2).U32(0).Str("root").Str("box").U8(1).Str("arm").F32(1).F32(2).F32(3).Identity();
  expected.U8(0);
  EXPECT_EQ(ReadFileBytes("gen\\models\\layout.bmbm"), expected.data);

  // A mesh without chunks has no record of its own; the bone still names it.
  std::string bare = Write("bare", "RandomID { 0.5 }\nMesh { Name { empty } }\nBone { Name { a } Mesh { empty } }\n");
  G::Model bareModel;
  ASSERT_TRUE(bareModel.Load(bare, false, true, true));
  EXPECT_EQ(bareModel.GetRootBone()->mesh.Record()->name, "empty");
  EXPECT_EQ(ReadFileBytes("gen\\models\\bare.bmbm"),
            Bytes().U32(1335).F32(0.5f).U8(2).Bone("a", "empty", {}).U8(0).data);
}

TEST_F(ModelFiles, TheCacheIsReadInsteadWhileTheRandomIDMatches) {
  std::string path = Write("cached", std::string("RandomID { 0.25 }") + kBoxBody);
  G::Model model;
  ASSERT_TRUE(model.Load(path, false, true, true));
  G::ClearLoadedModels();

  // Only the RandomID construct is read: the rest may be anything.
  WriteFileText(path, "RandomID { 0.25 } this is { no model");
  LogTail errors, stats("_meshStats.txt");
  ASSERT_TRUE(model.Load(path, false, true, true));
  EXPECT_EQ(errors.Text(), "");
  EXPECT_EQ(stats.Text(), "Model: models\\cached.mbm\n >Total:\n    -Total Bones: 2\n    -Wasted Bones: 1\n\n");
  Bone* root = model.GetRootBone();
  EXPECT_EQ(root->GetConnectPos().x, 1);
  EXPECT_EQ(root->GetRestPos().x, 1);
  EXPECT_EQ(root->Children().front()->GetConnectRot().m[1], -1);
  G::Chunk& chunk = root->mesh.Record()->chunks[0];
  EXPECT_EQ(chunk.TextureB.Record(), wood_->Record());
  EXPECT_EQ(chunk.vertexBuffer.Record()->vertexCount, 3);
  EXPECT_FALSE(chunk.vertexBuffer.Record()->writeOnly);
  EXPECT_EQ(root->mesh.Record()->positionIndices.size(), 6u);
  G::ClearLoadedModels();

  // A new RandomID is parsed again and rewrites the cache.
  std::string changed = std::string("RandomID { 0.5 }") + kBoxBody;
  changed.replace(changed.find("ConnectPos { 1 2 3 }"), 20, "ConnectPos { 9 2 3 }");
  WriteFileText(path, changed);
  ASSERT_TRUE(model.Load(path, false, true, true));
  EXPECT_EQ(model.GetRootBone()->GetConnectPos().x, 9);
  EXPECT_FLOAT_EQ(G::ReadCachedRandomID(G::ModelCachePath(path)), 0.5f);
}

TEST_F(ModelFiles, WithoutALeadingRandomIDTheCacheIsWrittenButNeverRead) {
  std::string path = Write("lazy", std::string(kBoxBody) + "RandomID { 0.25 }\n");
  LogTail errors;
  G::Model model;
  ASSERT_TRUE(model.Load(path, false, true, true));
  EXPECT_EQ(errors.Text(),
            "Warning: .mbm file (models\\lazy.mbm), first construct is not RandomID.  Binary version will not be "
            "cached.  Quit being lazy if you want the game to load faster...\n"
            "Warning: .mbm file (models\\lazy.mbm), RandomID is only valid as first construct in the file.\n");
  EXPECT_TRUE(FileExists("gen\\models\\lazy.bmbm"));
  EXPECT_TRUE(std::isnan(G::ReadCachedRandomID("gen\\models\\lazy.bmbm")));
  G::ClearLoadedModels();
  std::string changed = kBoxBody;
  changed.replace(changed.find("Name { root }"), 13, "Name { base }");
  changed.replace(changed.find("Name { arm }"), 12, "Name { limb }");
  changed.replace(changed.find("Child { arm }"), 13, "Child { limb }");
  WriteFileText(path, changed);
  ASSERT_TRUE(model.Load(path, false, true, true));
  EXPECT_EQ(model.GetRootBone()->name, "base");
}

// ---- Sharing ---------------------------------------------------------------

TEST_F(ModelFiles, APathIsReadOncePerReadableFlag) {
  std::string path = Write("share", std::string("RandomID { 0.75 }") + kBoxBody);
  LogTail stats("_meshStats.txt");
  G::Model first, second, writeOnly;
  ASSERT_TRUE(first.Load(path, true, true, true));
  ASSERT_TRUE(second.Load("MODELS\\Share.MBM", false, true, true));
  EXPECT_EQ(G::g_loadedModels.size(), 1u);
  EXPECT_NE(second.Record(), first.Record());
  EXPECT_EQ(second.Record()->name, path);
  EXPECT_EQ(second.Record()->user, 0);
  EXPECT_EQ(first.Record()->user, 1);
  EXPECT_NE(second.GetRootBone(), first.GetRootBone());
  EXPECT_EQ(second.GetRootBone()->mesh.Record(), first.GetRootBone()->mesh.Record());
  EXPECT_NE(second.GetRootBone()->Children().front(), first.GetRootBone()->Children().front());

  // Not readable: read again (parsed: the cache goes first), and the buffers
  // end write-only.
  std::remove(G::ModelCachePath(path).c_str());
  ASSERT_TRUE(writeOnly.Load(path, false, false, true));
  EXPECT_EQ(G::g_loadedModels.size(), 2u);
  G::Chunk& chunk = writeOnly.GetRootBone()->mesh.Record()->chunks[0];
  EXPECT_TRUE(chunk.vertexBuffer.Record()->writeOnly);
  EXPECT_TRUE(chunk.indexBuffer.Record()->writeOnly);
  EXPECT_EQ(chunk.vertexBuffer.Record()->vertexCount, 3);
  std::string text = stats.Text();
  EXPECT_EQ(text.find("Model: MODELS"), std::string::npos);
  EXPECT_EQ(text.find("Model: models\\share.mbm"), 0u);
  EXPECT_NE(text.find("Model: models\\share.mbm", 1), std::string::npos);
  // The counts of the write-only rebuild are not added twice.
  EXPECT_EQ(G::g_meshStats.graphicVertsBefore, 4);

  // The cache, written while the buffers were readable, loads write-only
  // unless readable buffers are asked for.
  G::ClearLoadedModels();
  ASSERT_TRUE(writeOnly.Load(path, false, false, true));
  EXPECT_TRUE(writeOnly.GetRootBone()->mesh.Record()->chunks[0].vertexBuffer.Record()->writeOnly);
  EXPECT_EQ(G::g_meshStats.graphicVertsBefore, 0);
  ASSERT_TRUE(first.Load(path, false, true, true));
  EXPECT_FALSE(first.GetRootBone()->mesh.Record()->chunks[0].vertexBuffer.Record()->writeOnly);
}

TEST_F(ModelFiles, WithoutOptimizingTheMeshesStayAsWritten) {
  std::string path = Write("raw", std::string("RandomID { 0.5 }") + kBoxBody);
  LogTail stats("_meshStats.txt");
  G::Model model;
  ASSERT_TRUE(model.Load(path, false, true, false));
  EXPECT_EQ(model.GetRootBone()->mesh.Record()->chunks[0].vertexBuffer.Record()->vertexCount, 4);
  EXPECT_EQ(stats.Text(),
            "Model: models\\raw.mbm\n >Total:\n"
            "    -POSITION, original verts: 4\n    -POSITION, optimized verts: 3\n"
            "    -Total Bones: 2\n    -Wasted Bones: 1\n\n");
}

TEST_F(ModelFiles, LoadRefusals) {
  std::string noBones = Write("nobones", "RandomID { 1 }\nMesh { Name { m } }\n");
  struct {
    std::string path;
    bool readable, optimize;
    std::string errors;
  } cases[] = {
      {noBones, false, false,
       "No.  If optimize is false, then readableMeshes must be true.  Read the comment in GBMesh.h ... ...\n"},
      {"models\\box.txt", true, true,
       "Cannot load mesh (models\\box.txt).  Unrecognized file extension.\n  -call stack:\n\n"},
      {"models\\missing.mbm", true, true, "Failed to open file: models\\missing.mbm\n" + FailureTail("models\\missing.mbm")},
      {noBones, true, true, "Failed to load mesh: " + noBones + "\n  -No bones found...\n  -call stack:\n\n"},
  };
  for (const auto& t : cases) {
    LogTail errors;
    G::Model model;
    EXPECT_FALSE(model.Load(t.path, false, t.readable, t.optimize)) << t.path;
    EXPECT_EQ(model.Record(), nullptr);
    EXPECT_EQ(MaskCallStacks(errors.Text()), t.errors) << t.path;
  }
  EXPECT_TRUE(G::g_loadedModels.empty());
}

// The profiler entry of a block as "file samples", empty when absent.
std::string ProfiledBlock(const std::string& name) {
  const char* path = "profile_check.txt";
  if (FILE* f = std::fopen(path, "w")) {
    g_profiler.WriteReport(f, 1.0);
    std::fclose(f);
  }
  std::string report = ReadFileText(path);
  size_t at = report.find(name + " - ");
  if (at == std::string::npos) return "";
  size_t fileStart = at + name.size() + 3;
  std::string file = report.substr(fileStart, report.find('\n', fileStart) - fileStart);
  size_t samples = report.find("Samples taken: ", fileStart) + 15;
  return GetFileName(ToLowerCase(file).substr(file.rfind('/') + 1)) + " " +
         report.substr(samples, report.find('\n', samples) - samples);
}

// Every load is timed, also the ones that fail or end early.
TEST_F(ModelFiles, LoadsAreProfiled) {
  std::string path = Write("timed", std::string("RandomID { 0.5 }") + kBoxBody);
  auto samples = [](const std::string& name) {
    std::string block = ProfiledBlock(name);
    return block.empty() ? 0 : std::stoi(block.substr(block.find(' ') + 1));
  };
  int loads = samples("Load Mesh (mbm or bmbm)"), binary = samples("Load BMBM file (binary)"),
      build = samples("Build Position Mesh"), weld = samples("Optimize Position Mesh");
  G::Model model;
  ASSERT_TRUE(model.Load(path, false, true, true));
  G::ClearLoadedModels();
  ASSERT_TRUE(model.Load(path, false, true, true));  // from the cache
  G::ClearLoadedModels();
  EXPECT_FALSE(model.Load("models\absent.mbm", false, true, true));
  EXPECT_EQ(samples("Load Mesh (mbm or bmbm)"), loads + 3);
  EXPECT_EQ(samples("Load BMBM file (binary)"), binary + 1);
  EXPECT_EQ(samples("Build Position Mesh"), build + 1);
  EXPECT_EQ(samples("Optimize Position Mesh"), weld + 1);
  EXPECT_EQ(ProfiledBlock("Load Mesh (mbm or bmbm)").substr(0, 19), "gbmesh_loadmbm.cpp ");
  EXPECT_EQ(ProfiledBlock("Load BMBM file (binary)").substr(0, 16), "gbmesh_bmbm.cpp ");
  EXPECT_EQ(ProfiledBlock("Build Position Mesh").substr(0, 11), "gbmesh.cpp ");
}

// ---- What the parser accepts and reports -------------------------------------

TEST_F(ModelFiles, NumbersTexturesAndVertexFormats) {
  G::Texture stone = NamedTexture("models\\stone.bmp", false);
  std::string path = Write("details", R"(RandomID { 2 }
Mesh { Name { m }
  Chunk {
    TextureC { 0 stone.bmp 0 }
    TextureB { 2 wood.bmp }
    TextureB { 1 wood.bmp 1 }
    Vertices { PNT2 2  0 0 0  0 0 0.05  0.25 0.75   1 0 0  0 1 0  1 1 }
    Indices { 3  0 1 65536 }
  }
  Chunk {
    Vertices { XYZ 2  1 2 3  4 5 6 }
  }
}
Bone { Name { first } Name { a } Mesh { m }
  ConnectPos { 1.5e-3 --3 -.5 }
  ConnectRot { 2 0 0  0 1.5 0  0 0 1 }
  Odd { ignored { nested } }
}
Junk { anything { at all } }
)");
  LogTail errors;
  G::Model model;
  ASSERT_TRUE(model.Load(path, false, true, false));
  EXPECT_EQ(MaskCallStacks(errors.Text()),
            "Bad texture stage in TextureB for texture models\\wood.bmp: 2\n"
            "loading mbm mesh problem found: Mesh models\\details.mbm has a normal of magnitude near 0\n"
            "Bad.. loading index list from mesh.. an index is out of range (must be 0 to 65535).\n"
            "  -index value: 65536\n  -curMesh name: m\n"
            "Unsupported vertex type in Mesh.Chunk.Vertices: XYZ\n"
            "Warning: Bone \"a\" in model \"models\\details.mbm\" has a scale component in its rotation.\n"
            "Warning parsing mesh: unknown Bone sub-construct: Odd\n"
            "Warning parsing mesh(models\\details.mbm): unrecognized base construct: Junk\n");
  Bone* root = model.GetRootBone();
  EXPECT_EQ(root->name, "a");
  EXPECT_FLOAT_EQ(root->GetConnectPos().x, 0.0015f);
  EXPECT_EQ(root->GetConnectPos().y, 0);
  EXPECT_FLOAT_EQ(root->GetConnectPos().z, -0.5f);
  std::vector<G::Chunk>& chunks = root->mesh.Record()->chunks;
  ASSERT_EQ(chunks.size(), 2u);
  // Stage 0 goes to TextureB whatever the keyword; stage 1 to TextureC.
  EXPECT_EQ(chunks[0].TextureB.Record(), stone.Record());
  EXPECT_EQ(chunks[0].TextureC.Record(), wood_->Record());
  const G::VertexBufferRecord* vb = chunks[0].vertexBuffer.Record();
  EXPECT_EQ(vb->vertexSize, 32);
  ASSERT_EQ(vb->format.size(), 3u);
  EXPECT_EQ(vb->format[2].type, G::kFloat2);
  EXPECT_EQ(vb->format[2].use, G::kUseTexCoord);
  float uv[2];
  std::memcpy(uv, NullBackend::VertexBufferMemory(vb) + 24, 8);
  EXPECT_EQ(uv[0], 0.25f);
  EXPECT_EQ(uv[1], 0.75f);
  EXPECT_EQ(IndicesOf(chunks[0].indexBuffer), (std::vector<unsigned short>{0, 1, 0}));
  EXPECT_EQ(chunks[1].vertexBuffer.Record(), nullptr);
}

// Each text is refused, with these messages, and leaves no bone behind.
TEST_F(ModelFiles, BrokenModelsAreRefusedWithTheirReasons) {
  const std::string P = "models\\broken.mbm";
  const std::string chunkStack = " Chunk Mesh(name=m)    ";
  const std::string noNameTail = "Error: A Mesh has no name (and hence no way for a bone to use it) in model: " + P +
                                 "\nErrors in meshes of model file: " + P + "\n" + FailureTail(P);
  struct {
    const char* what;
    std::string text;
    std::string errors;
    void (*script)(NullBackend::Script&) = nullptr;
  } cases[] = {
      {"a file that ends inside a vertex list",
       "Mesh { Name { m } Chunk { Vertices { PNC 2  0 0 0  0 0 1",
       "Error parsing mesh: expected }... but found: \n" + ParseFailure(P, "Vertices" + chunkStack)},
      {"a construct without its opening brace", "Bone Name { a } }",
       "Error parsing mesh: expected {... but found: Name\n" + ParseFailure(P, "")},
      {"an opening brace where a value belongs", "Bone { Name { { } }",
       "Error parsing mesh: unexpected {\n" + ParseFailure(P, "")},
      {"an unknown part of a mesh never opened", "Mesh { Name { m } Odd",
       "Warning parsing mesh: unknown Mesh sub-construct: Odd\n"
       "Error parsing mesh: never found opening {, trying to skip scope.\n" + ParseFailure(P, "Odd Mesh(name=m)    ")},
      {"an unknown part of a chunk closed early", "Mesh { Name { m } Chunk { Odd } }",
       "Warning parsing mesh: unknown Mesh.Chunk sub-construct: Odd\n"
       "Error parsing mesh: unexpected } while trying to skip scope.\n" + ParseFailure(P, "Odd" + chunkStack)},
      // The lock failures alone do not refuse the model; the missing mesh
      // name does.
      {"vertices that cannot be locked", "Mesh { Chunk { Vertices { PNC 1  0 0 0  0 0 1  1 1 1 1 } } } Bone { }",
       "could not lock VB, trying to load mesh.\n  -call stack:\n\n" + noNameTail,
       [](NullBackend::Script& s) { s.lockVertexBufferResult = false; }},
      {"indices that cannot be locked", "Mesh { Chunk { Indices { 3  0 0 0 } } } Bone { }",
       "could not lock IB, trying to load mesh.\n  -call stack:\n\n" + noNameTail,
       [](NullBackend::Script& s) { s.lockIndexBufferResult = false; }},
      {"a stray closing brace", "}\nBone { }",
       "Error parsing mesh: unexpected }\nWarning parsing mesh(" + P + "): unrecognized base construct: }\n" +
           ParseFailure(P, "")},
      {"an unknown construct closed early", "Bone { Odd } }",
       "Warning parsing mesh: unknown Bone sub-construct: Odd\n"
       "Error parsing mesh: unexpected } while trying to skip scope.\n" + ParseFailure(P, "")},
      {"an unknown construct never opened", "Bone { Name { a } Odd",
       "Warning parsing mesh: unknown Bone sub-construct: Odd\n"
       "Error parsing mesh: never found opening {, trying to skip scope.\n" + ParseFailure(P, "")},
      {"an exponent in capitals", "Bone { ConnectPos { 1E3 0 0 } }",
       "Error parsing mesh: expected float... but found: 1E3\n" + ParseFailure(P, "")},
      {"a plus sign", "Bone { ConnectPos { +1 0 0 } }",
       "Error parsing mesh: expected float... but found: +1\n" + ParseFailure(P, "")},
      {"a fraction where an index belongs", "Mesh { Name { m } Chunk { Indices { 1 2.0 } } }",
       "Error parsing mesh: expected integer... but found: 2.0\n" + ParseFailure(P, "Indices" + chunkStack)},
      {"more indices than 16 bits count", "Mesh { Name { m } Chunk { Indices { 70000 0 } } }",
       "Error parsing mesh: index count out of range (must be 0 to 65535): 70000\n" +
           ParseFailure(P, "Indices" + chunkStack)},
      {"a negative vertex count", "Mesh { Name { m } Chunk { Vertices { PNC -1 } } }",
       "Error parsing mesh: vertex count out of range (must be 0 or more): -1\n" +
           ParseFailure(P, "Vertices" + chunkStack)},
      // No buffer is made for more vertices than the rest of the file holds:
      // the list runs short as any short list does.
      {"more vertices than the file holds", "Mesh { Name { m } Chunk { Vertices { PNC 100000000  0 0 0  0 0 1  1 } } }",
       "Error parsing mesh: unexpected }\nError parsing mesh: expected float... but found: }\n"
       "Error parsing mesh: unexpected }\nError parsing mesh: expected float... but found: }\n"
       "Error parsing mesh: unexpected }\nError parsing mesh: expected float... but found: }\n" +
           ParseFailure(P, "Vertices" + chunkStack)},
      {"more vertices than the file holds, cut off", "Mesh { Name { m } Chunk { Vertices { PNC 2000000000  1",
       "Error parsing mesh: expected }... but found: \n" + ParseFailure(P, "Vertices" + chunkStack)},
      {"a missing child", "Bone { Name { a } Child { b } }",
       "Bone(a) asked for child \"b\" that doesn't exist.\nErrors in bones of model file: " + P + "\n" +
           FailureTail(P)},
      {"a bone naming itself", "Bone { Name { a } Child { a } }",
       "Bone(a) asked for child \"a\" that doesn't exist.\nErrors in bones of model file: " + P + "\n" +
           FailureTail(P)},
      {"two bones claiming one child",
       "Bone { Name { a } Child { c } } Bone { Name { b } Child { c } } Bone { Name { c } }",
       "Bone(b) asked for child \"c\", but that child already has a parent(a)\n"
       "Error arranging bones: more than one bone with no parent was found.\n"
       "  -previosly found top-bone name: a\n  -other top bone found: b\n"
       "Errors in bones of model file: " + P + "\n" + FailureTail(P)},
      {"a loop of children", "Bone { Name { r } } Bone { Name { a } Child { b } } Bone { Name { b } Child { a } }",
       "Error arranging bones: Bone(a) is part of a loop of children.\n"
       "Error arranging bones: Bone(b) is part of a loop of children.\n"
       "Error arranging bones: more than one bone with no parent was found.\n"
       "  -previosly found top-bone name: r\n  -other top bone found: a\n"
       "Error arranging bones: more than one bone with no parent was found.\n"
       "  -previosly found top-bone name: r\n  -other top bone found: b\n"
       "Errors in bones of model file: " + P + "\n" + FailureTail(P)},
      {"a mesh without a name", "Mesh { Chunk { } } Bone { Name { a } }",
       "Error: A Mesh has no name (and hence no way for a bone to use it) in model: " + P +
           "\nErrors in meshes of model file: " + P + "\n" + FailureTail(P)},
      {"a bone asking for a missing mesh", "Bone { Name { a } Mesh { nope } }",
       "Error attaching meshes to bones: Bone(a) asked for Mesh(nope) that couldn't be found.\n"
       "Errors in meshes of model file: " + P + "\n" + FailureTail(P)},
  };
  const NullBackend::Script unscripted = NullBackend::Scripted();
  for (const auto& t : cases) {
    Write("broken", "RandomID { 1 }\n" + t.text);
    NullBackend::Scripted() = unscripted;
    if (t.script) t.script(NullBackend::Scripted());
    LogTail errors;
    G::Model model;
    EXPECT_FALSE(model.Load(P, false, true, true)) << t.what;
    EXPECT_EQ(MaskCallStacks(errors.Text()), t.errors) << t.what;
    EXPECT_FALSE(FileExists(G::ModelCachePath(P))) << t.what;
    EXPECT_EQ(G::g_liveBones, 0) << t.what;
  }
}

// What cannot be drawn safely is left out; the rest of the model loads. (The
// parse alone: loaded without welding, which has its own word on chunks
// without buffers.)
TEST_F(ModelFiles, UnsafePartsAreLeftOutAndTheModelKept) {
  const std::string P = "models\\kept.mbm";
  const std::string oneVertex = "Vertices { PNC 1  0 0 0  0 0 1  1 1 1 1 }";
  const std::string twoVertices = "Vertices { PNC 2  0 0 0  0 0 1  1 1 1 1  1 0 0  0 0 1  1 1 1 1 }";
  auto outOfRange = [](int most, int value) {
    return "Bad.. loading index list from mesh.. an index is out of range (must be 0 to " + std::to_string(most) +
           ").\n  -index value: " + std::to_string(value) + "\n  -curMesh name: m\n";
  };
  const struct {
    const char* what;
    std::string text;
    std::string errors;
    std::vector<unsigned short> indices;  // of the mesh's first chunk
    bool indexBuffer;
  } cases[] = {
      {"a triangle naming a vertex past the chunk's",
       "Mesh { Name { m } Chunk { Indices { 9  0 0 1  0 0 0  1 0 0 } " + oneVertex + " } } Bone { Mesh { m } }",
       outOfRange(0, 1) + outOfRange(0, 1), {0, 0, 0}, true},
      {"a negative index, kept as 65535",
       "Mesh { Name { m } Chunk { " + twoVertices + " Indices { 6  0 1 -1  1 0 1 } } } Bone { Mesh { m } }",
       outOfRange(65535, -1) + outOfRange(1, 65535), {1, 0, 1}, true},
      {"the incomplete triangle at the end",
       "Mesh { Name { m } Chunk { " + oneVertex + " Indices { 5  0 0 0  0 4 } } } Bone { Mesh { m } }",
       outOfRange(0, 4), {0, 0, 0}, true},
      {"indices without vertices", "Mesh { Name { m } Chunk { Indices { 3  0 2 0 } } } Bone { Mesh { m } }",
       outOfRange(-1, 0) + outOfRange(-1, 2) + outOfRange(-1, 0), {}, false},
      {"vertices of a format that is not read",
       "Mesh { Name { m } Chunk { Vertices { XYZ 1  0 0 0 } Indices { 3  0 0 0 } } } Bone { Mesh { m } }",
       "Unsupported vertex type in Mesh.Chunk.Vertices: XYZ\n" + outOfRange(-1, 0) + outOfRange(-1, 0) +
           outOfRange(-1, 0),
       {}, false},
      // A file cut off between constructs keeps what it holds whole.
      {"a file that ends inside a bone", "Mesh { Name { m } Chunk { } } Bone { Name { a } Mesh { m }", "", {},
       false},
      {"a file that ends inside a mesh",
       "Bone { Name { a } Mesh { m } } Mesh { Name { m } Chunk { " + oneVertex + " Indices { 3  0 0 0 } }", "",
       {0, 0, 0}, true},
      {"a file that ends inside a chunk",
       "Bone { Name { a } Mesh { m } } Mesh { Name { m } Chunk { " + oneVertex + " Indices { 3  0 0 0 }", "",
       {0, 0, 0}, true},
      {"a file that ends inside a chunk with an index past its vertices",
       "Bone { Name { a } Mesh { m } } Mesh { Name { m } Chunk { " + oneVertex + " Indices { 6  0 0 0  0 0 1 }",
       outOfRange(0, 1), {0, 0, 0}, true},
  };
  for (const auto& t : cases) {
    Write("kept", "RandomID { 1 }\n" + t.text);
    LogTail errors;
    G::Model model;
    ASSERT_TRUE(model.Load(P, false, true, false)) << t.what;
    EXPECT_EQ(MaskCallStacks(errors.Text()), t.errors) << t.what;
    const std::vector<G::Chunk>& chunks = model.GetRootBone()->mesh.Record()->chunks;
    ASSERT_EQ(chunks.size(), 1u) << t.what;
    G::IndexBuffer indices = chunks[0].indexBuffer;
    EXPECT_EQ(indices.Record() != nullptr, t.indexBuffer) << t.what;
    EXPECT_EQ(IndicesOf(indices), t.indices) << t.what;
    // What was kept is what the cache holds: it reads back.
    G::ModelLoadRecord cached;
    ASSERT_TRUE(G::LoadMeshBMBM(G::ModelCachePath(P), true, cached)) << t.what;
    G::FreeBone(cached.root);
    G::ClearLoadedModels();
  }
}

// A chunk may hold more vertices than 16-bit indices reach; the binary
// cache cannot hold it, so the model is read from its text each time.
TEST_F(ModelFiles, AChunkOfMoreThan65535VerticesLoads) {
  const int count = 65537;
  std::string text = "RandomID { 1 }\nMesh { Name { m } Chunk {\n  Vertices { PNC " + std::to_string(count) + "\n";
  for (int i = 0; i < count; ++i) text += std::to_string(i) + " 0 0  0 0 1  1 1 1 1\n";
  text += "  }\n  Indices { 3  0 1 65535 }\n} }\nBone { Name { a } Mesh { m } }\n";
  std::string path = Write("big", text);
  LogTail errors;
  G::Model model;
  ASSERT_TRUE(model.Load(path, false, true, true));
  EXPECT_EQ(errors.Text(),
            "Cannot save mesh(m) in the binary model format: a chunk's vertex count is 65537, at most 65535.\n"
            "An error occured trying to save gen\\models\\big.bmbm\n");
  EXPECT_FALSE(FileExists("gen\\models\\big.bmbm"));
  G::Chunk& chunk = model.GetRootBone()->mesh.Record()->chunks[0];
  std::vector<Vertex> vertices = VerticesOf(chunk.vertexBuffer);
  ASSERT_EQ(vertices.size(), static_cast<size_t>(count));
  EXPECT_EQ(vertices[count - 1].position[0], static_cast<float>(count - 1));
  EXPECT_EQ(IndicesOf(chunk.indexBuffer), (std::vector<unsigned short>{0, 1, 65535}));
}

TEST_F(ModelFiles, AChainDeeperThanTheLimitIsRefused) {
  std::string text = "RandomID { 1 }\n";
  for (int i = 0; i < G::kMaxBoneDepth + 1; ++i)
    text += "Bone { Name { b" + std::to_string(i) + " } Child { b" + std::to_string(i + 1) + " } }\n";
  text += "Bone { Name { b" + std::to_string(G::kMaxBoneDepth + 1) + " } }\n";
  std::string path = Write("deep", text);
  LogTail errors;
  G::Model model;
  EXPECT_FALSE(model.Load(path, false, true, true));
  EXPECT_EQ(errors.Text().rfind("Error arranging bones: the bone tree is more than 256 bones deep.\n", 0), 0u);
  EXPECT_EQ(G::g_liveBones, 0);

  // One level less loads.
  text = "RandomID { 1 }\n";
  for (int i = 0; i < G::kMaxBoneDepth - 1; ++i)
    text += "Bone { Name { b" + std::to_string(i) + " } Child { b" + std::to_string(i + 1) + " } }\n";
  text += "Bone { Name { b" + std::to_string(G::kMaxBoneDepth - 1) + " } }\n";
  Write("deep", text);
  ASSERT_TRUE(model.Load(path, false, true, true));
  G::ClearLoadedModels();
  ASSERT_TRUE(model.Load(path, false, true, true));  // and from its cache
  EXPECT_EQ(model.FindBone("b255")->GetParent()->name, "b254");
}

TEST_F(ModelFiles, ATextureThatFailsToLoadIsNoted) {
  std::string path = Write("notex", "RandomID { 1 }\nMesh { Name { m } Chunk { TextureB { 0 nothere.bmp } } }\n"
                                    "Bone { Name { a } Mesh { m } }\n");
  LogTail errors;
  G::Model model;
  ASSERT_TRUE(model.Load(path, false, true, true));
  EXPECT_NE(errors.Text().find("Note: mesh(models\\notex.mbm) failed to load texture: models\\nothere.bmp\n"),
            std::string::npos);
  EXPECT_EQ(model.GetRootBone()->mesh.Record()->chunks[0].TextureB.Record(), nullptr);
}

// ---- The cache when it is damaged ------------------------------------------

TEST_F(ModelFiles, ADamagedCacheIsRefusedAndTheTextParsedInstead) {
  std::string path = Write("damaged", std::string("RandomID { 0.125 }") + kBoxBody);
  std::string cache = G::ModelCachePath(path);
  G::Model model;
  ASSERT_TRUE(model.Load(path, false, true, true));
  G::ClearLoadedModels();
  const std::string good = ReadFileBytes(cache);
  ASSERT_GT(good.size(), 100u);

  auto loadsWhole = [&](const std::string& cacheBytes, const std::string& what) {
    WriteFileBytes(cache, cacheBytes);
    G::Model m;
    ASSERT_TRUE(m.Load(path, false, true, true)) << what;
    Bone* root = m.GetRootBone();
    ASSERT_NE(root, nullptr) << what;
    G::ClearLoadedModels();
  };
  // Every length short of the whole file, from an empty file on.
  for (size_t length = 0; length < good.size(); ++length) loadsWhole(good.substr(0, length), "truncated");
  // Every byte after the header replaced by each of two extremes.
  for (size_t at = 8; at < good.size(); ++at)
    for (char value : {'\x00', '\xFF'}) {
      std::string bad = good;
      bad[at] = value;
      loadsWhole(bad, "byte " + std::to_string(at));
    }

  // The messages of a refused cache, and the parse that follows.
  std::string old = good;
  old[0] = 0x36;  // version 1334
  WriteFileBytes(cache, old);
  LogTail errors;
  ASSERT_TRUE(model.Load(path, false, true, true));
  // Version 1334 does not carry the text's RandomID, so it is not even read.
  EXPECT_EQ(errors.Text(), "");
  EXPECT_EQ(ReadFileBytes(cache), good);
  G::ClearLoadedModels();

  std::string badIndex = good;
  size_t indices = badIndex.find(std::string("\x06\x00\x00\x00\x01\x00", 6));
  ASSERT_NE(indices, std::string::npos);
  badIndex[indices + 2] = 3;  // the first index names a fourth vertex of three
  WriteFileBytes(cache, badIndex);
  LogTail indexErrors;
  ASSERT_TRUE(model.Load(path, false, true, true));
  EXPECT_EQ(indexErrors.Text(),
            "Damaged mesh record in a binary model cache: an index past its chunk's vertices.\n"
            "Problem during loading a binary mesh...\nFailed to load " + cache + "\n");
}

TEST_F(ModelFiles, CacheFilesThatCannotBeUsed) {
  const std::string cache = "gen\\models\\odd.bmbm";
  CreateDirectoryPath(cache);
  std::remove(cache.c_str());
  G::ModelLoadRecord out;
  float missing = G::ReadCachedRandomID(cache);
  EXPECT_LE(missing, 0.0f);
  EXPECT_GE(missing, -1.0f);
  LogTail errors;
  EXPECT_FALSE(G::LoadMeshBMBM(cache, true, out));
  EXPECT_EQ(errors.Text(), "Could not open file \"gen\\models\\odd.bmbm\" for LoadMeshBMBM.\n");

  struct {
    std::string bytes;
    std::string errors;
  } cases[] = {
      {"\x37\x05", "Binary model cache " + cache + " is shorter than its header.\n"},
      {Bytes().U32(1334).F32(1).U8(0).data,
       "old version of: " + cache + " so not loadable.  delete the cached mesh please.\n"},
      {Bytes().U32(1335).F32(1).data,
       "The binary model data ends before its end of stream in DoLoadBMBMHierarchy.\nFailed to load " + cache + "\n"},
  };
  for (const auto& t : cases) {
    WriteFileBytes(cache, t.bytes);
    LogTail log;
    EXPECT_FALSE(G::LoadMeshBMBM(cache, true, out));
    EXPECT_EQ(log.Text(), t.errors);
    EXPECT_EQ(out.root, nullptr);
  }
  WriteFileBytes(cache, Bytes().U32(1335).F32(0.5f).data);
  EXPECT_EQ(G::ReadCachedRandomID(cache), 0.5f);
}

TEST_F(ModelFiles, RecordStreamsThatCannotBeUsed) {
  Bytes vertex;
  vertex.F32(0).F32(0).F32(0).F32(0).F32(0).F32(1).U32(0xFFFFFFFF);
  auto meshRecord = [&](const std::string& name, unsigned stride, unsigned index) {
    Bytes b;
    b.U8(1).Str(name).U8(1).U8(0).Str("").U8(0).Str("");
    b.U8(24).U32(2).U32(0).U32(2).U32(1).U32(4).U32(2).U16(1).U8(stride).Raw(vertex.data.data(), 28);
    b.U16(3).U16(0).U16(0).U16(index).U16(0).U16(0);
    return b.data;
  };
  std::string chain;
  for (int i = 0; i <= G::kMaxBoneDepth; ++i) {
    std::vector<std::string> children;
    if (i > 0) children.push_back("b" + std::to_string(i - 1));
    chain += Bytes().U8(2).Bone("b" + std::to_string(i), "", children).data;
  }
  struct {
    const char* what;
    std::string stream;
    bool ok;
    std::string errors;
    void (*script)(NullBackend::Script&) = nullptr;
  } cases[] = {
      {"only the end", Bytes().U8(0).data, true, ""},
      {"a bad type byte", Bytes().U8(7).data, false, "Bad TYPE byte in DoLoadBMBMHierarchy.\n"},
      {"two trees", Bytes().U8(2).Bone("a", "", {}).U8(2).Bone("b", "", {}).U8(0).data, false,
       "Too many parent bones after DoLoadBMBMHierarchy finished.\n"},
      {"a child not read yet", Bytes().U8(2).Bone("a", "", {"x"}).U8(0).data, false,
       "Bone a asked for child x but it wasn't found...\n"},
      {"a child taken twice",
       Bytes().U8(2).Bone("x", "", {}).U8(2).Bone("a", "", {"x"}).U8(2).Bone("b", "", {"x"}).U8(0).data, false,
       "Bone b asked for child x but it wasn't found...\n"},
      {"a bone record cut short", Bytes().U8(2).U32(0).Str("a").data, false,
       "Damaged bone record in a binary model cache: the data ends inside it.\n"
       "Problem during loading a binary mesh...\n"},
      {"bytes after the end", Bytes().U8(0).U8(0).data, false, "Data after the end of stream in DoLoadBMBMHierarchy.\n"},
      {"an unused mesh", meshRecord("m", 28, 0) + meshRecord("n", 28, 0) + Bytes().U8(2).Bone("a", "n", {}).U8(0).data,
       true, "Note: a mesh went unused in DoLoadBMBMHierarchy.\n"},
      {"a stride unlike its format", meshRecord("m", 24, 0) + Bytes().U8(0).data, false,
       "Damaged mesh record in a binary model cache: a vertex size that differs from its vertex format's.\n"
       "Problem during loading a binary mesh...\n"},
      {"an index past the vertices", meshRecord("m", 28, 1) + Bytes().U8(0).data, false,
       "Damaged mesh record in a binary model cache: an index past its chunk's vertices.\n"
       "Problem during loading a binary mesh...\n"},
      {"a tree too deep", chain + Bytes().U8(0).data, false,
       "The bone tree is more than 256 bones deep in DoLoadBMBMHierarchy.\n"},
      {"a vertex buffer that cannot be made", meshRecord("m", 28, 0) + Bytes().U8(0).data, false,
       "Null backend: vertex buffer creation refused.\nFailed to make VB in Mesh::BinaryLoad.\n"
       "Problem during loading a binary mesh...\n",
       [](NullBackend::Script& s) { s.createVertexBufferResult = false; }},
      {"an index buffer that cannot be made", meshRecord("m", 28, 0) + Bytes().U8(0).data, false,
       "Null backend: index buffer creation refused.\nFailed to make IB in Mesh::BinaryLoad.\n"
       "Problem during loading a binary mesh...\n",
       [](NullBackend::Script& s) { s.createIndexBufferResult = false; }},
      {"a vertex buffer that cannot be locked", meshRecord("m", 28, 0) + Bytes().U8(0).data, false,
       "Could not lock VB in Mesh::BinaryLoad.\nProblem during loading a binary mesh...\n",
       [](NullBackend::Script& s) { s.lockVertexBufferResult = false; }},
      {"an index buffer that cannot be locked", meshRecord("m", 28, 0) + Bytes().U8(0).data, false,
       "Could not lock IB in Mesh::BinaryLoad.\nProblem during loading a binary mesh...\n",
       [](NullBackend::Script& s) { s.lockIndexBufferResult = false; }},
  };
  const NullBackend::Script unscripted = NullBackend::Scripted();
  for (const auto& t : cases) {
    NullBackend::Scripted() = unscripted;
    if (t.script) t.script(NullBackend::Scripted());
    G::ModelLoadRecord out;
    LogTail errors;
    EXPECT_EQ(G::DoLoadBMBMHierarchy(reinterpret_cast<const unsigned char*>(t.stream.data()), t.stream.size(), true,
                                     out),
              t.ok)
        << t.what;
    EXPECT_EQ(errors.Text(), t.errors) << t.what;
    if (t.ok && out.root) {
      EXPECT_EQ(out.root->mesh.Record()->name, "n") << t.what;
      EXPECT_EQ(out.root->mesh.Record()->chunks.size(), 1u) << t.what;
      G::FreeBone(out.root);
    }
    EXPECT_EQ(G::g_liveBones, 0) << t.what;
  }
}

// The writer refuses counts its fields cannot hold; the model still loads.
TEST_F(ModelFiles, ACacheThatCannotHoldTheModelIsNotWritten) {
  std::string name(300, 'n');
  std::string path = Write("long", "RandomID { 1 }\nBone { Name { " + name + " } }\n");
  LogTail errors;
  G::Model model;
  ASSERT_TRUE(model.Load(path, false, true, true));
  EXPECT_EQ(errors.Text(), "Cannot save bone(" + name +
                               ") in the binary model format: its name's length is 300, at most 255.\n"
                               "An error occured trying to save gen\\models\\long.bmbm\n");
  EXPECT_FALSE(FileExists("gen\\models\\long.bmbm"));
  EXPECT_EQ(model.GetRootBone()->name, name);

#ifdef _WIN32
  // A folder where the file should go. (Natively the cache's backslashes are
  // part of a file name, so no folder can stand in its way.)
  std::string blocked = Write("blocked", "RandomID { 1 }\nBone { Name { a } }\n");
  CreateDirectoryPath(G::ModelCachePath(blocked) + "\\");
  LogTail openErrors;
  ASSERT_TRUE(model.Load(blocked, false, true, true));
  EXPECT_EQ(openErrors.Text(), "Could not open \"gen\\models\\blocked.bmbm\" to write to.\n");
#endif
}

// A mesh whose buffers cannot be read back fails the whole save.
TEST_F(ModelFiles, MeshesThatCannotBeReadAreNotSaved) {
  struct {
    const char* what;
    bool vertexWriteOnly, indexWriteOnly;
    void (*script)(NullBackend::Script&);
    std::string errors;
  } cases[] = {
      {"write-only vertices", true, false, nullptr, "Bad: VB is write only... not readable... but attempt to save it.\n"},
      {"write-only indices", false, true, nullptr, "Bad: IB is write only... not readable... but attempt to save it.\n"},
      {"vertices that cannot be locked", false, false,
       [](NullBackend::Script& s) { s.lockVertexBufferResult = false; }, "Could not lock VB in BinarySave.\n"},
      {"indices that cannot be locked", false, false,
       [](NullBackend::Script& s) { s.lockIndexBufferResult = false; }, "Could not lock IB in BinarySave.\n"},
  };
  const NullBackend::Script unscripted = NullBackend::Scripted();
  for (const auto& t : cases) {
    G::Model model = G::CreateEmptyModel(false);
    G::Mesh mesh;
    G::Chunk chunk = MakeChunk({V(0, 0, 0)}, {0, 0, 0});
    chunk.vertexBuffer.Record()->writeOnly = t.vertexWriteOnly;
    chunk.indexBuffer.Record()->writeOnly = t.indexWriteOnly;
    mesh.Record()->chunks.push_back(chunk);
    model.GetRootBone()->mesh = mesh;
    G::ModelLoadRecord record;
    record.root = model.GetRootBone();
    std::remove("gen\\models\\wo.bmbm");
    if (t.script) t.script(NullBackend::Scripted());
    LogTail errors;
    EXPECT_FALSE(G::SaveMeshBMBM("gen\\models\\wo.bmbm", record)) << t.what;
    EXPECT_EQ(errors.Text(), t.errors + "An error occured trying to save gen\\models\\wo.bmbm\n") << t.what;
    EXPECT_FALSE(FileExists("gen\\models\\wo.bmbm")) << t.what;
    NullBackend::Scripted() = unscripted;
  }
}

}  // namespace

// The .mbm text model format: tokens separated by whitespace, bones and meshes
// as keyword-and-braces constructs. A successful parse writes the binary
// cache, which later loads read instead while the leading RandomID matches.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <unordered_map>

#include "foundation/CProfiler.h"
#include "foundation/LogFile.h"
#include "foundation/Utility.h"
#include "foundation/Vary.h"
#include "graphics/GBMesh.h"
#include "graphics/PackedColor.h"

namespace G {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

bool OnlyCharacters(const std::string& token, const char* allowed) {
  for (char c : token)
    if (!std::strchr(allowed, c) || c == '\0') return false;
  return true;
}

class MbmTokenizer {
 public:
  explicit MbmTokenizer(const std::string& text) : text_(text) {}

  bool error = false;
  bool end = false;

  std::string NextToken() {
    std::string token;
    if (pushed_) {
      pushed_ = false;
      token.swap(pushedToken_);
    } else {
      while (pos_ < text_.size() && IsBlank(text_[pos_])) ++pos_;
      size_t start = pos_;
      while (pos_ < text_.size() && !IsBlank(text_[pos_])) ++pos_;
      token.assign(text_, start, pos_ - start);
    }
    if (token.empty()) end = true;
    return token;
  }

  std::string GetToken() {
    std::string token = NextToken();
    if (!token.empty() && token[0] == '}') Fail("Error parsing mesh: unexpected }\n");
    if (!token.empty() && token[0] == '{') Fail("Error parsing mesh: unexpected {\n");
    return token;
  }

  int ReadInt() {
    std::string token = GetToken();
    if (!OnlyCharacters(token, "0123456789-")) {
      Fail("Error parsing mesh: expected integer... but found: " + token + "\n");
    }
    return Vary(token).AsInt();
  }

  float ReadFloat() {
    std::string token = GetToken();
    if (!OnlyCharacters(token, "0123456789-.e")) {
      Fail("Error parsing mesh: expected float... but found: " + token + "\n");
    }
    return Vary(token).AsFloat();
  }

  Vector3 ReadVector3() {
    float x = ReadFloat();
    float y = ReadFloat();
    float z = ReadFloat();
    return Vector3(x, y, z);
  }

  // Nine floats in reading order.
  Matrix3 ReadMatrix3() {
    Matrix3 m;
    for (float& value : m.m) value = ReadFloat();
    return m;
  }

  bool ExpectOpen() { return Expect("{"); }
  bool ExpectClose() { return Expect("}"); }

  bool PeekIsBrace() {
    std::string token = NextToken();
    bool brace = token == "{" || token == "}";
    pushedToken_.swap(token);
    pushed_ = true;
    return brace;
  }

  // Skips an unknown construct: its body and every scope inside it.
  bool SkipScope() {
    int depth = 0;
    bool opened = false;
    for (;;) {
      std::string token = NextToken();
      if (end) break;
      if (token == "{") {
        opened = true;
        ++depth;
      } else if (token == "}") {
        if (!opened) {
          Fail("Error parsing mesh: unexpected } while trying to skip scope.\n");
          return false;
        }
        if (--depth == 0) return true;
      }
    }
    if (!opened) Fail("Error parsing mesh: never found opening {, trying to skip scope.\n");
    return false;
  }

  // Skips the values of a construct whose data cannot be stored.
  void SkipToBrace() {
    while (!end && !PeekIsBrace()) NextToken();
  }

  // Whether the rest of the text could hold `values` more values: each is
  // at least one character with a blank before it.
  bool CouldHold(unsigned long long values) const {
    size_t left = text_.size() - pos_ + (pushed_ ? pushedToken_.size() + 1 : 0);
    return values <= left / 2;
  }

  // Nothing but blanks left.
  bool AtEnd() {
    if (pushed_) return pushedToken_.empty();
    size_t p = pos_;
    while (p < text_.size() && IsBlank(text_[p])) ++p;
    return p >= text_.size();
  }

  void Fail(const std::string& message) {
    error = true;
    ErrorLog << message;
  }

 private:
  bool Expect(const char* brace) {
    std::string token = NextToken();
    if (token == brace) return true;
    Fail(std::string("Error parsing mesh: expected ") + brace + "... but found: " + token + "\n");
    return false;
  }

  const std::string& text_;
  size_t pos_ = 0;
  bool pushed_ = false;
  std::string pushedToken_;
};

// One text for an index outside what it may name: the 16 bits an index is
// stored in, or the vertices of its chunk.
void LogIndexOutOfRange(int most, int value, const Mesh& mesh) {
  ErrorLog << "Bad.. loading index list from mesh.. an index is out of range (must be 0 to " << most << ").\n"
           << "  -index value: " << value << "\n"
           << "  -curMesh name: " << mesh.Record()->name << "\n";
}

struct BoneDef {
  Bone* bone;
  bool linked;
  std::vector<std::string> childNames;
  std::string meshName;
};

class MbmParser {
 public:
  MbmParser(const std::string& text, const std::string& path, bool readable, ModelLoadRecord& out)
      : tok_(text), path_(path), folder_(GetDirectory(path)), readable_(readable), out_(out) {}

  bool Parse(bool optimize);

 private:
  bool ParseBone();
  bool ParseMesh();
  void ParseChunk(Mesh& mesh);
  void ParseTexture(const std::string& word, Chunk& chunk);
  void ParseVertices(Chunk& chunk);
  void ReadVertices(unsigned char* out, int count, bool pnc);
  void ParseIndices(Chunk& chunk, const Mesh& mesh);
  void DropTrianglesPastVertices(Chunk& chunk, const Mesh& mesh);
  void LinkChildren();
  Bone* FindTopBone();
  void FinishMeshes(bool optimize);

  MbmTokenizer tok_;
  std::string path_;
  std::string folder_;
  bool readable_;
  ModelLoadRecord& out_;
  std::vector<BoneDef> bones_;
  std::list<Mesh> meshes_;
  std::string errorStack_;
  bool boneError_ = false;
  bool meshError_ = false;
  bool leadingRandomID_ = false;
};

bool MbmParser::Parse(bool optimize) {
  bool first = true;
  while (!tok_.end && !tok_.AtEnd()) {
    std::string keyword = tok_.GetToken();
    if (tok_.end) break;
    if (first && keyword != "RandomID")
      ErrorLog << "Warning: .mbm file (" << path_
               << "), first construct is not RandomID.  Binary version will not be cached.  Quit being lazy if you "
                  "want the game to load faster...\n";
    bool isFirst = first;
    first = false;
    if (keyword == "RandomID") {
      if (isFirst) {
        leadingRandomID_ = true;
        if (!tok_.ExpectOpen()) break;
        out_.RandomID = tok_.ReadFloat();
        std::string cachePath = ModelCachePath(path_);
        if (!tok_.error && ReadCachedRandomID(cachePath) == out_.RandomID &&
            LoadMeshBMBM(cachePath, readable_, out_))
          return true;
        tok_.ExpectClose();
      } else {
        ErrorLog << "Warning: .mbm file (" << path_ << "), RandomID is only valid as first construct in the file.\n";
        tok_.SkipScope();
      }
    } else if (keyword == "Bone") {
      if (!ParseBone()) break;
    } else if (keyword == "Mesh") {
      if (!ParseMesh()) break;
    } else {
      ErrorLog << "Warning parsing mesh(" << path_ << "): unrecognized base construct: " << keyword << "\n";
      tok_.SkipScope();
    }
    if (tok_.error) break;
  }

  bool parseError = tok_.error;
  if (!parseError) LinkChildren();
  Bone* top = FindTopBone();
  if (!parseError) {
    for (Mesh& mesh : meshes_) {
      if (!mesh.Record()->name.empty()) continue;
      meshError_ = true;
      ErrorLog << "Error: A Mesh has no name (and hence no way for a bone to use it) in model: " << path_ << "\n";
    }
  }
  if (!parseError && !boneError_ && !meshError_) {
    std::unordered_map<std::string, Mesh*> byName;
    for (Mesh& mesh : meshes_) byName.emplace(mesh.Record()->name, &mesh);
    for (BoneDef& def : bones_) {
      if (def.meshName.empty()) continue;
      auto found = byName.find(def.meshName);
      if (found == byName.end()) {
        meshError_ = true;
        ErrorLog << "Error attaching meshes to bones: Bone(" << def.bone->name << ") asked for Mesh(" << def.meshName
                 << ") that couldn't be found.\n";
        continue;
      }
      def.bone->mesh = *found->second;
    }
  }
  if (!parseError && !boneError_ && !meshError_) {
    out_.root = top;
    FinishMeshes(optimize);
    return true;
  }

  if (parseError)
    ErrorLog << "Errors occured parsing the file " << path_ << "\n  error stack: " << errorStack_ << "\n";
  if (boneError_) ErrorLog << "Errors in bones of model file: " << path_ << "\n";
  if (meshError_) ErrorLog << "Errors in meshes of model file: " << path_ << "\n";
  // The tops are picked before any is freed: freeing one frees its children.
  std::vector<Bone*> tops;
  for (BoneDef& def : bones_)
    if (!def.bone->GetParent()) tops.push_back(def.bone);
  for (Bone* bone : tops) FreeBone(bone);
  return false;
}

bool MbmParser::ParseBone() {
  if (!tok_.ExpectOpen()) return false;
  Bone* bone = AllocBone();
  bone->SetConnectPos(Vector3(0, 0, 0), true);
  bone->SetConnectRot(Matrix3(1, 0, 0, 0, 1, 0, 0, 0, 1), true);
  bones_.push_back(BoneDef{bone, false, {}, {}});
  size_t index = bones_.size() - 1;
  if (tok_.PeekIsBrace()) return tok_.ExpectClose();
  while (!tok_.end) {
    std::string word = tok_.GetToken();
    if (tok_.end || tok_.error) break;
    if (word == "Name" || word == "Mesh" || word == "Child") {
      if (tok_.ExpectOpen()) {
        std::string value = tok_.GetToken();
        if (word == "Name")
          bone->name = value;
        else if (word == "Mesh")
          bones_[index].meshName = value;
        else
          bones_[index].childNames.push_back(value);
        tok_.ExpectClose();
      }
    } else if (word == "ConnectPos") {
      if (tok_.ExpectOpen()) {
        bone->SetConnectPos(tok_.ReadVector3(), true);
        tok_.ExpectClose();
      }
    } else if (word == "ConnectRot") {
      if (tok_.ExpectOpen()) {
        // Stored transposed: the file lists the matrix column by column.
        Matrix3 read = tok_.ReadMatrix3();
        Matrix3 rotation;
        for (int k = 0; k < 9; ++k) rotation.m[(k % 3) * 3 + k / 3] = read.m[k];
        bone->SetConnectRot(rotation, true);
        for (int row = 0; row < 3; ++row) {
          const float* r = rotation.m + 3 * row;
          float length = std::sqrt(r[0] * r[0] + r[1] * r[1] + r[2] * r[2]);
          if (length < 0.998f || length > 1.002f) {
            ErrorLog << "Warning: Bone \"" << bone->name << "\" in model \"" << path_
                     << "\" has a scale component in its rotation.\n";
            break;
          }
        }
        tok_.ExpectClose();
      }
    } else {
      ErrorLog << "Warning parsing mesh: unknown Bone sub-construct: " << word << "\n";
      tok_.SkipScope();
    }
    if (tok_.error) return false;
    if (tok_.PeekIsBrace()) return tok_.ExpectClose();
  }
  // The file ended between sub-constructs: the bone keeps what was read.
  return !tok_.error;
}

bool MbmParser::ParseMesh() {
  if (!tok_.ExpectOpen()) return false;
  meshes_.emplace_back();
  Mesh& mesh = meshes_.back();
  if (tok_.PeekIsBrace()) return tok_.ExpectClose();
  while (!tok_.end) {
    std::string word = tok_.GetToken();
    if (tok_.end || tok_.error) break;
    if (word == "Name") {
      if (tok_.ExpectOpen()) {
        mesh.Record()->name = tok_.GetToken();
        tok_.ExpectClose();
      }
    } else if (word == "Chunk") {
      ParseChunk(mesh);
    } else {
      ErrorLog << "Warning parsing mesh: unknown Mesh sub-construct: " << word << "\n";
      tok_.SkipScope();
    }
    if (tok_.error) {
      errorStack_ += word + " Mesh(name=" + mesh.Record()->name + ")    ";
      return false;
    }
    if (tok_.PeekIsBrace()) return tok_.ExpectClose();
  }
  // Cut off between sub-constructs, as for a bone: the mesh is kept.
  return !tok_.error;
}

void MbmParser::ParseChunk(Mesh& mesh) {
  if (!tok_.ExpectOpen()) return;
  std::vector<Chunk>& chunks = mesh.Record()->chunks;
  chunks.emplace_back();
  Chunk& chunk = chunks.back();
  while (!tok_.PeekIsBrace() && !tok_.error && !tok_.end) {
    std::string word = tok_.GetToken();
    if (tok_.end || tok_.error) break;
    if (word == "TextureB" || word == "TextureC") {
      ParseTexture(word, chunk);
    } else if (word == "Vertices") {
      ParseVertices(chunk);
    } else if (word == "Indices") {
      ParseIndices(chunk, mesh);
    } else {
      ErrorLog << "Warning parsing mesh: unknown Mesh.Chunk sub-construct: " << word << "\n";
      tok_.SkipScope();
    }
    if (tok_.error) errorStack_ += word + " ";
  }
  if (tok_.error) return;
  // A file cut off between the chunk's sub-constructs keeps the chunk as
  // read; a closed one must close with its brace.
  if (tok_.end || tok_.ExpectClose()) DropTrianglesPastVertices(chunk, mesh);
}

// Drawing reads the vertices the indices name: a triangle with an index past
// the chunk's vertices would make the device read past the end of its
// buffer, so it is left out (as is a part of one at the end of the list,
// which is never drawn but would be welded and cached). The chunk keeps the
// rest. Indices that cannot be read back to be checked are not kept.
void MbmParser::DropTrianglesPastVertices(Chunk& chunk, const Mesh& mesh) {
  const IndexBufferRecord* ib = chunk.indexBuffer.Record();
  if (!ib) return;
  const VertexBufferRecord* vb = chunk.vertexBuffer.Record();
  const int vertexCount = vb ? vb->vertexCount : 0;
  const int count = ib->indexCount;
  std::vector<unsigned short> kept;
  {
    IndexBufferLock lock(chunk.indexBuffer, false);
    void* data = nullptr;
    if (lock.GetData(&data)) {
      const unsigned short* indices = static_cast<const unsigned short*>(data);
      kept.reserve(static_cast<size_t>(count));
      for (int first = 0; first < count; first += 3) {
        const int end = first + 3 < count ? first + 3 : count;
        bool inRange = true;
        for (int i = first; i < end; ++i) {
          if (indices[i] < vertexCount) continue;
          inRange = false;
          LogIndexOutOfRange(vertexCount - 1, indices[i], mesh);
        }
        if (inRange) kept.insert(kept.end(), indices + first, indices + end);
      }
      if (static_cast<int>(kept.size()) == count) return;
    }
  }
  IndexBuffer rebuilt;
  bool filled = false;
  if (!kept.empty() && rebuilt.Create(static_cast<unsigned short>(kept.size()), false, false)) {
    IndexBufferLock lock(rebuilt, false);
    void* data = nullptr;
    if (lock.GetData(&data)) {
      std::memcpy(data, kept.data(), kept.size() * 2);
      filled = true;
    }
  }
  if (!filled) rebuilt.SRFree();
  // Without a triangle left the chunk has no index buffer, and draws nothing.
  chunk.indexBuffer = rebuilt;
}

void MbmParser::ParseTexture(const std::string& word, Chunk& chunk) {
  if (!tok_.ExpectOpen()) return;
  int stage = tok_.ReadInt();
  std::string file = folder_ + tok_.GetToken();
  bool mipmaps = true;
  if (!tok_.PeekIsBrace()) mipmaps = tok_.ReadInt() != 0;
  tok_.ExpectClose();
  if (tok_.error) return;
  if (stage != 0 && stage != 1) {
    ErrorLog << "Bad texture stage in " << word << " for texture " << file << ": " << stage << "\n";
    return;
  }
  Texture& texture = stage == 0 ? chunk.TextureB : chunk.TextureC;
  if (!texture.Load(file, kTextureFileFormat, mipmaps, true))
    ErrorLog << "Note: mesh(" << path_ << ") failed to load texture: " << file << "\n";
}

// A chunk may hold more vertices than 16-bit indices reach: the indices
// name the first 65536, and the binary cache refuses to hold the rest.
void MbmParser::ParseVertices(Chunk& chunk) {
  if (!tok_.ExpectOpen()) return;
  std::string format = tok_.GetToken();
  int count = tok_.ReadInt();
  if (tok_.error) return;
  if (count < 0) {
    tok_.Fail("Error parsing mesh: vertex count out of range (must be 0 or more): " + std::to_string(count) + "\n");
    return;
  }
  const bool pnc = format == "PNC";
  const bool pnt2 = format == "PNT2";
  bool read = false;
  if (!pnc && !pnt2) {
    ErrorLog << "Unsupported vertex type in Mesh.Chunk.Vertices: " << format << "\n";
  } else if (!tok_.CouldHold(static_cast<unsigned long long>(count) * (pnc ? 10 : 8))) {
    // No buffer for a count whose values the rest of the text cannot hold:
    // a damaged count must not cost its size in memory. The values are
    // read all the same, and run short as those of any short list do.
    ReadVertices(nullptr, count, pnc);
    read = true;
  } else {
    VertexFormat vertexFormat = {{kFloat3, kUsePosition}, {kFloat3, kUseNormal}};
    vertexFormat.push_back(pnc ? VertexElement{kPackedColor, kUseColor} : VertexElement{kFloat2, kUseTexCoord});
    if (chunk.vertexBuffer.Create(count, vertexFormat, pnc ? 28 : 32, false, false)) {
      VertexBufferLock lock(chunk.vertexBuffer, false);
      void* data = nullptr;
      if (!lock.GetData(&data)) {
        ErrorLog << "could not lock VB, trying to load mesh.\n";
        WriteCallStack(ErrorLog, "  -call stack:\n");
      } else {
        ReadVertices(static_cast<unsigned char*>(data), count, pnc);
        read = true;
      }
    }
  }
  if (tok_.error) return;
  if (!read) tok_.SkipToBrace();
  tok_.ExpectClose();
}

// Reads the values of count vertices into out (28 bytes a vertex for PNC,
// 32 for PNT2), or only reads them when out is null. Values stop at the
// first error: the rest of the file is no longer this list.
void MbmParser::ReadVertices(unsigned char* out, int count, bool pnc) {
  const size_t stride = pnc ? 28 : 32;
  for (int i = 0; i < count && !tok_.error && !tok_.end; ++i) {
    float v[8];
    for (float& value : v) value = tok_.ReadFloat();
    unsigned char vertex[32];
    std::memcpy(vertex, v, 24);
    if (pnc) {
      float r = v[6], g = v[7];
      float b = tok_.ReadFloat();
      float a = tok_.ReadFloat();
      unsigned color = PackColorARGB(r, g, b, a);
      std::memcpy(vertex + 24, &color, 4);
    } else {
      std::memcpy(vertex + 24, v + 6, 8);
      if (std::fabs(v[3]) + std::fabs(v[4]) + std::fabs(v[5]) < 0.1f)
        ErrorLog << "loading mbm mesh problem found: Mesh " << path_ << " has a normal of magnitude near 0\n";
    }
    if (out) std::memcpy(out + static_cast<size_t>(i) * stride, vertex, stride);
  }
}

void MbmParser::ParseIndices(Chunk& chunk, const Mesh& mesh) {
  if (!tok_.ExpectOpen()) return;
  int count = tok_.ReadInt();
  if (tok_.error) return;
  if (count < 0 || count > 65535) {
    tok_.Fail("Error parsing mesh: index count out of range (must be 0 to 65535): " + std::to_string(count) + "\n");
    return;
  }
  bool filled = false;
  if (chunk.indexBuffer.Create(static_cast<unsigned short>(count), false, false)) {
    IndexBufferLock lock(chunk.indexBuffer, false);
    void* data = nullptr;
    if (!lock.GetData(&data)) {
      ErrorLog << "could not lock IB, trying to load mesh.\n";
      WriteCallStack(ErrorLog, "  -call stack:\n");
    } else {
      filled = true;
      unsigned short* out = static_cast<unsigned short*>(data);
      for (int i = 0; i < count && !tok_.error && !tok_.end; ++i) {
        int value = tok_.ReadInt();
        if (value < 0 || value > 65535)
          LogIndexOutOfRange(65535, value, mesh);
        out[i] = static_cast<unsigned short>(value);
      }
    }
  }
  if (tok_.error) return;
  if (!filled) tok_.SkipToBrace();
  tok_.ExpectClose();
}

// The parent links are worked out on names first and made only when they
// form trees no deeper than kMaxBoneDepth: a loop of children, or a very deep
// chain, would send every walk of the tree round forever or off the stack.
void MbmParser::LinkChildren() {
  std::unordered_map<std::string, std::vector<size_t>> byName;
  for (size_t i = 0; i < bones_.size(); ++i) byName[bones_[i].bone->name].push_back(i);
  std::vector<long> parentOf(bones_.size(), -1);
  std::vector<std::pair<size_t, size_t>> links;  // (parent, child) in linking order
  bool stopped = false;
  for (size_t i = 0; i < bones_.size() && !stopped; ++i) {
    for (const std::string& child : bones_[i].childNames) {
      long found = -1;
      auto candidates = byName.find(child);
      if (candidates != byName.end())
        for (size_t j : candidates->second)
          if (j != i) {
            found = static_cast<long>(j);
            break;
          }
      if (found < 0) {
        ErrorLog << "Bone(" << bones_[i].bone->name << ") asked for child \"" << child << "\" that doesn't exist.\n";
        boneError_ = stopped = true;
        break;
      }
      if (bones_[found].linked) {
        ErrorLog << "Bone(" << bones_[i].bone->name << ") asked for child \"" << child
                 << "\", but that child already has a parent(" << bones_[parentOf[found]].bone->name << ")\n";
        boneError_ = stopped = true;
        break;
      }
      bones_[found].linked = true;
      parentOf[found] = static_cast<long>(i);
      links.emplace_back(i, static_cast<size_t>(found));
    }
  }

  // Depth of every bone reachable from a parentless one; the rest sit on a
  // loop.
  std::vector<std::vector<size_t>> children(bones_.size());
  for (const auto& link : links) children[link.first].push_back(link.second);
  std::vector<int> depth(bones_.size(), 0);
  std::vector<size_t> pending;
  for (size_t i = 0; i < bones_.size(); ++i)
    if (parentOf[i] < 0) {
      depth[i] = 1;
      pending.push_back(i);
    }
  bool tooDeep = false;
  while (!pending.empty()) {
    size_t i = pending.back();
    pending.pop_back();
    for (size_t c : children[i]) {
      depth[c] = depth[i] + 1;
      if (depth[c] > kMaxBoneDepth) tooDeep = true;
      pending.push_back(c);
    }
  }
  bool looped = false;
  for (size_t i = 0; i < bones_.size(); ++i) {
    if (depth[i] != 0) continue;
    looped = true;
    ErrorLog << "Error arranging bones: Bone(" << bones_[i].bone->name << ") is part of a loop of children.\n";
  }
  if (tooDeep)
    ErrorLog << "Error arranging bones: the bone tree is more than " << kMaxBoneDepth << " bones deep.\n";
  if (looped || tooDeep) {
    boneError_ = true;
    for (BoneDef& def : bones_) def.linked = false;
    return;
  }
  for (const auto& link : links) bones_[link.first].bone->AddChild(bones_[link.second].bone);
}

Bone* MbmParser::FindTopBone() {
  Bone* top = nullptr;
  for (BoneDef& def : bones_) {
    if (def.bone->GetParent()) continue;
    if (!top) {
      top = def.bone;
      continue;
    }
    boneError_ = true;
    ErrorLog << "Error arranging bones: more than one bone with no parent was found.\n"
             << "  -previosly found top-bone name: " << top->name << "\n"
             << "  -other top bone found: " << def.bone->name << "\n";
  }
  return top;
}

void MbmParser::FinishMeshes(bool optimize) {
  for (Mesh& mesh : meshes_) {
    if (optimize) mesh.OptimizeChunks(true);
    mesh.RebuildPositionsMesh();
  }
  // Without a leading RandomID the cache is written but must never be read:
  // it carries a RandomID that equals nothing, not even a later text's.
  ModelLoadRecord saved = out_;
  if (!leadingRandomID_) saved.RandomID = std::numeric_limits<float>::quiet_NaN();
  SaveMeshBMBM(ModelCachePath(path_), saved);
  if (!readable_ && optimize) {
    // Only to make the buffers write-only: the counts were taken above.
    MeshStatistics counted = g_meshStats;
    for (Mesh& mesh : meshes_) mesh.OptimizeChunks(false);
    g_meshStats = counted;
  }
}

}  // namespace

std::string ModelCachePath(const std::string& path) { return "gen\\" + StripExtension(path) + ".bmbm"; }

bool ParseMBM(const std::string& text, const std::string& path, bool readableMeshes, ModelLoadRecord& out,
              bool optimize) {
  MbmParser parser(text, path, readableMeshes, out);
  return parser.Parse(optimize);
}

bool LoadMBM(const std::string& path, bool readableMeshes, ModelLoadRecord& out, bool optimize) {
  ProfileScope scope("Load Mesh (mbm or bmbm)");
  std::FILE* file = std::fopen(path.c_str(), "r");
  if (!file) {
    ErrorLog << "Failed to open file: " << path << "\n";
    return false;
  }
  std::string text;
  char buffer[4096];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, got);
  std::fclose(file);
  return ParseMBM(text, path, readableMeshes, out, optimize);
}

}  // namespace G

// The .bmbm binary model cache: a loaded model's bone tree and welded meshes,
// written after a parse of the text model and read back instead of parsing.
// Little-endian throughout. The reader takes nothing in the file on trust:
// every count is checked against the bytes that remain and against the
// buffers it describes, and a damaged file is refused as a whole.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <unordered_map>

#include "foundation/CProfiler.h"
#include "foundation/LogFile.h"
#include "foundation/Utility.h"
#include "graphics/GBMesh.h"

namespace G {

namespace {

enum RecordType : unsigned char { kEndOfStream = 0, kMeshRecord = 1, kBoneRecord = 2 };

void PutU8(std::vector<unsigned char>& out, unsigned value) { out.push_back(static_cast<unsigned char>(value)); }

void PutU16(std::vector<unsigned char>& out, unsigned value) {
  out.push_back(static_cast<unsigned char>(value));
  out.push_back(static_cast<unsigned char>(value >> 8));
}

void PutU32(std::vector<unsigned char>& out, unsigned value) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<unsigned char>(value >> shift));
}

void PutF32(std::vector<unsigned char>& out, float value) {
  unsigned bits;
  std::memcpy(&bits, &value, 4);
  PutU32(out, bits);
}

void PutString(std::vector<unsigned char>& out, const std::string& text) {
  PutU8(out, static_cast<unsigned>(text.size()));
  out.insert(out.end(), text.begin(), text.end());
}

unsigned GetU32(const unsigned char* p) {
  return p[0] | (static_cast<unsigned>(p[1]) << 8) | (static_cast<unsigned>(p[2]) << 16) |
         (static_cast<unsigned>(p[3]) << 24);
}

float GetF32(const unsigned char* p) {
  unsigned bits = GetU32(p);
  float value;
  std::memcpy(&value, &bits, 4);
  return value;
}

// Reads fields in order; once a read would pass the end, every later read
// gives zero and ok stays false.
class ByteReader {
 public:
  ByteReader(const unsigned char* bytes, size_t size) : bytes_(bytes), size_(size) {}

  const unsigned char* Take(size_t count) {
    if (!ok || count > size_ - pos_) {
      ok = false;
      return nullptr;
    }
    const unsigned char* p = bytes_ + pos_;
    pos_ += count;
    return p;
  }
  unsigned U8() {
    const unsigned char* p = Take(1);
    return p ? p[0] : 0;
  }
  unsigned U16() {
    const unsigned char* p = Take(2);
    return p ? p[0] | (static_cast<unsigned>(p[1]) << 8) : 0;
  }
  int I32() {
    const unsigned char* p = Take(4);
    return p ? static_cast<int>(GetU32(p)) : 0;
  }
  float F32() {
    const unsigned char* p = Take(4);
    return p ? GetF32(p) : 0.0f;
  }
  std::string String() {
    size_t length = U8();
    const unsigned char* p = Take(length);
    return p ? std::string(reinterpret_cast<const char*>(p), length) : std::string();
  }
  size_t Position() const { return pos_; }

  bool ok = true;

 private:
  const unsigned char* bytes_;
  size_t size_;
  size_t pos_ = 0;
};

// A chunk without a buffer is saved with empty lists; one whose buffer
// cannot be read back cannot be saved at all.
bool IsWriteOnly(const VertexBuffer& buffer) { return buffer.Record() && buffer.Record()->writeOnly; }
bool IsWriteOnly(const IndexBuffer& buffer) { return buffer.Record() && buffer.Record()->writeOnly; }

// The writer refuses what its field cannot hold, rather than write a count
// that disagrees with the data after it.
bool Fits(size_t value, size_t most, const char* what, const std::string& owner) {
  if (value <= most) return true;
  ErrorLog << "Cannot save " << owner << " in the binary model format: " << what << " is " << static_cast<int>(value)
           << ", at most " << static_cast<int>(most) << ".\n";
  return false;
}

bool PutTexture(std::vector<unsigned char>& out, const Texture& texture, const std::string& owner) {
  const TextureRecord* record = texture.Record();
  std::string name = record ? record->name : std::string();
  if (!Fits(name.size(), 255, "a texture name's length", owner)) return false;
  PutU8(out, record && record->mipmaps ? 0xFF : 0x00);
  PutString(out, name);
  return true;
}

void DamagedMesh(const char* reason) { ErrorLog << "Damaged mesh record in a binary model cache: " << reason << ".\n"; }

// One chunk as read, before anything is made from it.
struct ChunkFields {
  bool mipmapsB, mipmapsC;
  std::string textureB, textureC;
  VertexFormat format;
  int vertexCount;
  int stride;
  const unsigned char* vertices;
  int indexCount;
  const unsigned char* indices;
};

}  // namespace

// ---- Mesh and bone records -------------------------------------------------

bool Mesh::BinarySave(std::vector<unsigned char>& out) const {
  if (!record_) return false;
  const std::string owner = "mesh(" + record_->name + ")";
  if (!Fits(record_->name.size(), 255, "its name's length", owner)) return false;
  if (!Fits(record_->chunks.size(), 255, "its chunk count", owner)) return false;
  PutString(out, record_->name);
  PutU8(out, static_cast<unsigned>(record_->chunks.size()));
  if (record_->chunks.empty()) return true;
  for (Chunk& chunk : record_->chunks) {
    if (IsWriteOnly(chunk.vertexBuffer)) {
      ErrorLog << "Bad: VB is write only... not readable... but attempt to save it.\n";
      return false;
    }
    if (IsWriteOnly(chunk.indexBuffer)) {
      ErrorLog << "Bad: IB is write only... not readable... but attempt to save it.\n";
      return false;
    }
    if (!PutTexture(out, chunk.TextureB, owner) || !PutTexture(out, chunk.TextureC, owner)) return false;
    if (const VertexBufferRecord* vb = chunk.vertexBuffer.Record()) {
      if (!Fits(vb->format.size(), 31, "a vertex format's element count", owner) ||
          !Fits(static_cast<size_t>(vb->vertexCount), 65535, "a chunk's vertex count", owner) ||
          !Fits(static_cast<size_t>(vb->vertexSize), 255, "a vertex's size", owner))
        return false;
      PutU8(out, static_cast<unsigned>(vb->format.size() * 8));
      for (const VertexElement& element : vb->format) {
        PutU32(out, static_cast<unsigned>(element.type));
        PutU32(out, static_cast<unsigned>(element.use));
      }
      PutU16(out, static_cast<unsigned>(vb->vertexCount));
      PutU8(out, static_cast<unsigned>(vb->vertexSize));
      VertexBufferLock lock(chunk.vertexBuffer, false);
      void* data = nullptr;
      if (!lock.GetData(&data)) {
        ErrorLog << "Could not lock VB in BinarySave.\n";
        return false;
      }
      const unsigned char* bytes = static_cast<const unsigned char*>(data);
      out.insert(out.end(), bytes, bytes + static_cast<size_t>(vb->vertexCount) * vb->vertexSize);
    } else {
      PutU8(out, 0);   // no format
      PutU16(out, 0);  // no vertices
      PutU8(out, 0);   // of no size
    }
    if (const IndexBufferRecord* ib = chunk.indexBuffer.Record()) {
      PutU16(out, ib->indexCount);
      IndexBufferLock lock(chunk.indexBuffer, false);
      void* data = nullptr;
      if (!lock.GetData(&data)) {
        ErrorLog << "Could not lock IB in BinarySave.\n";
        return false;
      }
      const unsigned short* indices = static_cast<const unsigned short*>(data);
      for (int i = 0; i < ib->indexCount; ++i) PutU16(out, indices[i]);
    } else {
      PutU16(out, 0);
    }
  }
  if (!Fits(record_->positions.size(), 65535, "its position count", owner) ||
      !Fits(record_->positionIndices.size(), 65535, "its position-index count", owner))
    return false;
  PutU16(out, static_cast<unsigned>(record_->positions.size()));
  for (const Vector3& p : record_->positions) {
    PutF32(out, p.x);
    PutF32(out, p.y);
    PutF32(out, p.z);
  }
  PutU16(out, static_cast<unsigned>(record_->positionIndices.size()));
  for (unsigned short index : record_->positionIndices) PutU16(out, index);
  return true;
}

size_t Mesh::BinaryLoad(const unsigned char* bytes, size_t size, bool readable) {
  if (!record_) return 0;
  ByteReader in(bytes, size);
  std::string name = in.String();
  unsigned chunkCount = in.U8();
  std::vector<ChunkFields> fields;
  std::vector<Vector3> positions;
  std::vector<unsigned short> positionIndices;
  if (in.ok && chunkCount > 0) {
    for (unsigned c = 0; c < chunkCount && in.ok; ++c) {
      ChunkFields f;
      f.mipmapsB = in.U8() != 0;
      f.textureB = in.String();
      f.mipmapsC = in.U8() != 0;
      f.textureC = in.String();
      unsigned formatBytes = in.U8();
      if (formatBytes % 8 != 0) {
        DamagedMesh("a vertex format size that is not a whole number of elements");
        return 0;
      }
      for (unsigned e = 0; e < formatBytes / 8; ++e) {
        int type = in.I32();
        int use = in.I32();
        if (in.ok && (type < kFloat1 || type > kPackedColor || use < kUsePosition || use > kUseTexCoord)) {
          DamagedMesh("a vertex format element of unknown type or use");
          return 0;
        }
        f.format.push_back(VertexElement{static_cast<VertexComponentType>(type), static_cast<VertexUse>(use)});
      }
      f.vertexCount = static_cast<int>(in.U16());
      f.stride = static_cast<int>(in.U8());
      if (in.ok && f.vertexCount > 0 && f.stride != VertexFormatStride(f.format)) {
        DamagedMesh("a vertex size that differs from its vertex format's");
        return 0;
      }
      f.vertices = in.Take(static_cast<size_t>(f.vertexCount) * f.stride);
      f.indexCount = static_cast<int>(in.U16());
      f.indices = in.Take(static_cast<size_t>(f.indexCount) * 2);
      if (!in.ok) break;
      for (int i = 0; i < f.indexCount; ++i) {
        if ((f.indices[2 * i] | (f.indices[2 * i + 1] << 8)) >= f.vertexCount) {
          DamagedMesh("an index past its chunk's vertices");
          return 0;
        }
      }
      fields.push_back(f);
    }
    size_t positionCount = in.U16();
    const unsigned char* p = in.Take(positionCount * 12);
    size_t positionIndexCount = in.U16();
    const unsigned char* pi = in.Take(positionIndexCount * 2);
    if (in.ok) {
      positions.resize(positionCount);
      for (size_t i = 0; i < positionCount; ++i)
        positions[i] = Vector3(GetF32(p + 12 * i), GetF32(p + 12 * i + 4), GetF32(p + 12 * i + 8));
      positionIndices.resize(positionIndexCount);
      for (size_t i = 0; i < positionIndexCount; ++i) {
        positionIndices[i] = static_cast<unsigned short>(pi[2 * i] | (pi[2 * i + 1] << 8));
        if (positionIndices[i] >= positionCount) {
          DamagedMesh("a position index past the positions");
          return 0;
        }
      }
    }
  }
  if (!in.ok) {
    DamagedMesh("the data ends inside it");
    return 0;
  }

  std::vector<Chunk> chunks(fields.size());
  for (size_t c = 0; c < fields.size(); ++c) {
    const ChunkFields& f = fields[c];
    Chunk& chunk = chunks[c];
    if (!f.textureB.empty()) chunk.TextureB.Load(f.textureB, kTextureFileFormat, f.mipmapsB, true);
    if (!f.textureC.empty()) chunk.TextureC.Load(f.textureC, kTextureFileFormat, f.mipmapsC, true);
    // An empty list makes no buffer: there is nothing to draw from it.
    if (f.vertexCount > 0) {
      if (!chunk.vertexBuffer.Create(f.vertexCount, f.format, f.stride, false, !readable)) {
        ErrorLog << "Failed to make VB in Mesh::BinaryLoad.\n";
        return 0;
      }
      VertexBufferLock lock(chunk.vertexBuffer, false);
      void* data = nullptr;
      if (!lock.GetData(&data)) {
        ErrorLog << "Could not lock VB in Mesh::BinaryLoad.\n";
        return 0;
      }
      std::memcpy(data, f.vertices, static_cast<size_t>(f.vertexCount) * f.stride);
    }
    if (f.indexCount > 0) {
      if (!chunk.indexBuffer.Create(static_cast<unsigned short>(f.indexCount), false, !readable)) {
        ErrorLog << "Failed to make IB in Mesh::BinaryLoad.\n";
        return 0;
      }
      IndexBufferLock lock(chunk.indexBuffer, false);
      void* data = nullptr;
      if (!lock.GetData(&data)) {
        ErrorLog << "Could not lock IB in Mesh::BinaryLoad.\n";
        return 0;
      }
      unsigned short* out = static_cast<unsigned short*>(data);
      for (int i = 0; i < f.indexCount; ++i)
        out[i] = static_cast<unsigned short>(f.indices[2 * i] | (f.indices[2 * i + 1] << 8));
    }
  }
  record_->name = name;
  record_->chunks.swap(chunks);
  record_->positions.swap(positions);
  record_->positionIndices.swap(positionIndices);
  return in.Position();
}

bool Bone::BinarySave(std::vector<unsigned char>& out) const {
  const std::string owner = "bone(" + name + ")";
  std::string meshName = mesh.Record() ? mesh.Record()->name : std::string();
  if (!Fits(name.size(), 255, "its name's length", owner) || !Fits(meshName.size(), 255, "its mesh name's length", owner) ||
      !Fits(children_.size(), 255, "its child count", owner))
    return false;
  for (const Bone* child : children_)
    if (!Fits(child->name.size(), 255, "a child's name length", owner)) return false;
  PutU32(out, static_cast<unsigned>(boneWord));
  PutString(out, name);
  PutString(out, meshName);
  PutU8(out, static_cast<unsigned>(children_.size()));
  for (const Bone* child : children_) PutString(out, child->name);
  PutF32(out, connectPos_.x);
  PutF32(out, connectPos_.y);
  PutF32(out, connectPos_.z);
  for (float value : connectRot_.m) PutF32(out, value);
  return true;
}

size_t Bone::BinaryLoad(const unsigned char* bytes, size_t size, std::vector<std::string>& childNames) {
  ByteReader in(bytes, size);
  int word = in.I32();
  std::string boneName = in.String();
  std::string meshName = in.String();
  unsigned childCount = in.U8();
  std::vector<std::string> names;
  for (unsigned i = 0; i < childCount && in.ok; ++i) names.push_back(in.String());
  Vector3 position;
  position.x = in.F32();
  position.y = in.F32();
  position.z = in.F32();
  Matrix3 rotation;
  for (float& value : rotation.m) value = in.F32();
  if (!in.ok) {
    ErrorLog << "Damaged bone record in a binary model cache: the data ends inside it.\n";
    return 0;
  }
  boneWord = word;
  name = boneName;
  if (mesh.Record()) mesh.Record()->name = meshName;
  SetConnectPos(position, true);
  SetConnectRot(rotation, true);
  childNames.swap(names);
  return in.Position();
}

// ---- Hierarchy -------------------------------------------------------------

bool SaveBMBMHierarchy(std::vector<unsigned char>& out, const Bone* bone) {
  if (!bone) return true;
  for (const Bone* child : bone->Children())
    if (!SaveBMBMHierarchy(out, child)) return false;
  if (bone->mesh.Record() && !bone->mesh.Record()->chunks.empty()) {
    PutU8(out, kMeshRecord);
    if (!bone->mesh.BinarySave(out)) return false;
  }
  PutU8(out, kBoneRecord);
  return bone->BinarySave(out);
}

bool SaveMeshBMBM(const std::string& cachePath, const ModelLoadRecord& record) {
  std::vector<unsigned char> bytes;
  PutU32(bytes, kBmbmVersion);
  PutF32(bytes, record.RandomID);
  if (!SaveBMBMHierarchy(bytes, record.root)) {
    ErrorLog << "An error occured trying to save " << cachePath << "\n";
    return false;
  }
  PutU8(bytes, kEndOfStream);
  CreateDirectoryPath(cachePath);
  std::FILE* file = std::fopen(cachePath.c_str(), "wb");
  if (!file) {
    ErrorLog << "Could not open \"" << cachePath << "\" to write to.\n";
    return false;
  }
  size_t written = std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::fclose(file);
  if (written != bytes.size()) {
    ErrorLog << "fwrite didn't complete in SaveMeshBMBM???\n";
    return false;
  }
  return true;
}

float ReadCachedRandomID(const std::string& cachePath) {
  if (std::FILE* file = std::fopen(cachePath.c_str(), "rb")) {
    unsigned char header[8];
    size_t got = std::fread(header, 1, sizeof header, file);
    std::fclose(file);
    if (got == sizeof header && GetU32(header) == static_cast<unsigned>(kBmbmVersion)) return GetF32(header + 4);
  }
  return -RandomUnit();
}

bool LoadMeshBMBM(const std::string& cachePath, bool readable, ModelLoadRecord& out) {
  std::FILE* file = std::fopen(cachePath.c_str(), "rb");
  if (!file) {
    ErrorLog << "Could not open file \"" << cachePath << "\" for LoadMeshBMBM.\n";
    return false;
  }
  ProfileScope scope("Load BMBM file (binary)");
  std::vector<unsigned char> bytes;
  unsigned char piece[2048];
  size_t got;
  while ((got = std::fread(piece, 1, sizeof piece, file)) > 0) bytes.insert(bytes.end(), piece, piece + got);
  std::fclose(file);
  if (bytes.size() < 8) {
    ErrorLog << "Binary model cache " << cachePath << " is shorter than its header.\n";
    return false;
  }
  if (GetU32(bytes.data()) != static_cast<unsigned>(kBmbmVersion)) {
    ErrorLog << "old version of: " << cachePath << " so not loadable.  delete the cached mesh please.\n";
    return false;
  }
  if (!DoLoadBMBMHierarchy(bytes.data() + 8, bytes.size() - 8, readable, out)) {
    ErrorLog << "Failed to load " << cachePath << "\n";
    return false;
  }
  return true;
}

namespace {

// The bones read so far that no later bone has taken as a child, in file
// order, found by name in that order.
class ParentlessBones {
 public:
  struct Entry {
    Bone* bone;
    int height;  // levels in its tree, 1 for a leaf
  };

  ~ParentlessBones() {
    for (Entry& entry : entries_) FreeBone(entry.bone);
  }

  void Add(Bone* bone, int height) {
    entries_.push_back(Entry{bone, height});
    byName_[bone->name].push_back(std::prev(entries_.end()));
  }

  // Takes the first bone of the name out of the list.
  bool Take(const std::string& name, Entry& taken) {
    auto found = byName_.find(name);
    if (found == byName_.end() || found->second.empty()) return false;
    auto it = found->second.front();
    found->second.pop_front();
    taken = *it;
    entries_.erase(it);
    return true;
  }

  size_t Size() const { return entries_.size(); }
  // Hands the only bone over; the list no longer frees it.
  Bone* Release() {
    Bone* bone = entries_.front().bone;
    entries_.clear();
    byName_.clear();
    return bone;
  }

 private:
  std::list<Entry> entries_;
  std::unordered_map<std::string, std::deque<std::list<Entry>::iterator>> byName_;
};

}  // namespace

// Whatever was made before a failure goes back at once: the bones with the
// list, the pending mesh with its holder.
bool DoLoadBMBMHierarchy(const unsigned char* bytes, size_t size, bool readable, ModelLoadRecord& out) {
  ParentlessBones parentless;
  Mesh* pending = nullptr;
  auto dropPending = [&pending]() {
    if (pending) delete2(pending);
    pending = nullptr;
  };
  size_t pos = 0;
  for (;;) {
    if (pos >= size) {
      ErrorLog << "The binary model data ends before its end of stream in DoLoadBMBMHierarchy.\n";
      dropPending();
      return false;
    }
    unsigned type = bytes[pos++];
    if (type == kEndOfStream) {
      // The writer ends every file here: more bytes mean a damaged record
      // was read as the end.
      if (pos != size) {
        ErrorLog << "Data after the end of stream in DoLoadBMBMHierarchy.\n";
        dropPending();
        return false;
      }
      break;
    }
    if (type == kMeshRecord) {
      if (pending) {
        ErrorLog << "Note: a mesh went unused in DoLoadBMBMHierarchy.\n";
        dropPending();
      }
      pending = new2(G::Mesh, G::Mesh);
      size_t used = pending->BinaryLoad(bytes + pos, size - pos, readable);
      if (!used) {
        ErrorLog << "Problem during loading a binary mesh...\n";
        dropPending();
        return false;
      }
      pos += used;
    } else if (type == kBoneRecord) {
      Bone* bone = AllocBone();
      std::vector<std::string> childNames;
      size_t used = bone->BinaryLoad(bytes + pos, size - pos, childNames);
      if (!used) {
        ErrorLog << "Problem during loading a binary mesh...\n";
        FreeBone(bone);
        dropPending();
        return false;
      }
      pos += used;
      if (pending && pending->Record()->name == bone->mesh.Record()->name) {
        bone->mesh = *pending;
        dropPending();
      }
      int height = 1;
      for (const std::string& childName : childNames) {
        ParentlessBones::Entry child;
        if (!parentless.Take(childName, child)) {
          ErrorLog << "Bone " << bone->name << " asked for child " << childName << " but it wasn't found...\n";
          FreeBone(bone);
          dropPending();
          return false;
        }
        bone->AddChild(child.bone);
        if (child.height + 1 > height) height = child.height + 1;
        if (height > kMaxBoneDepth) {
          ErrorLog << "The bone tree is more than " << kMaxBoneDepth << " bones deep in DoLoadBMBMHierarchy.\n";
          FreeBone(bone);
          dropPending();
          return false;
        }
      }
      parentless.Add(bone, height);
    } else {
      ErrorLog << "Bad TYPE byte in DoLoadBMBMHierarchy.\n";
      dropPending();
      return false;
    }
  }
  dropPending();
  if (parentless.Size() > 1) {
    ErrorLog << "Too many parent bones after DoLoadBMBMHierarchy finished.\n";
    return false;
  }
  out.root = parentless.Size() == 1 ? parentless.Release() : nullptr;
  return true;
}

}  // namespace G

// Bones and models: the bone tree with its cached world matrices, model
// handles, loading once per file, and the walks over every loaded model.
#include <cstdlib>

#include "foundation/LogFile.h"
#include "foundation/Utility.h"
#include "graphics/GBMesh.h"
#include "graphics/RenderState.h"
#include "graphics/Shader.h"

namespace G {

int g_liveBones = 0;
int g_peakBones = 0;

namespace {

Matrix3 Identity3() { return Matrix3(1, 0, 0, 0, 1, 0, 0, 0, 1); }

// Rotation in the upper-left 3 x 3, the position in the last column.
Matrix4 Compose(const Matrix3& r, const Vector3& p) {
  return Matrix4(r.m[0], r.m[1], r.m[2], p.x, r.m[3], r.m[4], r.m[5], p.y, r.m[6], r.m[7], r.m[8], p.z, 0, 0, 0, 1);
}

}  // namespace

Bone* AllocBone() {
  if (!BoneAllocator) {
    ErrorLog << "Warning: a bone was asked for before CreateBoneAllocator; making the allocator now.\n";
    CreateBoneAllocator();
  }
  return BoneAllocator->Alloc();
}

void FreeBone(Bone* bone) {
  if (bone && BoneAllocator) BoneAllocator->Free(bone);
}

// ---- Bones -----------------------------------------------------------------

Bone::Bone() : world_(Matrix4::Identity()), connectRot_(Identity3()), restRot_(Identity3()) {
  ++g_liveBones;
  if (g_liveBones > g_peakBones) g_peakBones = g_liveBones;
}

Bone::~Bone() {
  LeaveParent();
  ReleaseChildren();
  if (--g_liveBones == 0) {
    StatLog << "Last bone freed.  Peek bone count: " << g_peakBones << "\n\n";
    g_peakBones = 0;
  }
}

void Bone::LeaveParent() {
  if (!parent_) return;
  std::list<Bone*>& siblings = parent_->children_;
  for (auto it = siblings.begin(); it != siblings.end(); ++it) {
    if (*it == this) {
      siblings.erase(it);
      break;
    }
  }
  parent_ = nullptr;
}

// A child that is not owned is let go rather than left pointing at a parent
// about to disappear.
void Bone::ReleaseChildren() {
  std::list<Bone*> children;
  children.swap(children_);
  for (Bone* child : children) {
    child->parent_ = nullptr;
    if (child->ownedByParent_)
      FreeBone(child);
    else
      child->MarkDirty();
  }
}

void Bone::MarkDirty() {
  dirty_ = 1;
  for (Bone* child : children_) child->MarkDirty();
}

void Bone::SetVisible(bool isVisible) {
  visible = isVisible ? 1 : 0;
  for (Bone* child : children_) child->SetVisible(isVisible);
}

void Bone::SetConnectPos(const Vector3& position, bool alsoRest) {
  MarkDirty();
  connectPos_ = position;
  if (alsoRest) restPos_ = position;
}

void Bone::SetConnectRot(const Matrix3& rotation, bool alsoRest) {
  MarkDirty();
  connectRot_ = rotation;
  if (alsoRest) restRot_ = rotation;
}

void Bone::SetLocalMatrix(const Matrix4& m, bool alsoRest) {
  MarkDirty();
  connectRot_ = Matrix3(m.m[0], m.m[1], m.m[2], m.m[4], m.m[5], m.m[6], m.m[8], m.m[9], m.m[10]);
  connectPos_ = Vector3(m.m[3], m.m[7], m.m[11]);
  if (alsoRest) {
    restRot_ = connectRot_;
    restPos_ = connectPos_;
  }
}

const Matrix4& Bone::GetWorldMatrix() {
  if (!dirty_) return world_;
  dirty_ = 0;
  Matrix4 local = Compose(connectRot_, connectPos_);
  if (parent_)
    Matrix4::Multiply(world_, parent_->GetWorldMatrix(), local);
  else
    world_ = local;
  return world_;
}

void Bone::AddChild(Bone* child) {
  children_.push_back(child);
  child->parent_ = this;
  child->ownedByParent_ = 1;
  child->MarkDirty();
}

void Bone::AttachTo(Bone* newParent, bool owned, bool keepWorld, bool useRest) {
  if (keepWorld || useRest) {
    Matrix4 toParent;
    Matrix4::Inverse(toParent, newParent->GetWorldMatrix());
    Matrix4 local;
    Matrix4::Multiply(local, toParent, keepWorld ? GetWorldMatrix() : Compose(restRot_, restPos_));
    SetLocalMatrix(local, false);
  }
  newParent->children_.push_back(this);
  parent_ = newParent;
  ownedByParent_ = owned ? 1 : 0;
  MarkDirty();
}

void Bone::Detach(bool keepWorld) {
  if (!parent_) return;
  if (keepWorld) {
    Matrix4 world = GetWorldMatrix();
    SetLocalMatrix(world, false);
  }
  LeaveParent();
  ownedByParent_ = 1;
  MarkDirty();
}

// The copies of the source's children are made first, while the source is
// whole: it may sit below this bone, whose old children go afterwards.
void Bone::CopyFrom(const Bone& source) {
  if (&source == this) return;
  std::list<Bone*> copies;
  for (Bone* child : source.children_) {
    if (!child->ownedByParent_) continue;
    Bone* copy = AllocBone();
    copy->CopyFrom(*child);
    copies.push_back(copy);
  }
  // Read now: when the source is one of this bone's descendants it is freed
  // with the old children below.
  const bool sourceHadParent = source.parent_ != nullptr;
  world_ = source.world_;
  dirty_ = source.dirty_;
  connectPos_ = source.connectPos_;
  connectRot_ = source.connectRot_;
  restRot_ = source.restRot_;
  restPos_ = source.restPos_;
  LeaveParent();
  mesh = source.mesh;
  name = source.name;
  visible = source.visible;
  marker = source.marker;
  boneWord = source.boneWord;
  ownedByParent_ = 1;
  ReleaseChildren();
  for (Bone* copy : copies) {
    children_.push_back(copy);
    copy->parent_ = this;
  }
  // The source's cached matrix includes its parent, which the copy lacks.
  if (sourceHadParent) MarkDirty();
}

void Bone::Draw(bool recursive, bool force) {
  if (recursive)
    for (Bone* child : children_) child->Draw(true, force);
  if (!visible && !force) return;
  if (!mesh.Record() || mesh.Record()->chunks.empty()) return;
  SetWorldMatrix(GetWorldMatrix());
  UpdateShaderMatrices();
  mesh.Draw(true);
}

// ---- Models ----------------------------------------------------------------

namespace {

bool EqualsIgnoringCase(const std::string& a, const std::string& b) { return ToLowerCase(a) == ToLowerCase(b); }

Bone* FindBelow(Bone* bone, const std::string& name) {
  for (Bone* child : bone->Children()) {
    if (child->name == name) return child;
    if (Bone* found = FindBelow(child, name)) return found;
  }
  return nullptr;
}

void CountBones(const Bone* bone, int& total, int& wasted) {
  ++total;
  if (!bone->mesh.Record() || bone->mesh.Record()->chunks.empty()) ++wasted;
  for (const Bone* child : bone->Children()) CountBones(child, total, wasted);
}

template <class Visit>
void ForEachBone(Bone* bone, const Visit& visit) {
  if (!bone) return;
  for (Bone* child : bone->Children()) ForEachBone(child, visit);
  visit(bone);
}

void WriteStatLine(const char* label, int value) {
  if (value > 0) MeshStatsLog << label << value << "\n";
}

}  // namespace

Model& Model::operator=(const Model& other) {
  if (this != &other) Share(other.record_);
  return *this;
}

Model::~Model() noexcept(false) { SRFree(); }

void Model::Free() {
  FreeBone(record_->root);
  record_->root = nullptr;
}

Bone* Model::GetRootBone() const { return record_ ? record_->root : nullptr; }

void Model::Draw(bool force) {
  if (Bone* root = GetRootBone()) root->Draw(true, force);
}

Bone* Model::FindBone(const std::string& name) const {
  Bone* root = GetRootBone();
  if (!root) return nullptr;
  if (root->name == name) return root;
  return FindBelow(root, name);
}

bool Model::ReplaceTexture(const std::string& fileName, const Texture& newB, const Texture& newC, Bone* start) {
  if (!start) start = GetRootBone();
  if (!start) return false;
  bool matched = false;
  for (Bone* child : start->Children())
    if (ReplaceTexture(fileName, newB, newC, child)) matched = true;
  if (start->mesh.ReplaceTexture(fileName, newB, newC)) matched = true;
  return matched;
}

bool Model::ReplaceTextureWithNormalMap(const std::string& fileName, const Texture& texture) {
  Texture normalMap;
  if (const TextureRecord* record = texture.Record())
    normalMap.Load(MakeNormalMapName(record->name), kTextureFileFormat, true, true);
  return ReplaceTexture(fileName, texture, normalMap);
}

void Model::ClearTextureOverrides(Bone* start) {
  ForEachBone(start ? start : GetRootBone(), [](Bone* bone) { bone->mesh.texturePairs.clear(); });
}

bool Model::AnyBoneMarked() const {
  bool marked = false;
  ForEachBone(GetRootBone(), [&marked](Bone* bone) {
    if (bone->marker) marked = true;
  });
  return marked;
}

ModelData* FindSharedModel(const std::string& path, bool readable) {
  for (ModelData* record : g_modelRegistry) {
    if (record->instance == 0 && !record->name.empty() && EqualsIgnoringCase(record->name, path) &&
        (record->readable != 0) == readable)
      return record;
  }
  return nullptr;
}

bool Model::Load(const std::string& path, bool user, bool readableMeshes, bool optimize) {
  if (!readableMeshes && !optimize) {
    ErrorLog << "No.  If optimize is false, then readableMeshes must be true.  Read the comment in GBMesh.h ... ...\n";
    return false;
  }
  SRFree();
  if (ModelData* master = FindSharedModel(path, readableMeshes)) {
    Bone* root = AllocBone();
    if (master->root) root->CopyFrom(*master->root);
    std::string name = master->name;
    float randomID = master->RandomID;
    SRAlloc();
    record_->instance = 1;
    record_->name = name;
    record_->root = root;
    record_->readable = readableMeshes ? 1 : 0;
    record_->RandomID = randomID;
    record_->user = user ? 1 : 0;
    return true;
  }

  MeshStatsLog << "Model: " << path << "\n";
  g_meshStats = MeshStatistics{};
  if (ToLowerCase(GetFileExtension(path)) != "mbm") {
    ErrorLog << "Cannot load mesh (" << path << ").  Unrecognized file extension.\n";
    WriteCallStack(ErrorLog, "  -call stack:\n");
    return false;
  }
  ModelLoadRecord loaded;
  bool ok = LoadMBM(path, readableMeshes, loaded, optimize);
  if (ok) {
    MeshStatsLog << " >Total:\n";
    WriteStatLine("    -POSITION, original verts: ", g_meshStats.positionVertsBefore);
    WriteStatLine("    -POSITION, optimized verts: ", g_meshStats.positionVertsAfter);
    WriteStatLine("    -GRAPHIC, original verts: ", g_meshStats.graphicVertsBefore);
    WriteStatLine("    -GRAPHIC, optimized verts: ", g_meshStats.graphicVertsAfter);
    WriteStatLine("    -Triangle Count: ", g_meshStats.triangles);
    if (loaded.root) CountBones(loaded.root, g_meshStats.totalBones, g_meshStats.wastedBones);
    MeshStatsLog << "    -Total Bones: " << g_meshStats.totalBones << "\n"
                 << "    -Wasted Bones: " << g_meshStats.wastedBones << "\n"
                 << "\n";
  }
  if (ok && loaded.root) {
    Model master;
    master.SRAlloc();
    ModelData* m = master.Record();
    m->instance = 0;
    m->name = path;
    m->root = loaded.root;
    m->readable = readableMeshes ? 1 : 0;
    m->RandomID = loaded.RandomID;
    m->user = user ? 1 : 0;
    g_loadedModels.push_back(master);

    Bone* root = AllocBone();
    root->CopyFrom(*loaded.root);
    SRAlloc();
    record_->instance = 1;
    record_->name = path;
    record_->root = root;
    record_->readable = m->readable;
    record_->RandomID = loaded.RandomID;
    record_->user = m->user;
    return true;
  }
  ErrorLog << "Failed to load mesh: " << path << "\n";
  if (ok) ErrorLog << "  -No bones found...\n";
  WriteCallStack(ErrorLog, "  -call stack:\n");
  return false;
}

float RandomUnit() { return static_cast<float>(std::rand() & 0x7FFF) / 32767.0f; }

Model CreateEmptyModel(bool user) {
  Model model;
  model.SRAlloc();
  ModelData* record = model.Record();
  record->instance = 1;
  record->readable = 0;
  record->root = AllocBone();
  record->RandomID = RandomUnit();
  record->user = user ? 1 : 0;
  return model;
}

void UnloadNormalMaps() {
  for (ModelData* record : g_modelRegistry) {
    if (!record->user) continue;
    ForEachBone(record->root, [](Bone* bone) {
      if (MeshData* data = bone->mesh.Record())
        for (Chunk& chunk : data->chunks) chunk.TextureC.SRFree();
    });
  }
}

void ReloadNormalMaps() {
  for (ModelData* record : g_modelRegistry) {
    if (!record->user) continue;
    ForEachBone(record->root, [](Bone* bone) { bone->mesh.LoadNormalMaps(); });
  }
}

}  // namespace G

// Fuzz target: dream archive extraction into a scratch folder. Whatever the
// archive, nothing may appear outside that folder.
#include <filesystem>
#include <set>
#include <system_error>

#include "FuzzSupport.h"
#include "game/formats/DreamArchive.h"

namespace fs = std::filesystem;

namespace {

// Everything below root (the working folder's parent, which holds nothing
// else) except the working folder itself, its dream folder and the logs.
std::set<std::string> Outside(const fs::path& root) {
  const std::string work = fs::current_path().filename().generic_string();
  std::set<std::string> names;
  std::error_code error;
  for (fs::recursive_directory_iterator it(root, error), end; !error && it != end; it.increment(error)) {
    std::string name = it->path().lexically_relative(root).generic_string();
    if (name == work || name.find(work + "/dream") == 0 || name.find(work + "/_") == 0) continue;
    names.insert(name);
  }
  return names;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::BeginInput();
  // The target runs in a working folder inside a folder of its own, so a
  // name that climbs one level lands where it can be seen.
  static const fs::path root = fs::current_path().parent_path();
  static const std::set<std::string> before = Outside(root);
  std::error_code ignored;
  fs::remove_all("dream", ignored);
  fs::create_directory("dream");
  fuzz::WriteBytes("dream/d.dream", data, size);
  ExtractDream("dream\\d.dream");
  std::set<std::string> after = Outside(root);
  if (after != before) {
    for (const std::string& name : after)
      if (!before.count(name)) std::fprintf(stderr, "written outside the dream's folder: %s\n", name.c_str());
    __builtin_trap();
  }
  fs::remove_all("dream", ignored);
  return 0;
}

// The packs named by --skip-pack: a re-dump leaves out the images and the
// template rows of every texture that one of them already replaces.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "guest/formats.h"
#include "pack/content_key.h"
#include "pack/manifest.h"

namespace mivo {

// The content identity of every row of the packs, mapped to the row's alias
// (the first pack that lists an identity gives it).
using ReplacedByPacks = std::map<ContentIdentity, std::string>;

// Reads each folder's pack.txt. False at the first that cannot be read, with
// one line naming the folder and the reader's message.
bool ReadReplacedByPacks(const std::vector<std::filesystem::path>& folders, ReplacedByPacks& replaced,
                         std::string& error);

// False, with one line, when a pack is also the template folder: the run
// would rewrite that pack's manifest with the new textures only.
bool CheckPacksApartFromTemplate(const std::vector<std::filesystem::path>& folders,
                                 const std::filesystem::path& template_dir, std::string& error);

// The alias of the pack row that replaces this texture, matched as a pack
// loader would (key, host format, base size); null when no pack lists it.
const std::string* FindReplacingAlias(const ReplacedByPacks& replaced, ContentKey key, const HostTextureData& texture);

}  // namespace mivo

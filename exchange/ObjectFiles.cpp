#include "exchange/ObjectFiles.h"

#include <algorithm>

#include "exchange/AttributeXml.h"
#include "platform/env/Env.h"
#include "platform/geodata/ShapeFiles.h"
#include "platform/text/Strings.h"

namespace ObjectFiles {

std::vector<std::string> LayersOf(const std::string& base) {
  platform::env::Env& env = platform::env::Env::Current();
  const std::string folder = platform::env::FolderOf(base);
  const std::string stem = platform::env::NameOf(base);
  const std::string prefix = platform::text::ToLowerAscii(stem) + "_";
  std::vector<std::string> entries = env.ListFolder(folder);
  std::sort(entries.begin(), entries.end());
  std::vector<std::string> layers;
  for (const std::string& entry : entries) {
    const std::string lower = platform::text::ToLowerAscii(entry);
    if (!platform::text::EndsWithIgnoreCase(entry, ".shp")) continue;
    if (platform::text::EqualsIgnoreCase(entry, stem + ".shp") || lower.rfind(prefix, 0) == 0) {
      layers.push_back(platform::env::JoinPath(folder, entry));
    }
  }
  return layers;
}

Copy CopyObjects(const std::string& base, const std::string& xml, const std::string& folder,
                 const std::function<bool(const std::string& Kennung)>& keep) {
  platform::env::Env& env = platform::env::Env::Current();
  Copy copy;
  copy.base = platform::env::JoinPath(folder, platform::env::NameOf(base));
  for (const std::string& layer : LayersOf(base)) {
    const platform::geodata::ShapeLayer read = platform::geodata::ReadLayer(env, layer, "KENNUNG");
    platform::geodata::CopyLayer(env, layer,
                                 platform::env::JoinPath(folder, platform::env::NameOf(layer)),
                                 [&](size_t record) { return keep(read.ids[record]); });
  }
  if (!xml.empty()) {
    copy.xml = platform::env::JoinPath(folder, platform::env::NameOf(xml));
    platform::env::ReplaceFile(
        env, copy.xml, AttributeXml::KeepObjects(platform::env::ReadFile(env, xml), xml, keep));
  }
  return copy;
}

}  // namespace ObjectFiles

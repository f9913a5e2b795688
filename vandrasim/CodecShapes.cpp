// The layer's shapes through the platform's shapefile codec (Shapes.h),
// every byte through the Env. The codec's layer reader is the plug-in's and
// refuses a layer whole at its first fault; the check wants each shape's
// own verdict instead, as shapelib gives it, so the main file and the index
// are read here with the codec's header and record parsers: a record is
// taken where the index puts it, as long as the index says, and is
// unreadable when that lies outside the file or its content does not parse.
#include <optional>
#include <string>
#include <vector>

#include "platform/env/Path.h"
#include "platform/geodata/ShapeCodec.h"
#include "vandrasim/Shapes.h"

namespace vandrasim {
namespace {

namespace codec = platform::geodata::codec;
using platform::env::Env;
using platform::env::EnvError;

// The index beside the main file: its name with ".shx" for ".shp", found
// without regard to case.
std::optional<std::string> IndexOf(Env& env, const std::string& shp) {
  const std::string stem = platform::env::WithoutExtension(shp);
  const std::string folder = platform::env::FolderOf(stem);
  const std::optional<std::string> found =
      platform::env::FindNoCase(env, folder, platform::env::NameOf(stem) + ".shx");
  if (!found) return std::nullopt;
  return platform::env::JoinPath(folder, *found);
}

bool ReadHeader(platform::env::File& file, codec::Header& header) {
  unsigned char bytes[codec::kHeaderSize];
  if (!file.ReadExactly(0, bytes, sizeof bytes)) return false;
  try {
    header = codec::ParseHeader(bytes);
  } catch (const codec::FormatError&) {
    return false;
  }
  return true;
}

class CodecFile : public ShapeFile {
 public:
  CodecFile(std::unique_ptr<platform::env::File> main, std::string index)
      : main_(std::move(main)), index_(std::move(index)) {}

  size_t Count() const override { return index_.size() / codec::kIndexEntrySize; }

  ShapeState Read(size_t index) override {
    if (index >= Count()) return ShapeState::kUnreadable;
    const auto* entry =
        reinterpret_cast<const unsigned char*>(index_.data()) + index * codec::kIndexEntrySize;
    const uint64_t offset = static_cast<uint64_t>(codec::Be32(entry)) * 2;
    const uint64_t length = static_cast<uint64_t>(codec::Be32(entry + 4)) * 2;
    codec::Record record;
    try {
      const uint64_t size = main_->Size();
      if (offset < codec::kHeaderSize || offset + codec::kRecordHeaderSize + length > size)
        return ShapeState::kUnreadable;
      std::vector<unsigned char> content(static_cast<size_t>(length));
      if (!main_->ReadExactly(offset + codec::kRecordHeaderSize, content.data(), content.size()))
        return ShapeState::kUnreadable;
      record = codec::ParseRecord(content.data(), content.size());
    } catch (const codec::FormatError&) {
      return ShapeState::kUnreadable;
    } catch (const EnvError&) {
      return ShapeState::kUnreadable;
    }
    if (record.shape.type == codec::kNull) return ShapeState::kNull;
    return record.shape.points.empty() ? ShapeState::kNoPoints : ShapeState::kWithPoints;
  }

 private:
  std::unique_ptr<platform::env::File> main_;
  std::string index_;  // the index's entries, behind its header
};

}  // namespace

std::unique_ptr<ShapeFile> ShapeFile::Open(Env& env, const std::string& shp) {
  try {
    std::unique_ptr<platform::env::File> main = env.Open(shp, platform::env::OpenMode::kRead);
    codec::Header header;
    if (!ReadHeader(*main, header)) return nullptr;
    const std::optional<std::string> shx = IndexOf(env, shp);
    if (!shx) return nullptr;
    std::unique_ptr<platform::env::File> index = env.Open(*shx, platform::env::OpenMode::kRead);
    codec::Header index_header;
    if (!ReadHeader(*index, index_header) || index_header.length < codec::kHeaderSize)
      return nullptr;
    // The entries the index's header counts, all of which must be there.
    const uint64_t entries =
        (index_header.length - codec::kHeaderSize) / codec::kIndexEntrySize;
    if (entries * codec::kIndexEntrySize > index->Size() - codec::kHeaderSize) return nullptr;
    std::string bytes(static_cast<size_t>(entries * codec::kIndexEntrySize), '\0');
    if (!index->ReadExactly(codec::kHeaderSize, bytes.data(), bytes.size())) return nullptr;
    return std::make_unique<CodecFile>(std::move(main), std::move(bytes));
  } catch (const EnvError&) {
    return nullptr;
  }
}

}  // namespace vandrasim

#include "exchange/ImportBases.h"

#include <unordered_map>

#include "platform/env/Env.h"

namespace ImportBases {
namespace {

constexpr std::string_view kMagic = "VANDRA-BASIS";
constexpr unsigned char kVersion = 1;

uint64_t Fnv(std::string_view bytes) {
  uint64_t hash = 0xcbf29ce484222325ULL;
  for (const char c : bytes) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 0x100000001b3ULL;
  }
  return hash;
}

// ---- Writing ---------------------------------------------------------------------

void Varint(std::string& out, uint64_t value) {
  while (value >= 0x80) {
    out += static_cast<char>((value & 0x7F) | 0x80);
    value >>= 7;
  }
  out += static_cast<char>(value);
}

void Zigzag(std::string& out, int32_t value) {
  const uint32_t u = static_cast<uint32_t>(value);
  Varint(out, value < 0 ? ~(u << 1) : (u << 1));
}

void Fixed64(std::string& out, uint64_t value) {
  for (int i = 0; i < 8; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

void Text(std::string& out, std::string_view text) {
  Varint(out, text.size());
  out += text;
}

// ---- Reading ---------------------------------------------------------------------

class Reader {
 public:
  Reader(std::string_view bytes, const std::string& file) : bytes_(bytes), file_(file) {}

  [[noreturn]] void Fail(const std::string& what) const {
    throw BasesError("Die Datei " + file_ + " ist kein gültiges Verzeichnis der Importstände (" +
                     what + (entry_ ? ", Eintrag " + std::to_string(*entry_) : std::string()) +
                     ").");
  }
  void AtEntry(size_t entry) { entry_ = entry; }

  size_t Left() const { return bytes_.size() - at_; }

  uint64_t Varint() {
    uint64_t value = 0;
    for (int shift = 0; shift < 64; shift += 7) {
      if (at_ >= bytes_.size()) Fail("zu kurz");
      const auto byte = static_cast<unsigned char>(bytes_[at_++]);
      value |= static_cast<uint64_t>(byte & 0x7F) << shift;
      if ((byte & 0x80) == 0) return value;
    }
    Fail("eine Zahl ist zu lang");
  }

  // A count of items that take at least `each` bytes: no more than the
  // file can hold, so that a damaged count asks for no memory.
  size_t Count(size_t each) {
    const uint64_t n = Varint();
    if (n > Left() / each) Fail("eine Anzahl ist größer als die Datei");
    return static_cast<size_t>(n);
  }

  int32_t Zigzag() {
    const uint64_t u = Varint();
    if (u > 0xFFFFFFFFULL) Fail("eine Zahl ist zu groß");
    const auto v = static_cast<uint32_t>(u);
    return static_cast<int32_t>((v >> 1) ^ (0U - (v & 1)));
  }

  uint64_t Fixed64() {
    if (Left() < 8) Fail("zu kurz");
    uint64_t value = 0;
    for (int i = 0; i < 8; ++i) {
      value |= static_cast<uint64_t>(static_cast<unsigned char>(bytes_[at_++])) << (8 * i);
    }
    return value;
  }

  unsigned char Byte() {
    if (Left() < 1) Fail("zu kurz");
    return static_cast<unsigned char>(bytes_[at_++]);
  }

  std::string Text() {
    const uint64_t n = Varint();
    if (n > Left()) Fail("ein Text reicht über das Ende");
    std::string text(bytes_.substr(at_, static_cast<size_t>(n)));
    at_ += static_cast<size_t>(n);
    return text;
  }

  bool AtEnd() const { return at_ == bytes_.size(); }

 private:
  std::string_view bytes_;
  const std::string& file_;
  size_t at_ = 0;
  std::optional<size_t> entry_;
};

}  // namespace

std::string Encode(const std::vector<ObjectBase>& objects) {
  std::vector<std::string_view> names;
  std::unordered_map<std::string_view, uint64_t> index;
  for (const ObjectBase& object : objects) {
    for (const FieldBase& field : object.fields) {
      if (index.emplace(field.name, names.size()).second) names.push_back(field.name);
    }
  }
  std::string out(kMagic);
  out += static_cast<char>(kVersion);
  Varint(out, names.size());
  for (const std::string_view name : names) Text(out, name);
  Varint(out, objects.size());
  for (const ObjectBase& object : objects) {
    Text(out, object.Kennung);
    Zigzag(out, object.TID);
    Zigzag(out, object.Klasse);
    Varint(out, object.fields.size());
    for (const FieldBase& field : object.fields) {
      Varint(out, index.at(field.name));
      Fixed64(out, field.package);
      out += static_cast<char>(field.package == field.host ? 1 : 0);
      if (field.package != field.host) Fixed64(out, field.host);
    }
  }
  Fixed64(out, Fnv(out));
  return out;
}

std::vector<ObjectBase> Decode(std::string_view bytes, const std::string& file) {
  Reader check(bytes, file);
  if (bytes.size() < kMagic.size() + 1 + 8 || bytes.substr(0, kMagic.size()) != kMagic) {
    check.Fail("keine Kennung am Anfang");
  }
  if (static_cast<unsigned char>(bytes[kMagic.size()]) != kVersion) {
    check.Fail("Version " + std::to_string(static_cast<unsigned char>(bytes[kMagic.size()])));
  }
  const std::string_view body = bytes.substr(0, bytes.size() - 8);
  Reader trailer(bytes.substr(bytes.size() - 8), file);
  if (trailer.Fixed64() != Fnv(body)) check.Fail("die Prüfsumme stimmt nicht");

  Reader in(body.substr(kMagic.size() + 1), file);
  std::vector<std::string> names(in.Count(1));
  for (std::string& name : names) name = in.Text();
  // An object takes at least 5 bytes: its identifier's length, TID, class,
  // field count and nothing else; a field at least 10.
  std::vector<ObjectBase> objects(in.Count(4));
  for (size_t i = 0; i < objects.size(); ++i) {
    in.AtEntry(i + 1);
    ObjectBase& object = objects[i];
    object.Kennung = in.Text();
    object.TID = in.Zigzag();
    object.Klasse = in.Zigzag();
    object.fields.resize(in.Count(10));
    for (FieldBase& field : object.fields) {
      const uint64_t name = in.Varint();
      if (name >= names.size()) in.Fail("ein Feldname fehlt");
      field.name = names[static_cast<size_t>(name)];
      field.package = in.Fixed64();
      const unsigned char same = in.Byte();
      if (same > 1) in.Fail("ein Feld ist beschädigt");
      field.host = same ? field.package : in.Fixed64();
    }
  }
  if (!in.AtEnd()) in.Fail("nach dem letzten Eintrag folgt mehr");
  return objects;
}

std::vector<ObjectBase> Replace(std::vector<ObjectBase> record,
                                const std::unordered_set<std::string>& replaced,
                                std::vector<ObjectBase> loaded) {
  std::vector<ObjectBase> out;
  out.reserve(record.size() + loaded.size());
  for (ObjectBase& object : record) {
    if (!replaced.count(object.Kennung)) out.push_back(std::move(object));
  }
  for (ObjectBase& object : loaded) out.push_back(std::move(object));
  return out;
}

std::optional<std::vector<ObjectBase>> Read(platform::env::Env& env, const std::string& path) {
  if (!env.Stat(path)) return std::nullopt;
  std::string bytes;
  try {
    bytes = platform::env::ReadFile(env, path);
  } catch (const platform::env::EnvError& e) {
    throw BasesError("Die Datei " + path + " kann nicht gelesen werden:\r" + e.what());
  }
  return Decode(bytes, path);
}

void Write(platform::env::Env& env, const std::string& path,
           const std::vector<ObjectBase>& objects) {
  const std::string bytes = Encode(objects);
  try {
    platform::env::ReplaceFile(env, path, bytes);
  } catch (const platform::env::EnvError& e) {
    throw BasesError("Die Datei " + path + " kann nicht geschrieben werden:\r" + e.what());
  }
}

}  // namespace ImportBases

// The files of the geodata exchange through shapelib (GeodataLayers.h).
#include <shapefil.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "hostsim/GeodataLayers.h"
#include "platform/text/Encoding.h"
#include "platform/text/Strings.h"

namespace hostsim::geodata {
namespace {

// Whether a written main file is as long as its header says.
bool LayerComplete(const std::string& shp) {
  std::ifstream in(shp, std::ios::binary | std::ios::ate);
  if (!in) return false;
  const std::streamoff size = in.tellg();
  unsigned char head[28];
  in.seekg(0);
  if (!in.read(reinterpret_cast<char*>(head), sizeof head)) return false;
  const uint32_t words = (uint32_t{head[24]} << 24) | (uint32_t{head[25]} << 16) |
                         (uint32_t{head[26]} << 8) | uint32_t{head[27]};
  return static_cast<std::streamoff>(words) * 2 == size;
}

// Shapelib writes a record with a seek and a few small writes in each of
// its files; through the C library's files every seek costs system calls,
// which for a hundred thousand objects takes seconds. A layer is therefore
// built in memory and each file written whole when shapelib closes it.
struct MemFile {
  std::string path;
  std::string data;
  size_t pos = 0;
  bool dirty = false;
};

MemFile* Mem(SAFile file) {
  return reinterpret_cast<MemFile*>(file);
}

int MemFlush(SAFile file) {
  MemFile* f = Mem(file);
  if (!f->dirty) return 0;
  std::ofstream out(f->path, std::ios::binary | std::ios::trunc);
  out.write(f->data.data(), static_cast<std::streamsize>(f->data.size()));
  if (!out.flush()) return -1;
  f->dirty = false;
  return 0;
}

SAHooks MemoryHooks() {
  SAHooks hooks;
  SASetupDefaultHooks(&hooks);
  hooks.FOpen = [](const char* name, const char* access) -> SAFile {
    auto f = std::make_unique<MemFile>();
    f->path = name;
    if (std::strchr(access, 'r')) {
      std::ifstream in(name, std::ios::binary);
      if (!in) return nullptr;
      f->data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    } else {
      // Opening for writing creates the file at once, as fopen does.
      f->dirty = true;
      if (MemFlush(reinterpret_cast<SAFile>(f.get())) != 0) return nullptr;
    }
    return reinterpret_cast<SAFile>(f.release());
  };
  hooks.FRead = [](void* p, SAOffset size, SAOffset nmemb, SAFile file) -> SAOffset {
    MemFile* f = Mem(file);
    if (size == 0 || f->pos >= f->data.size()) return 0;
    const SAOffset items = std::min<SAOffset>(nmemb, (f->data.size() - f->pos) / size);
    std::memcpy(p, f->data.data() + f->pos, items * size);
    f->pos += items * size;
    return items;
  };
  hooks.FWrite = [](void* p, SAOffset size, SAOffset nmemb, SAFile file) -> SAOffset {
    MemFile* f = Mem(file);
    const size_t n = size * nmemb;
    if (f->data.size() < f->pos + n) f->data.resize(f->pos + n);
    std::memcpy(f->data.data() + f->pos, p, n);
    f->pos += n;
    f->dirty = true;
    return nmemb;
  };
  hooks.FSeek = [](SAFile file, SAOffset offset, int whence) -> SAOffset {
    MemFile* f = Mem(file);
    if (whence == SEEK_SET) {
      f->pos = offset;
    } else if (whence == SEEK_CUR) {
      f->pos += offset;
    } else {
      f->pos = f->data.size() + offset;
    }
    return 0;
  };
  hooks.FTell = [](SAFile file) -> SAOffset { return Mem(file)->pos; };
  hooks.FFlush = MemFlush;
  hooks.FClose = [](SAFile file) -> int {
    const int result = MemFlush(file);
    delete Mem(file);
    return result;
  };
  return hooks;
}

}  // namespace

bool WriteLayer(const std::string& shp, int shape_type, const std::vector<const GeoObject*>& objects,
                std::string& error) {
  const std::string dbf = shp.substr(0, shp.size() - 4) + ".dbf";
  SAHooks hooks = MemoryHooks();
  SHPHandle h = SHPCreateLL(shp.c_str(), shape_type, &hooks);
  if (!h) {
    error = "cannot create " + shp;
    return false;
  }
  DBFHandle d = DBFCreateLL(dbf.c_str(), "LDID/87", &hooks);
  if (!d) {
    SHPClose(h);
    error = "cannot create " + dbf;
    return false;
  }
  bool ok = DBFAddField(d, "KENNUNG", FTString, 50, 0) >= 0 &&
            DBFAddField(d, "KLASSE", FTInteger, 10, 0) >= 0 &&
            DBFAddField(d, "TYP", FTInteger, 3, 0) >= 0 &&
            DBFAddField(d, "KARTULID", FTInteger, 10, 0) >= 0;
  for (const GeoObject* o : objects) {
    if (!ok) break;
    std::vector<double> xs, ys;
    for (const Point& p : o->geometry) {
      xs.push_back(p.x);
      ys.push_back(p.y);
    }
    if (shape_type == kPolygon && !o->geometry.empty() &&
        !(o->geometry.front() == o->geometry.back())) {
      xs.push_back(o->geometry.front().x);
      ys.push_back(o->geometry.front().y);
    }
    SHPObject* shape = SHPCreateSimpleObject(shape_type, static_cast<int>(xs.size()),
                                             xs.data(), ys.data(), nullptr);
    if (!shape) {
      ok = false;
      break;
    }
    if (shape_type == kPolygon) SHPRewindObject(h, shape);
    int record = SHPWriteObject(h, -1, shape);
    SHPDestroyObject(shape);
    std::string kennung = platform::text::Utf8ToAnsi(o->kennung);
    ok = record >= 0 && DBFWriteStringAttribute(d, record, 0, kennung.c_str()) &&
         DBFWriteIntegerAttribute(d, record, 1, o->klasse) &&
         DBFWriteIntegerAttribute(d, record, 2, o->typ) &&
         DBFWriteIntegerAttribute(d, record, 3, o->id);
  }
  SHPClose(h);
  DBFClose(d);
  // The files reach the disk when they are closed; a failed write shows as
  // a file shorter than its header says.
  if (ok && !LayerComplete(shp)) ok = false;
  if (!ok) error = "cannot write " + shp;
  return ok;
}


bool ReadLayer(const std::string& shp, std::vector<LayerRecord>& records, std::string& error,
               const std::function<void(const std::string&)>& note) {
  const std::string dbf = shp.substr(0, shp.size() - 4) + ".dbf";
  SHPHandle h = SHPOpen(shp.c_str(), "rb");
  if (!h) {
    error = "cannot read " + shp;
    return false;
  }
  DBFHandle d = DBFOpen(dbf.c_str(), "rb");
  if (!d) {
    SHPClose(h);
    error = "cannot read " + dbf;
    return false;
  }
  int f_kennung = DBFGetFieldIndex(d, "KENNUNG"), f_klasse = DBFGetFieldIndex(d, "KLASSE"),
      f_typ = DBFGetFieldIndex(d, "TYP");
  if (f_kennung < 0) {
    SHPClose(h);
    DBFClose(d);
    error = dbf + " has no field KENNUNG";
    return false;
  }
  int count = 0, shape_type = 0;
  SHPGetInfo(h, &count, &shape_type, nullptr, nullptr);
  int rows = DBFGetRecordCount(d);
  for (int i = 0; i < count; ++i) {
    if (i >= rows) {
      note(shp + ": shape " + std::to_string(i) + " has no attribute record; skipped");
      continue;
    }
    SHPObject* s = SHPReadObject(h, i);
    if (!s) {
      note(shp + ": shape " + std::to_string(i) + " cannot be read; skipped");
      continue;
    }
    LayerRecord l;
    const char* k = DBFReadStringAttribute(d, i, f_kennung);
    l.kennung = std::string(platform::text::TrimChars(platform::text::AnsiToUtf8(k ? k : ""),
                                                      " "));  // dBase pads with blanks
    l.klasse = f_klasse >= 0 ? DBFReadIntegerAttribute(d, i, f_klasse) : 0;
    l.typ = f_typ >= 0 ? DBFReadIntegerAttribute(d, i, f_typ) : 0;
    l.shape_type = s->nSHPType;
    l.parts = s->nParts;
    int end = s->nParts > 1 ? s->panPartStart[1] : s->nVertices;
    for (int v = 0; v < end; ++v) l.points.push_back({s->padfX[v], s->padfY[v]});
    SHPDestroyObject(s);
    records.push_back(std::move(l));
  }
  SHPClose(h);
  DBFClose(d);
  return true;
}

}  // namespace hostsim::geodata

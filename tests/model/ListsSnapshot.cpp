// A dBase III reader of the model test's own (see ListsSnapshot.h).
#include "tests/model/ListsSnapshot.h"

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <tuple>

namespace model {
namespace {

uint32_t Le32(const std::string& b, size_t at) {
  return static_cast<uint32_t>(static_cast<unsigned char>(b[at])) |
         static_cast<uint32_t>(static_cast<unsigned char>(b[at + 1])) << 8 |
         static_cast<uint32_t>(static_cast<unsigned char>(b[at + 2])) << 16 |
         static_cast<uint32_t>(static_cast<unsigned char>(b[at + 3])) << 24;
}

uint16_t Le16(const std::string& b, size_t at) {
  return static_cast<uint16_t>(static_cast<unsigned char>(b[at]) |
                               static_cast<unsigned char>(b[at + 1]) << 8);
}

std::string Trimmed(std::string_view text) {
  size_t begin = text.find_first_not_of(' ');
  if (begin == std::string_view::npos) return {};
  size_t end = text.find_last_not_of(' ');
  return std::string(text.substr(begin, end - begin + 1));
}

int Number(const std::string& text) {
  try {
    return text.empty() ? 0 : std::stoi(text);
  } catch (...) {
    return -999999;
  }
}

int Column(const DbfRecords& t, std::string_view name) {
  for (size_t i = 0; i < t.fields.size(); ++i)
    if (t.fields[i] == name) return static_cast<int>(i);
  return -1;
}

}  // namespace

std::string ListRow::Text() const {
  return kennung + " " + std::to_string(tid) + " " + std::to_string(status) + " " + changed + " " +
         kennungo + " #" + std::to_string(kartulid);
}

DbfRecords ReadDbfFile(const std::string& path) {
  DbfRecords t;
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    t.problem = path + ": cannot be opened";
    return t;
  }
  const std::string b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (b.size() < 33) {
    t.problem = path + ": shorter than a header";
    return t;
  }
  const uint32_t count = Le32(b, 4);
  const uint16_t header = Le16(b, 8);
  const uint16_t length = Le16(b, 10);
  // Byte 14 set: records rewritten in place wait behind the end mark for
  // the next reader to put them back; no writer leaves a file so when all
  // went well.
  if (b[14] != 0) t.problem = path + ": marked as left in the middle of a rewrite";
  std::vector<std::pair<size_t, size_t>> spans;  // offset and width of each field
  size_t offset = 1;
  for (size_t at = 32; at + 32 <= header && b[at] != '\x0D'; at += 32) {
    const size_t name_end = b.find('\0', at);
    t.fields.push_back(b.substr(at, std::min<size_t>(name_end, at + 11) - at));
    const size_t width = static_cast<unsigned char>(b[at + 16]);
    spans.emplace_back(offset, width);
    offset += width;
  }
  if (offset != length) {
    if (t.problem.empty()) t.problem = path + ": fields do not add up to the record length";
    return t;
  }
  if (b.size() < static_cast<size_t>(header) + static_cast<size_t>(count) * length) {
    if (t.problem.empty())
      t.problem =
          path + ": the header counts " + std::to_string(count) + " records, the file holds fewer";
    return t;
  }
  for (uint32_t r = 0; r < count; ++r) {
    const size_t at = header + static_cast<size_t>(r) * length;
    if (b[at] == '*') continue;
    if (b[at] != ' ') {
      if (t.problem.empty())
        t.problem = path + ": record " + std::to_string(r + 1) + " has no deletion flag";
      continue;
    }
    std::vector<std::string> values;
    for (const auto& [field_offset, width] : spans)
      values.push_back(Trimmed(std::string_view(b).substr(at + field_offset, width)));
    t.records.push_back(std::move(values));
  }
  return t;
}

const ListRow* Tables::Row(std::string_view kennung) const {
  for (const ListRow& r : rows)
    if (r.kennung == kennung) return &r;
  return nullptr;
}

std::vector<int> Tables::PoolsOf(std::string_view kennung) const {
  std::vector<int> tids;
  for (const PoolEntry& e : pool)
    if (e.kennung == kennung) tids.push_back(e.tid);
  return tids;
}

bool Tables::InPool(int tid, std::string_view kennung) const {
  for (const PoolEntry& e : pool)
    if (e.tid == tid && e.kennung == kennung) return true;
  return false;
}

bool Tables::HasTransaction(int tid) const {
  for (const PoolEntry& e : transactions)
    if (e.tid == tid) return true;
  return false;
}

bool Tables::SameAs(const Tables& other) const {
  auto row_key = [](const ListRow& r) {
    return std::make_tuple(r.kennung, r.tid, r.kartulid, r.vgnr, r.status, r.changed, r.kennungo);
  };
  auto sorted_rows = [&](const std::vector<ListRow>& rs) {
    std::vector<decltype(row_key(rs.front()))> keys;
    for (const ListRow& r : rs) keys.push_back(row_key(r));
    std::sort(keys.begin(), keys.end());
    return keys;
  };
  auto sorted = [](std::vector<PoolEntry> v) {
    std::sort(v.begin(), v.end());
    return v;
  };
  return sorted_rows(rows) == sorted_rows(other.rows) && sorted(pool) == sorted(other.pool) &&
         sorted(transactions) == sorted(other.transactions);
}

Tables ReadTables(const std::string& project_dir) {
  Tables tables;
  auto note = [&](const std::string& problem) {
    if (!problem.empty() && tables.problem.empty()) tables.problem = problem;
  };
  const DbfRecords list = ReadDbfFile(project_dir + "TA_LIST.dbf");
  note(list.problem);
  const int tid = Column(list, "TID"), id = Column(list, "KARTULID"), vgnr = Column(list, "VGNR"),
            status = Column(list, "SCHREIBEND"), kennung = Column(list, "KENNUNG"),
            changed = Column(list, "CHANGED"), kennungo = Column(list, "KENNUNGO");
  if (std::min({tid, id, vgnr, status, kennung, changed, kennungo}) < 0) {
    note(project_dir + "TA_LIST.dbf: a column is missing");
  } else {
    for (const auto& r : list.records) {
      tables.rows.push_back({Number(r[tid]), Number(r[id]), Number(r[vgnr]), Number(r[status]),
                             r[kennung], r[changed], r[kennungo]});
    }
  }
  for (auto [file, name_column, target] :
       {std::make_tuple("TA_KL.dbf", "KENNUNG", &tables.pool),
        std::make_tuple("TA_ID.dbf", "NAME", &tables.transactions)}) {
    const DbfRecords t = ReadDbfFile(project_dir + file);
    note(t.problem);
    const int t_tid = Column(t, "TID"), t_text = Column(t, name_column);
    if (t_tid < 0 || t_text < 0) {
      note(project_dir + file + ": a column is missing");
      continue;
    }
    for (const auto& r : t.records) target->push_back({Number(r[t_tid]), r[t_text]});
  }
  return tables;
}

}  // namespace model

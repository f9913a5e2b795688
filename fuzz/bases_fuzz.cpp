// The record of the import's bases read from any bytes: as they are (the
// checksum turns nearly all away), and sealed with a checksum that fits, so
// that the reader behind it meets every damage a program could write. What
// is read must be written again to the same bytes' meaning: encoded and
// read back, it is the same record.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "exchange/ImportBases.h"

namespace {

std::string Sealed(std::string body) {
  uint64_t hash = 0xcbf29ce484222325ULL;
  for (const char c : body) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 0x100000001b3ULL;
  }
  for (int i = 0; i < 8; ++i) body += static_cast<char>((hash >> (8 * i)) & 0xFF);
  return body;
}

void Check(const std::string& bytes) {
  std::vector<ImportBases::ObjectBase> record;
  try {
    record = ImportBases::Decode(bytes, "TA_BASIS.dat");
  } catch (const ImportBases::BasesError&) {
    return;
  }
  if (ImportBases::Decode(ImportBases::Encode(record), "TA_BASIS.dat") != record) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  Check(bytes);
  Check(Sealed(bytes));
  return 0;
}

// Test helper: a fresh temporary folder, removed with everything in it when
// the object goes. Used by the driver's and the codec's tests only.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace platform::db::testing {

class TestDir {
 public:
  TestDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vandra-db-XXXXXX").string();
    path_ = ::mkdtemp(pattern.data());
  }
  ~TestDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TestDir(const TestDir&) = delete;
  TestDir& operator=(const TestDir&) = delete;

  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }
  std::string DBaseIII() const {
    return "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + path_ +
           ";Extended Properties=DBASE III;";
  }
  std::string DBaseIV() const {
    return "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + path_ +
           ";Extended Properties=DBASE IV;";
  }

  static std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  static void WriteAll(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }

 private:
  std::string path_;
};

}  // namespace platform::db::testing

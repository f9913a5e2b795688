// Test helper: a fresh temporary folder, removed with everything in it when
// the object goes.
#pragma once

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
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

#ifdef VANDRA_PYTHON3
  // Runs a Python script, written as "script.py" in the folder, with the
  // system's Python: an independent reader or writer of the files a test
  // makes. Answers what it printed, its errors included.
  std::string Python(const std::string& script) const {
    const std::string file = File("script.py");
    WriteAll(file, script);
    std::string out;
    const std::string command = std::string(VANDRA_PYTHON3) + " " + file + " 2>&1";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
    std::array<char, 4096> buf;
    size_t n;
    while (pipe && (n = std::fread(buf.data(), 1, buf.size(), pipe.get())) > 0) {
      out.append(buf.data(), n);
    }
    return out;
  }
#endif

 private:
  std::string path_;
};

}  // namespace platform::db::testing

#include "context/ProjectIdentity.h"

#include <random>
#include <stdexcept>

#include "platform/env/Env.h"

namespace ProjectIdentity {
namespace {

constexpr std::string_view kHeader = "VANDRA-PROJEKT\t1\n";

std::string PathIn(const std::string& project_dir) {
  return project_dir + kFileName;
}

// 128 random bits. The clocks are mixed in so that a random device that
// answers badly (some runtimes fall back to a fixed sequence) still gives
// two projects made at different times different ids.
std::string NewId() {
  std::random_device device;
  platform::env::Env& env = platform::env::Env::Current();
  std::seed_seq seed{device(),
                     device(),
                     device(),
                     device(),
                     static_cast<unsigned>(env.WallNs()),
                     static_cast<unsigned>(env.WallNs() >> 32),
                     static_cast<unsigned>(env.SteadyNs()),
                     static_cast<unsigned>(env.SteadyNs() >> 32)};
  std::mt19937_64 generator(seed);
  static const char kDigits[] = "0123456789abcdef";
  std::string id;
  for (int word = 0; word < 2; ++word) {
    uint64_t bits = generator();
    for (int i = 0; i < 16; ++i, bits >>= 4) id += kDigits[bits & 0xf];
  }
  return id;
}

}  // namespace

bool IsId(const std::string& text) {
  if (text.size() != 32) return false;
  for (const char c : text) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

std::optional<std::string> Read(const std::string& project_dir, std::string& problem) {
  problem.clear();
  platform::env::Env& env = platform::env::Env::Current();
  const std::string path = PathIn(project_dir);
  if (!env.LinkStatus(path)) return std::nullopt;
  std::string text;
  try {
    text = platform::env::ReadFile(env, path);
  } catch (const platform::env::EnvError& e) {
    problem = e.what();
    return std::nullopt;
  }
  if (text.size() == kHeader.size() + 33 && text.compare(0, kHeader.size(), kHeader) == 0 &&
      text.back() == '\n') {
    std::string id = text.substr(kHeader.size(), 32);
    if (IsId(id)) return id;
  }
  problem = "Die Datei " + path + " enthält keine Kennung eines Projekts.";
  return std::nullopt;
}

std::string Ensure(const std::string& project_dir) {
  std::string problem;
  if (std::optional<std::string> id = Read(project_dir, problem)) return *id;
  platform::env::Env& env = platform::env::Env::Current();
  platform::env::ReplaceFile(env, PathIn(project_dir), std::string(kHeader) + NewId() + "\n");
  if (std::optional<std::string> id = Read(project_dir, problem)) return *id;
  throw std::runtime_error(problem.empty() ? "Die Datei " + PathIn(project_dir) +
                                                 " ist nach dem Schreiben nicht da."
                                           : problem);
}

}  // namespace ProjectIdentity

// The export's way of putting a package into its folder so that it is there
// whole or recognisably not at all. Every file of the package, the host's
// attribute and geodata files with whatever companions the host writes
// among them, is written into a staging folder beside the package
// (Package::Names::StagingFolder) under its final name; Commit then moves
// the files into the package's folder and the transaction file last.
//
// Crash contract (a kill, or the machine stopping, at any moment):
//  - Until Commit begins, the package's folder is as it was: an earlier
//    package of the prefix stays whole with its .tid.
//  - Commit first brings every staged file to the disk, carries the keys of
//    an earlier .tid into the new one, and removes the earlier .tid (the
//    folder synced) before any other file of the folder changes. From then
//    until the new .tid has its name (synced), the folder holds no .tid of
//    the prefix and its staging folder: Package::IncompletePackage tells it
//    incomplete, and the check-in refuses a package without a .tid.
//  - Once the new .tid has its name, the package is whole; the staging
//    folder is removed last.
//  - What a cut export leaves (the staging folder, temporary files of the
//    package's files) is removed by the next export of the prefix into the
//    folder (RemoveLeftovers).
// A failure before Commit removes the staging folder; a failure within it
// leaves the package incomplete in the sense above, never passing as whole.
//
// Files of the folder that an earlier package of the prefix had and the new
// one lacks (Package::IsPackageFile: a geodata layer no longer written, a
// file spelt in another case) are removed with the earlier .tid gone.
// Pictures already in the photo folder stay; a picture of the same name is
// replaced by the new copy. Files of other prefixes are never touched.
#pragma once

#include <string>

#include "exchange/Package.h"

namespace StagedPackage {

// Removes what a cut export of the package left: its staging folder (its
// content, links not followed) and temporary files of its files in the
// folder and in the photo folder. Throws EnvError.
void RemoveLeftovers(const Package::Names& target);

class Staging {
 public:
  // Removes leftovers and makes an empty staging folder. Throws EnvError.
  explicit Staging(Package::Names target);
  // Removes the staging folder unless Commit has begun.
  ~Staging();
  Staging(const Staging&) = delete;
  Staging& operator=(const Staging&) = delete;

  // Where the export writes the package.
  const Package::Names& Staged() const { return staged_; }
  // Moves the staged package into its folder as the contract says. Throws
  // EnvError or the ini file's error (std::exception): when Begun() the
  // package is then incomplete, else its folder is as it was.
  void Commit();
  // Whether Commit has begun to change the package's folder.
  bool Begun() const { return committing_; }

 private:
  Package::Names target_;
  Package::Names staged_;
  bool committing_ = false;
};

}  // namespace StagedPackage

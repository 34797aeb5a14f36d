#pragma once
// Whole-file reads and replacements that leave no half-written file behind:
// the new content goes to a temporary file beside the target, is flushed to
// disk, and then takes the target's place in one rename.

#include <string>
#include <string_view>

/// Reads the whole file at path into bytes. Returns 0, or -1 with errno set
/// (ENOENT when the file does not exist).
int readWholeFile(const char* path, std::string& bytes);

/// What stands at a path that a replacement is to take.
enum class TargetKind {
  /// Nothing: the replacement creates the file.
  missing,
  /// A regular file, or a link to one, that the caller may write.
  writable,
  /// A regular file the caller may not write, or one without any write
  /// permission bit (which even the superuser, who may write anything, is
  /// meant to leave alone).
  readOnly,
  /// A folder, device, FIFO or socket.
  notRegular,
  /// A symbolic link to nothing.
  danglingLink,
  /// Cannot be examined; errno says why.
  unknown,
};

/// Examines path, following a symbolic link. Returns what stands there.
TargetKind inspectTarget(const char* path);

/// The file a replacement of path takes the place of: path, or the file a
/// symbolic link at path names. Returns that path.
std::string replacementTarget(const char* path);

/// Removes the temporary files of replacements of target that were never
/// committed (their process was killed). Only for a caller that keeps every
/// other replacement of target away meanwhile (a lock): a live one's file
/// looks the same. Returns how many were removed.
int removeStaleReplacements(const std::string& target);

/// A temporary file beside its target that either replaces the target
/// (commit) or is removed when the guard ends.
struct ReplacementFile {
  ReplacementFile() = default;
  ReplacementFile(const ReplacementFile&) = delete;
  ReplacementFile& operator=(const ReplacementFile&) = delete;
  ~ReplacementFile() { discard(); }

  /// Creates a new temporary file beside target (with target's owner and
  /// permissions when it exists) and writes bytes to it, flushed to disk.
  /// Returns 0, or -1 with errno set (EPERM when the owner or permissions
  /// cannot be given to it) and nothing left behind.
  int write(const char* target, std::string_view bytes);
  /// Path of the temporary file; empty before write and after commit.
  const std::string& path() const { return temp_; }
  /// Moves the temporary file over the target in one step, replacing an
  /// existing target. Returns 0, or -1 with errno set; the target is then as
  /// it was and the temporary file is removed.
  int commit();
  /// Removes the temporary file, if any.
  void discard();

 private:
  /// The file to replace, with a symbolic link followed to its target.
  std::string target_;
  /// The temporary file while it exists.
  std::string temp_;
};

#pragma once
// Works out which folders an output path names, outermost first: a pure function of the
// path's bytes and its code page, with no file system access.

#include <cstddef>
#include <string_view>

// One folder name: a piece of the path between separators, "\\" or "/" alike.
struct FolderComponent {
    std::size_t offset;
    std::size_t length;
};

// The folders to make, as pieces of the path they came from.
struct FolderPlan {
    std::size_t driveLength;  // "C:" in front: 2, otherwise 0
    std::string_view root;    // after the drive text: "", "\\", or "\\\\" for a share (two separators)
    std::size_t firstMade;    // components before it (a share's server and name) are not made
    std::size_t componentCount;
};

// Room a plan needs for the components of a path of `pathLength` bytes.
constexpr std::size_t FolderComponentCapacity(std::size_t pathLength) { return pathLength / 2 + 1; }
// Room a prefix of such a path needs, its terminating zero byte included: a prefix is never
// longer than its path, since each "\\" it holds stands for a separator of the path.
constexpr std::size_t FolderPrefixCapacity(std::size_t pathLength) { return pathLength + 1; }

// Splits `path` into its drive text, root and folder components, walking it character by
// character in `codePage` so that the second byte of a two-byte character is never a
// separator. `components` has FolderComponentCapacity(path.size()) entries.
FolderPlan PlanOutputFolders(std::string_view path, unsigned codePage, FolderComponent* components);

// For a system that resolves dots by their text: drops from the plan each "." and each folder
// that a later ".." cancels, with that "..", a last "." or ".." after the folders included (the
// folder left last is then the output itself); a ".." at the root goes too, at a \\.\ path's
// drive or device it ends the folders to make, and one that climbs out of a relative path's first
// folder stays. \\?\ and \??\ paths keep their parts.
void DropCancelledFolders(std::string_view path, FolderPlan& plan, FolderComponent* components);

// Writes the prefix that names folder `index` of the plan, zero-terminated, into `prefix`
// (FolderPrefixCapacity(path.size()) bytes): drive text, root, and each component up to
// `index` followed by "\\". Returns its length.
std::size_t ComposeFolderPrefix(std::string_view path, const FolderPlan& plan,
                                const FolderComponent* components, std::size_t index,
                                char* prefix);

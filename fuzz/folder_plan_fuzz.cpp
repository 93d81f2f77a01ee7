// Any path bytes under code page 932 and a single-byte code page: no read past the path,
// every prefix ends with "\\", each prefix begins with the one before, and there is one
// call per component.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "folders/folder_plan.h"

namespace {

bool IsLead932(unsigned char byte) { return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC); }

// Non-empty runs between separators in the folder part, counted separately from the planner.
std::size_t CountComponents(std::string_view path, bool dbcs) {
    const std::size_t drive = path.size() >= 2 && path[1] == ':' ? 2 : 0;
    std::size_t folderEnd = drive;
    for (std::size_t i = drive; i < path.size(); ++i) {
        if (path[i] == '\\' || path[i] == '/') folderEnd = i + 1;
        if (dbcs && IsLead932(static_cast<unsigned char>(path[i]))) ++i;
    }
    std::size_t count = 0;
    std::size_t run = 0;
    for (std::size_t i = drive; i < folderEnd; ++i) {
        const bool lead = dbcs && IsLead932(static_cast<unsigned char>(path[i])) && i + 1 < path.size();
        if ((path[i] == '\\' || path[i] == '/') && !lead) {
            count += run > 0;
            run = 0;
        } else {
            run += lead ? 2 : 1;
            if (lead) ++i;
        }
    }
    return count + (run > 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    char* bytes = static_cast<char*>(std::malloc(size ? size : 1));  // exact size, no terminator
    std::memcpy(bytes, data, size);
    const std::string_view path(bytes, size);
    for (unsigned codePage : {932u, 1252u}) {
        FolderComponent* components = static_cast<FolderComponent*>(
            std::malloc(FolderComponentCapacity(size) * sizeof(FolderComponent)));
        char* prefix = static_cast<char*>(std::malloc(FolderPrefixCapacity(size)));
        char* previous = static_cast<char*>(std::calloc(FolderPrefixCapacity(size), 1));
        const FolderPlan plan = PlanOutputFolders(path, codePage, components);
        const bool share = plan.root == "\\\\";
        if (plan.componentCount != CountComponents(path, codePage == 932)) std::abort();
        if (plan.componentCount - plan.firstMade !=
            (share ? (plan.componentCount > 2 ? plan.componentCount - 2 : 0) : plan.componentCount)) {
            std::abort();
        }
        std::size_t previousLength = 0;
        for (std::size_t i = plan.firstMade; i < plan.componentCount; ++i) {
            const std::size_t length = ComposeFolderPrefix(path, plan, components, i, prefix);
            if (length == 0 || prefix[length - 1] != '\\' || prefix[length] != '\0') std::abort();
            if (length <= previousLength || std::memcmp(prefix, previous, previousLength) != 0) std::abort();
            std::memcpy(previous, prefix, length + 1);
            previousLength = length;
        }
        // Dropping what ".." cancels keeps to the same room, in the path's order.
        FolderPlan dropped = plan;
        DropCancelledFolders(path, dropped, components);
        if (dropped.componentCount > plan.componentCount) std::abort();
        for (std::size_t i = dropped.firstMade; i < dropped.componentCount; ++i) {
            if (i > dropped.firstMade && components[i].offset <= components[i - 1].offset) std::abort();
            ComposeFolderPrefix(path, dropped, components, i, prefix);
        }
        std::free(previous);
        std::free(prefix);
        std::free(components);
    }
    std::free(bytes);
    return 0;
}

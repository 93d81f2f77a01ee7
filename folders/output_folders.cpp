#include "folders/output_folders.h"

#include <cstring>
#include <string_view>

#include "folders/folder_plan.h"
#include "platform/handles.h"
#include "platform/platform.h"

namespace {

unsigned g_pathCodePage = 0;

}  // namespace

void SetPathCodePage(unsigned codePage) { g_pathCodePage = codePage; }

void PrepareOutputFolders(const char* outputPath) {
    const std::string_view path(outputPath, std::strlen(outputPath));
    // All working memory first: without it no folder is made.
    WorkingMemory<FolderComponent> components(static_cast<FolderComponent*>(
        PlatformAllocZeroed(FolderComponentCapacity(path.size()) * sizeof(FolderComponent))));
    WorkingMemory<char> prefix(
        static_cast<char*>(PlatformAllocZeroed(FolderPrefixCapacity(path.size()))));
    if (!components || !prefix) return;

    FolderPlan plan = PlanOutputFolders(path, g_pathCodePage, components.get());
    if (PlatformResolvesDotsByText()) DropCancelledFolders(path, plan, components.get());
    for (std::size_t i = plan.firstMade; i < plan.componentCount; ++i) {
        ComposeFolderPrefix(path, plan, components.get(), i, prefix.get());
        PlatformCreateFolder(prefix.get());
    }
}

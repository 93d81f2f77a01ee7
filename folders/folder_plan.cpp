#include "folders/folder_plan.h"

#include <cstring>

#include "platform/platform.h"

namespace {

// Byte count of the character that starts at `at`: 2 for a lead byte with a byte after it.
std::size_t CharacterLength(std::string_view text, std::size_t at, unsigned codePage) {
    const bool lead = PlatformIsLeadByte(codePage, static_cast<unsigned char>(text[at]));
    return lead && at + 1 < text.size() ? 2 : 1;
}

bool IsSeparator(char byte) { return byte == '\\' || byte == '/'; }

// Length of the folder part: through the last separator, or 0 when there is none.
std::size_t FolderPartLength(std::string_view rest, unsigned codePage) {
    std::size_t length = 0;
    for (std::size_t at = 0; at < rest.size(); at += CharacterLength(rest, at, codePage)) {
        if (IsSeparator(rest[at])) length = at + 1;
    }
    return length;
}

}  // namespace

FolderPlan PlanOutputFolders(std::string_view path, unsigned codePage, FolderComponent* components) {
    FolderPlan plan{0, "", 0, 0};
    if (path.size() >= 2 && path[1] == ':') plan.driveLength = 2;
    const std::string_view rest = path.substr(plan.driveLength);
    const std::string_view folderPart = rest.substr(0, FolderPartLength(rest, codePage));
    if (folderPart.empty()) return plan;

    // A network path's server and share exist or not; neither is a folder to make.
    const bool share = plan.driveLength == 0 && folderPart.size() >= 2 && IsSeparator(folderPart[0]) &&
                       IsSeparator(folderPart[1]);
    if (share) {
        plan.root = "\\\\";
        plan.firstMade = 2;
    } else if (IsSeparator(folderPart[0])) {
        plan.root = "\\";
    }
    // A relative folder part stays relative: the folders go where the output will be written.

    std::size_t start = 0;
    for (std::size_t at = 0; at < folderPart.size(); at += CharacterLength(folderPart, at, codePage)) {
        if (!IsSeparator(folderPart[at])) continue;
        if (at > start) components[plan.componentCount++] = {plan.driveLength + start, at - start};
        start = at + 1;
    }
    if (plan.firstMade > plan.componentCount) plan.firstMade = plan.componentCount;
    return plan;
}

void DropCancelledFolders(std::string_view path, FolderPlan& plan, FolderComponent* components) {
    // \\?\ and \??\ paths reach the file system as they are, their parts with them.
    if (path.size() >= 4 && IsSeparator(path[0]) && IsSeparator(path[3]) &&
        ((IsSeparator(path[1]) && path[2] == '?') || (path[1] == '?' && path[2] == '?'))) {
        return;
    }
    auto name = [&](const FolderComponent& component) { return path.substr(component.offset, component.length); };
    std::size_t count = plan.componentCount;
    // A last "." or ".." makes a folder of the path the output: it cancels like any other, and
    // then the last folder left is the output's own name, not one to make.
    bool dotsLast = false;
    if (count > plan.firstMade) {
        std::size_t at = components[count - 1].offset + components[count - 1].length;
        while (at < path.size() && IsSeparator(path[at])) ++at;
        dotsLast = path.substr(at) == "." || path.substr(at) == "..";
        if (dotsLast) components[count++] = {at, path.size() - at};
    }
    // In a \\.\ path the share stands for a drive or a device, which a ".." would climb over.
    const bool device = plan.root == "\\\\" && plan.firstMade > 0 && name(components[0]) == ".";
    std::size_t kept = plan.firstMade;
    for (std::size_t i = plan.firstMade; i < count; ++i) {
        const std::string_view folder = name(components[i]);
        if (folder == ".." && kept == plan.firstMade && !plan.root.empty()) {
            if (!device) continue;
            dotsLast = false;
            break;
        }
        if (folder == "." || (folder == ".." && kept > plan.firstMade && name(components[kept - 1]) != "..")) {
            kept -= folder == "." ? 0 : 1;
            continue;
        }
        components[kept++] = components[i];
    }
    plan.componentCount = dotsLast && kept > plan.firstMade ? kept - 1 : kept;
}

std::size_t ComposeFolderPrefix(std::string_view path, const FolderPlan& plan,
                                const FolderComponent* components, std::size_t index,
                                char* prefix) {
    std::size_t length = 0;
    auto append = [&](std::string_view piece) {
        std::memcpy(prefix + length, piece.data(), piece.size());
        length += piece.size();
    };
    append(path.substr(0, plan.driveLength));
    append(plan.root);
    for (std::size_t i = 0; i <= index; ++i) {
        append(path.substr(components[i].offset, components[i].length));
        append("\\");
    }
    prefix[length] = '\0';
    return length;
}

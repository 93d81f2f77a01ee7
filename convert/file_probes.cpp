#include "convert/file_probes.h"

#include "platform/handles.h"
#include "platform/platform.h"

bool FileExists(const char* path) { return StreamHandle(PlatformOpenStream(path, "r")) != nullptr; }

std::int64_t QueryFileLength(const char* path) { return PlatformQueryFileLength(path); }

bool NamesSameFile(const char* pathA, const char* pathB) {
    return PlatformOneFile(PlatformPathIdentity(pathA), PlatformPathIdentity(pathB));
}

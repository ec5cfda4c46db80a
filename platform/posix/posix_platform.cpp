#include "platform/posix/posix_platform.h"

#include "platform/system_platform.h"

namespace dungeon {

PosixPlatform::PosixPlatform(const char* terminalPath, const char* terminalType)
    : TerminalDevice(terminalPath, terminalType), VtTerminal(static_cast<TerminalDevice&>(*this)) {}

Platform& SystemPlatform() {
    static PosixPlatform platform;
    return platform;
}

int RunOnSystemPlatform(int (*program)(Platform&)) {
    return program(SystemPlatform());
}

}  // namespace dungeon

#include "platform/posix/posix_platform.h"

#include "platform/posix/signal_restore.h"
#include "platform/system_platform.h"

namespace dungeon {

std::optional<OpenError> PosixPlatform::Open(Screen& screen) {
    std::optional<OpenError> error = terminal_.Open(screen);
    if (!error) {
        GiveRestoreBytesToHandlers();
    }
    return error;
}

void PosixPlatform::Present(Screen& screen) {
    terminal_.Present(screen);
    GiveRestoreBytesToHandlers();
}

std::optional<InputEvent> PosixPlatform::NextEvent() {
    RepaintAfterResizeOrResume();
    return terminal_.NextEvent();
}

WaitResult PosixPlatform::Wait(std::optional<std::uint32_t> deadline) {
    RepaintAfterResizeOrResume();
    return terminal_.Wait(deadline);
}

// The handlers send them should a signal end the program or stop it.
void PosixPlatform::GiveRestoreBytesToHandlers() {
    if (posix::RestoreInstalled()) {
        const VtTerminal::RestoreBytes bytes = terminal_.CurrentRestoreBytes();
        posix::SetRestoreBytes(bytes.leave, bytes.enter, bytes.resume);
    }
}

void PosixPlatform::RepaintAfterResizeOrResume() {
    if (posix::TakeResizeOrResume()) {
        terminal_.Repaint();
        GiveRestoreBytesToHandlers();
    }
}

Platform& SystemPlatform() {
    static PosixPlatform platform;
    return platform;
}

int RunOnSystemPlatform(int (*program)(Platform&)) {
    return program(SystemPlatform());
}

}  // namespace dungeon

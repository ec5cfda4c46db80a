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

bool PosixPlatform::Present(const Screen& screen) {
    const bool all = terminal_.Present(screen);
    GiveRestoreBytesToHandlers();
    return all;
}

std::optional<InputEvent> PosixPlatform::NextEvent() {
    RepaintAfterResizeOrResume();
    return terminal_.NextEvent();
}

WaitResult PosixPlatform::Wait() {
    RepaintAfterResizeOrResume();
    return terminal_.Wait();
}

// The handlers send them should a signal end the program or stop it.
void PosixPlatform::GiveRestoreBytesToHandlers() {
    if (terminal_.IsOpen()) {
        const VtTerminal::RestoreBytes bytes = terminal_.CurrentRestoreBytes();
        posix::SetRestoreBytes(bytes.leave, bytes.enter, bytes.resume);
    }
}

void PosixPlatform::RepaintAfterResizeOrResume() {
    if (terminal_.IsOpen() && posix::TakeResizeOrResume()) {
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

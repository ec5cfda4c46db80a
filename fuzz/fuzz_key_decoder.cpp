// Feeds arbitrary bytes to the key decoder, split at places the input chooses, with
// timeouts in between: it must never crash, hang or hold more than its bounds.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "platform/vt/key_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static dungeon::KeyDecoder decoder;
    decoder = dungeon::KeyDecoder{};
    std::size_t i = 0;
    while (i < size) {
        // The first byte of each chunk chooses its length and what follows it.
        std::uint8_t control = data[i++];
        std::size_t length = control & 0x1F;
        if (length > size - i) {
            length = size - i;
        }
        decoder.Feed(data + i, length);
        i += length;
        if ((control & 0x20) != 0) {
            decoder.Flush();
            if (decoder.HasPartial()) {
                std::abort();
            }
        }
        if (decoder.PendingEvents() < 0 ||
            decoder.PendingEvents() > dungeon::KeyDecoder::kQueueCapacity) {
            std::abort();
        }
        dungeon::InputEvent event;
        int take = (control >> 6) * 3;
        while (take-- > 0 && decoder.PopEvent(event)) {
        }
    }
    decoder.Flush();
    return 0;
}

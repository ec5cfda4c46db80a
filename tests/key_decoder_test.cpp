#include "platform/vt/key_decoder.h"

#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "console/console.h"
#include "console/pc_keyboard.h"
#include "platform/memory/memory_platform.h"

namespace dungeon {
namespace {

using Keys = std::vector<int>;
using Events = std::vector<TerminalEvent>;

// Tells the terminal's kitty protocol answer with event types on.
constexpr const char* kKittyOn = "\x1b[?31u";
constexpr std::uint32_t kTimeout = KeyDecoder::kEscapeTimeoutMs;

std::span<const std::uint8_t> BytesOf(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

Events Take(KeyDecoder& decoder) {
    Events events;
    while (std::optional<TerminalEvent> event = decoder.Next()) {
        events.push_back(*event);
    }
    return events;
}

// Feeds `bytes` that arrived at `nowMs` as a platform does: a read's worth at a time,
// every event taken before the next.
Events Feed(KeyDecoder& decoder, std::string_view bytes, std::uint32_t nowMs = 0) {
    Events events;
    for (std::size_t at = 0; at < bytes.size(); at += KeyDecoder::kMaxFeed) {
        decoder.Feed(BytesOf(bytes.substr(at, KeyDecoder::kMaxFeed)), nowMs);
        Events taken = Take(decoder);
        events.insert(events.end(), taken.begin(), taken.end());
    }
    return events;
}

Events Advance(KeyDecoder& decoder, std::uint32_t nowMs) {
    decoder.Advance(nowMs);
    return Take(decoder);
}

// The key events among `events`, without the terminal's answers.
std::vector<KeyEvent> KeyEvents(const Events& events) {
    std::vector<KeyEvent> keys;
    for (const TerminalEvent& event : events) {
        if (event.kind == TerminalEvent::Kind::kKey) {
            keys.push_back(event.key);
        }
    }
    return keys;
}

// The characters the console layer hands out for the decoded events.
Keys ConsoleKeys(const Events& events) {
    MemoryPlatform platform;
    for (const KeyEvent& key : KeyEvents(events)) {
        platform.PushEvent(InputEvent{InputEvent::Kind::kKey, key});
    }
    Console console;
    EXPECT_TRUE(console.Start(platform));
    Keys keys;
    while (console.KeyWaiting()) {
        keys.push_back(static_cast<std::uint8_t>(console.GetKey()));
    }
    return keys;
}

// The keys for `bytes` after `prefix`, all in one read; then time passes.
Keys KeysFor(const std::string& bytes, const char* prefix = "") {
    KeyDecoder decoder;
    Events events = Feed(decoder, prefix);
    Events more = Feed(decoder, bytes);
    events.insert(events.end(), more.begin(), more.end());
    more = Advance(decoder, kTimeout);
    events.insert(events.end(), more.begin(), more.end());
    return ConsoleKeys(events);
}

struct Case {
    const char* name;
    std::string bytes;
    Keys keys;
};

void CheckCases(const std::vector<Case>& cases, const char* prefix = "") {
    for (const Case& c : cases) {
        EXPECT_EQ(KeysFor(c.bytes, prefix), c.keys) << c.name;
        // Bytes split over reads in any place give the same keys.
        KeyDecoder decoder;
        Events events = Feed(decoder, prefix);
        for (char byte : c.bytes) {
            Events more = Feed(decoder, std::string(1, byte));
            events.insert(events.end(), more.begin(), more.end());
        }
        Events more = Advance(decoder, kTimeout);
        events.insert(events.end(), more.begin(), more.end());
        EXPECT_EQ(ConsoleKeys(events), c.keys) << c.name << " (byte by byte)";
    }
}

TEST(KeyDecoderTest, PrintableAndControlCharactersTypeAsOnThePc) {
    CheckCases({
        {"letters and digits", "aZ8s", {'a', 'Z', '8', 's'}},
        {"punctuation", "~!{?", {'~', '!', '{', '?'}},
        {"space", " ", {' '}},
        {"Ctrl+C", "\x03", {3}},
        {"Ctrl+\\", "\x1c", {28}},
        {"Ctrl+Z", "\x1a", {26}},
        {"Ctrl+S and Ctrl+Q", "\x13\x11", {19, 17}},
        {"Enter", "\r", {13}},
        {"Ctrl+J", "\n", {10}},
        {"Tab", "\t", {9}},
        {"Backspace as DEL", "\x7f", {8}},
        {"Backspace as BS", "\x08", {8}},
        {"Ctrl+2", std::string(1, '\0'), {0, 3}},
        {"lone Escape", "\x1b", {27}},
        {"two Escapes", "\x1b\x1b", {27, 27}},
    });
}

TEST(KeyDecoderTest, PrintableKeysCarryTheirUsLayoutKeyCodes) {
    KeyDecoder decoder;
    std::vector<KeyEvent> events = KeyEvents(Feed(decoder, "a!\x03\xc3\xa4"));
    ASSERT_EQ(events.size(), 8u);  // each a press and its release
    EXPECT_EQ(events[0], (KeyEvent{true, 'A', 30, 'a', 0}));
    EXPECT_EQ(events[1], (KeyEvent{false, 'A', 30, 'a', 0}));
    EXPECT_EQ(events[2], (KeyEvent{true, '1', 2, '!', kShift}));
    EXPECT_EQ(events[4], (KeyEvent{true, 'C', 46, 3, kLeftCtrl}));
    EXPECT_EQ(events[6], (KeyEvent{true, 0, 0, 132, 0})) << "no US key types the upper half";
}

TEST(KeyDecoderTest, AltAsEscapePrefix) {
    CheckCases({
        {"Alt+m", "\x1bm", {0, 50}},
        {"Alt+Shift+m", "\x1bM", {'M'}},
        {"Alt+4",
         "\x1b"
         "4",
         {0, 123}},
        {"Alt+Enter", "\x1b\r", {0, 166}},
        {"Alt+[ alone", "\x1b[", {0, 26}},
        {"Alt+Shift+O alone", "\x1bO", {'O'}},
        {"Alt+[ then Enter", "\x1b[\r", {0, 26, 13}},
        {"Alt+Up, rxvt", "\x1b\x1b[A", {0, 152}},
    });
}

TEST(KeyDecoderTest, CursorAndEditingKeysInAllForms) {
    CheckCases({
        {"arrows CSI", "\x1b[A\x1b[B\x1b[C\x1b[D", {0, 72, 0, 80, 0, 77, 0, 75}},
        {"arrows SS3", "\x1bOA\x1bOB\x1bOC\x1bOD", {0, 72, 0, 80, 0, 77, 0, 75}},
        {"Home End", "\x1b[H\x1b[F\x1bOH\x1bOF", {0, 71, 0, 79, 0, 71, 0, 79}},
        {"Home End Linux", "\x1b[1~\x1b[4~", {0, 71, 0, 79}},
        {"Home End rxvt", "\x1b[7~\x1b[8~", {0, 71, 0, 79}},
        {"Insert Delete", "\x1b[2~\x1b[3~", {0, 82, 0, 83}},
        {"Page Up Down", "\x1b[5~\x1b[6~", {0, 73, 0, 81}},
        {"Shift+Tab", "\x1b[Z", {9}},
        {"keypad 5", "\x1b[E\x1b[G\x1bOE", {0, 76, 0, 76, 0, 76}},
    });
}

TEST(KeyDecoderTest, FunctionKeysInAllForms) {
    CheckCases({
        {"F1-F4 SS3", "\x1bOP\x1bOQ\x1bOR\x1bOS", {0, 59, 0, 60, 0, 61, 0, 62}},
        {"F1-F4 rxvt", "\x1b[11~\x1b[12~\x1b[13~\x1b[14~", {0, 59, 0, 60, 0, 61, 0, 62}},
        {"F1-F5 Linux", "\x1b[[A\x1b[[B\x1b[[C\x1b[[D\x1b[[E", {0, 59, 0, 60, 0, 61, 0, 62, 0, 63}},
        {"F5-F10",
         "\x1b[15~\x1b[17~\x1b[18~\x1b[19~\x1b[20~\x1b[21~",
         {0, 63, 0, 64, 0, 65, 0, 66, 0, 67, 0, 68}},
        {"F11 F12", "\x1b[23~\x1b[24~", {0, 133, 0, 134}},
        {"Shift+F3 Linux", "\x1b[25~", {0, 86}},
    });
}

TEST(KeyDecoderTest, ModifierParametersChooseTheExtendedCode) {
    CheckCases({
        {"Ctrl+Left quits", "\x1b[1;5D", {0, 115}},
        {"Ctrl+F9 flees", "\x1b[20;5~", {0, 102}},
        {"Shift+F1", "\x1b[1;2P", {0, 84}},
        {"Ctrl+F3", "\x1b[1;5R", {0, 96}},
        {"Alt+Up", "\x1b[1;3A", {0, 152}},
        {"Ctrl+Home", "\x1b[1;5H", {0, 119}},
        {"Alt+Delete", "\x1b[3;3~", {0, 163}},
        {"Ctrl+F12", "\x1b[24;5~", {0, 138}},
        {"Shift+F11", "\x1b[23;2~", {0, 135}},
        {"Ctrl+Alt+Left: Alt wins", "\x1b[1;7D", {0, 155}},
        {"Ctrl+F1 old form", "\x1bO5P", {0, 94}},
        {"Ctrl+Delete rxvt", "\x1b[3^", {0, 147}},
        {"Shift+Page Up rxvt", "\x1b[5$", {0, 73}},
        {"Ctrl+Left rxvt", "\x1bOd", {0, 115}},
        {"Shift+Left rxvt", "\x1b[d", {0, 75}},
        {"Ctrl+s modifyOtherKeys", "\x1b[27;5;115~", {19}},
        {"Alt+m CSI u", "\x1b[109;3u", {0, 50}},
    });
}

TEST(KeyDecoderTest, ApplicationKeypadGivesKeypadKeys) {
    CheckCases({
        {"digits", "\x1bOp\x1bOq\x1bOx\x1bOy", {'0', '1', '8', '9'}},
        {"operators", "\x1bOk\x1bOm\x1bOj\x1bOo\x1bOn", {'+', '-', '*', '/', '.'}},
        {"separator and equals", "\x1bOl\x1bOX", {',', '='}},
        {"Enter", "\x1bOM", {13}},
        // No release of Alt finishes the code, and the held digit types nothing either.
        {"Alt with a keypad digit: no key", "\x1b\x1bOv", {}},
        {"Alt with keypad 8 moves nobody", "\x1b\x1bOx8", {'8'}},
    });
    KeyDecoder decoder;
    std::vector<KeyEvent> events = KeyEvents(Feed(decoder, "\x1bOv"));
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].virtualKey, 102);
    EXPECT_EQ(events[0].scanCode, 77);
}

TEST(KeyDecoderTest, Utf8TextBecomesCodePage437) {
    CheckCases({
        {"umlauts", "\xc3\xa4\xc3\x9f", {132, 225}},
        {"pound sign", "\xc2\xa3", {156}},
        {"no such glyph",
         "\xe2\x82\xac"
         "a",
         {'a'}},
        {"truncated", "\xc3", {}},
        {"stray continuation",
         "\x80\xbf"
         "a",
         {'a'}},
        {"overlong",
         "\xe0\x80\xa4"
         "a",
         {'a'}},
        {"surrogate",
         "\xed\xa0\x80"
         "a",
         {'a'}},
        {"Alt with a letter beyond ASCII: extended code 0", "\x1b\xc3\xa4", {0}},
        {"Alt with a character without glyph: the Escape alone", "\x1b\xe2\x82\xac", {27}},
    });
}

TEST(KeyDecoderTest, GarbageIsDroppedAndTheNextKeyStillCounts) {
    std::string overlong = "\x1b[" + std::string(300, '1') + "A6";
    CheckCases({
        {"unknown final",
         "\x1b[5z"
         "6",
         {'6'}},
        {"unknown tilde number",
         "\x1b[99~"
         "6",
         {'6'}},
        {"mouse report",
         "\x1b[<0;10;5M"
         "6",
         {'6'}},
        {"focus report",
         "\x1b[I"
         "6",
         {'6'}},
        {"cursor report",
         "\x1b[12;40R"
         "6",
         {'6'}},
        {"overlong sequence", overlong, {'6'}},
        {"huge numbers", "\x1b[99999999999999999999;5D", {0, 115}},
        {"control byte inside", "\x1b[1;\x03", {3}},
        {"escape inside", "\x1b[1;\x1b[A", {0, 72}},
        {"broken sequence at the end", "\x1b[1;5", {}},
        {"Linux form cut", "\x1b[[\x03", {3}},
        {"unknown SS3",
         "\x1bOz"
         "6",
         {'6'}},
        {"unknown functional kitty key",
         "\x1b[57376u"
         "6",
         {'6'}},
        {"empty CSI u",
         "\x1b[u"
         "6",
         {'6'}},
    });
    // An overlong sequence that its deadline cuts short is over: what comes later counts.
    KeyDecoder decoder;
    EXPECT_TRUE(Feed(decoder, "\x1b[" + std::string(100, '1'), 0).empty());
    EXPECT_EQ(decoder.Deadline(), kTimeout);
    EXPECT_TRUE(Advance(decoder, kTimeout).empty());
    EXPECT_EQ(decoder.Deadline(), std::nullopt);
    EXPECT_EQ(ConsoleKeys(Feed(decoder, "A", kTimeout)), (Keys{'A'}));
}

// Ctrl with a character that no PC key types has neither a key code nor a character: the
// console would hand it out as a lone 0 to a GetKey that was already waiting.
TEST(KeyDecoderTest, KeysWithoutKeyCodeOrCharacterAreDropped) {
    KeyDecoder decoder;
    std::vector<KeyEvent> events = KeyEvents(Feed(decoder,
                                                  "\x1b[730;6u"
                                                  "\x1b[730;14u"
                                                  "6"));
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].character, '6');
}

TEST(KeyDecoderTest, TerminalAnswersComeOutAsEventsOfTheirOwn) {
    using Kind = TerminalEvent::Kind;
    KeyDecoder decoder;
    Events events = Feed(decoder, "a\x1b[?0u\x1b[?62;22c");
    ASSERT_EQ(events.size(), 4u);  // in the order they came, among the keys
    EXPECT_EQ(events[0].kind, Kind::kKey);
    EXPECT_EQ(events[1].kind, Kind::kKey);
    EXPECT_EQ(events[2].kind, Kind::kKittyFlags);
    EXPECT_EQ(events[2].value, 0);
    EXPECT_EQ(events[3].kind, Kind::kDeviceAttributes);
    EXPECT_FALSE(decoder.ReportsReleases());

    for (int state = 0; state <= 4; ++state) {
        events = Feed(decoder, "\x1b[?2026;" + std::to_string(state) + "$y");
        ASSERT_EQ(events.size(), 1u) << state;
        EXPECT_EQ(events[0].kind, Kind::kSynchronizedOutput);
        EXPECT_EQ(events[0].value, state);
    }
    // Other answers (device attributes 2, the report of another mode) give nothing.
    EXPECT_TRUE(Feed(decoder, "\x1b[>1;10;0c\x1b[?1049;2$y").empty());
}

TEST(KeyDecoderTest, AKittyFlagsAnswerWithEventTypesSwitchesReleasesOn) {
    const char* kRelease = "\x1b[97;1:3u";
    KeyDecoder decoder;
    EXPECT_TRUE(Feed(decoder, kRelease).empty());  // stray: its press counted already

    Events events = Feed(decoder, std::string("\x1b[?2u") + kRelease);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].kind, TerminalEvent::Kind::kKittyFlags);
    EXPECT_EQ(events[0].value, 2);
    EXPECT_TRUE(decoder.ReportsReleases());
    EXPECT_EQ(events[1].kind, TerminalEvent::Kind::kKey);
    EXPECT_EQ(events[1].key, (KeyEvent{false, 'A', 30, 'a', 0}));

    // Flags without event types switch them off again.
    events = Feed(decoder, std::string("\x1b[?1u") + kRelease);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_FALSE(decoder.ReportsReleases());
}

TEST(KeyDecoderTest, LoneEscapeIsHeldUntilItsDeadline) {
    KeyDecoder decoder;
    EXPECT_EQ(decoder.Deadline(), std::nullopt);
    EXPECT_TRUE(Feed(decoder, "\x1b", 1000).empty());
    EXPECT_EQ(decoder.Deadline(), 1000 + kTimeout);
    EXPECT_TRUE(Advance(decoder, 1000 + kTimeout - 1).empty());
    std::vector<KeyEvent> events = KeyEvents(Advance(decoder, 1000 + kTimeout));
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0], (KeyEvent{true, 27, 1, 27, 0}));
    EXPECT_EQ(events[1], (KeyEvent{false, 27, 1, 27, 0}));
    EXPECT_EQ(decoder.Deadline(), std::nullopt);

    // The rest of a sequence in time, however split: the wait counts from the last bytes.
    EXPECT_TRUE(Feed(decoder, "\x1b", 2000).empty());
    EXPECT_TRUE(Advance(decoder, 2000 + kTimeout - 1).empty());
    EXPECT_TRUE(Feed(decoder, "[", 2000 + kTimeout - 1).empty());
    EXPECT_EQ(decoder.Deadline(), 2000 + 2 * kTimeout - 1);
    EXPECT_TRUE(Advance(decoder, 2000 + 2 * kTimeout - 2).empty());
    events = KeyEvents(Feed(decoder, "D", 2000 + 2 * kTimeout - 2));
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0], (KeyEvent{true, 37, 75, 0, kEnhancedKey}));
    EXPECT_EQ(decoder.Deadline(), std::nullopt);
}

TEST(KeyDecoderTest, TheClockMayWrapWhileAnEscapeIsHeld) {
    constexpr std::uint32_t kStart = 0xFFFFFFF0u;  // 16 ms before the clock wraps
    KeyDecoder decoder;
    EXPECT_TRUE(Feed(decoder, "\x1b", kStart).empty());
    EXPECT_EQ(decoder.Deadline(), kTimeout - 16);
    EXPECT_TRUE(Advance(decoder, 0xFFFFFFFFu).empty());
    EXPECT_TRUE(Advance(decoder, 0).empty());
    EXPECT_TRUE(Advance(decoder, kTimeout - 17).empty());
    std::vector<KeyEvent> events = KeyEvents(Advance(decoder, kTimeout - 16));
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].virtualKey, kVkEscape);
}

TEST(KeyDecoderTest, ResetForgetsHeldBytesEventsAndTheProtocolState) {
    KeyDecoder decoder;
    decoder.Feed(BytesOf(std::string(kKittyOn) + "a\x1b"), 0);
    decoder.Reset();
    EXPECT_EQ(decoder.Next(), std::nullopt);
    EXPECT_EQ(decoder.Deadline(), std::nullopt);
    EXPECT_FALSE(decoder.ReportsReleases());
    EXPECT_TRUE(Advance(decoder, kTimeout).empty());
    EXPECT_EQ(KeysFor("6"), (Keys{'6'}));
}

TEST(KeyDecoderTest, KittyEventsArePassedOnAsTheyCome) {
    KeyDecoder decoder;
    Feed(decoder, kKittyOn);
    std::vector<KeyEvent> events =
        KeyEvents(Feed(decoder, "\x1b[57443;3u\x1b[109;3u\x1b[109;3:3u\x1b[57443;1:3u"));
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events[0], (KeyEvent{true, 18, 56, 0, kLeftAlt}));
    EXPECT_EQ(events[1], (KeyEvent{true, 'M', 50, 'm', kLeftAlt}));
    EXPECT_EQ(events[2], (KeyEvent{false, 'M', 50, 'm', kLeftAlt}));
    EXPECT_EQ(events[3], (KeyEvent{false, 18, 56, 0, 0}));
}

TEST(KeyDecoderTest, KittyControlKeysAreThePcKeysWithWhatCtrlTypes) {
    KeyDecoder decoder;
    Feed(decoder, kKittyOn);
    std::vector<KeyEvent> events =
        KeyEvents(Feed(decoder, "\x1b[13u\x1b[13;5u\x1b[9u\x1b[27u\x1b[127u\x1b[127;5u\x1b[8u"));
    ASSERT_EQ(events.size(), 7u);
    EXPECT_EQ(events[0], (KeyEvent{true, kVkReturn, kScanEnter, '\r', 0}));
    EXPECT_EQ(events[1], (KeyEvent{true, kVkReturn, kScanEnter, '\n', kLeftCtrl}));
    EXPECT_EQ(events[2], (KeyEvent{true, kVkTab, kScanTab, '\t', 0}));
    EXPECT_EQ(events[3], (KeyEvent{true, kVkEscape, kScanEscape, 27, 0}));
    EXPECT_EQ(events[4], (KeyEvent{true, kVkBack, kScanBackspace, 8, 0}));
    EXPECT_EQ(events[5], (KeyEvent{true, kVkBack, kScanBackspace, 127, kLeftCtrl}));
    EXPECT_EQ(events[6], (KeyEvent{true, kVkBack, kScanBackspace, 8, 0}));
}

TEST(KeyDecoderTest, KittyKeysTypeAsOnThePc) {
    // Each press is followed by its release, as the terminal sends them.
    CheckCases(
        {
            {"letter", "\x1b[97u\x1b[97;1:3u", {'a'}},
            {"Shift with associated text", "\x1b[97;2;65u\x1b[97;2:3u", {'A'}},
            {"Shift with alternate key", "\x1b[97:65;2u\x1b[97:65;2:3u", {'A'}},
            {"Shift without either: US layout", "\x1b[49;2u\x1b[49;2:3u", {'!'}},
            {"Shift with a bracket: US layout", "\x1b[91;2u\x1b[91;2:3u", {'{'}},
            {"Caps Lock", "\x1b[97;65u\x1b[97;65:3u", {'A'}},
            {"Ctrl+c", "\x1b[99;5u\x1b[99;5:3u", {3}},
            {"Ctrl with [ \\ ] 6 -",
             "\x1b[91;5u\x1b[91;5:3u\x1b[92;5u\x1b[92;5:3u\x1b[93;5u\x1b[93;5:3u\x1b[54;5u"
             "\x1b[54;5:3u\x1b[45;5u\x1b[45;5:3u",
             {27, 28, 29, 30, 31}},
            {"Alt+m", "\x1b[109;3u\x1b[109;3:3u", {0, 50}},
            {"Alt+m with Num Lock on", "\x1b[109;131u\x1b[109;131:3u", {'m'}},
            {"Enter Tab Escape Backspace",
             "\x1b[13u\x1b[13;1:3u\x1b[9u\x1b[9;1:3u\x1b[27u\x1b[27;1:3u\x1b[127u\x1b[127;1:3u",
             {13, 9, 27, 8}},
            {"Ctrl+Left", "\x1b[1;5D\x1b[1;5:3D", {0, 115}},
            {"Left without modifiers", "\x1b[D\x1b[1;1:3D", {0, 75}},
            {"Ctrl+F9", "\x1b[20;5~\x1b[20;5:3~", {0, 102}},
            {"F3", "\x1b[13~\x1b[13;1:3~", {0, 61}},
            {"keypad digit", "\x1b[57405u\x1b[57405;1:3u", {'6'}},
            {"keypad Left without Num Lock", "\x1b[57417u\x1b[57417;1:3u", {0, 75}},
            {"repeats count", "\x1b[54u\x1b[54;1:2u\x1b[54;1:2u\x1b[54;1:3u", {'6', '6', '6'}},
            {"modifier keys alone", "\x1b[57441;2u\x1b[57441;1:3u\x1b[57442;5u\x1b[57442;1:3u", {}},
            {"pasted text among events", "ab", {'a', 'b'}},
            {"non-ASCII key with text", "\x1b[228;1;228u\x1b[228;1:3u", {132}},
        },
        kKittyOn);
}

TEST(KeyDecoderTest, KittyAltWithKeypadDigitsTypesTheCharacterCode) {
    // Alt held, keypad 6 and 5, Alt released; a further event lets the release count.
    const std::string kAltDown = "\x1b[57443;3u";
    const std::string kAltUp = "\x1b[57443;1:3u";
    const std::string kNext = "\x1b[57441;2u";
    auto keypad = [](int digit, int modifiers) {
        std::string code = std::to_string(57399 + digit);
        std::string m = std::to_string(modifiers);
        return "\x1b[" + code + ";" + m + "u\x1b[" + code + ";" + m + ":3u";
    };
    CheckCases(
        {
            {"6 5 gives A", kAltDown + keypad(6, 3) + keypad(5, 3) + kAltUp + kNext, {'A'}},
            {"with Num Lock", kAltDown + keypad(6, 131) + keypad(5, 131) + kAltUp + kNext, {'A'}},
            {"3 0 0 wraps to 44",
             kAltDown + keypad(3, 3) + keypad(0, 3) + keypad(0, 3) + kAltUp + kNext,
             {44}},
            {"0 alone gives nothing", kAltDown + keypad(0, 3) + kAltUp + kNext, {}},
        },
        kKittyOn);
}

TEST(KeyDecoderTest, ReleasesWithoutEventTypesAreIgnored) {
    // A release arriving before the terminal said it reports them must not type twice.
    EXPECT_EQ(KeysFor("\x1b[97u\x1b[97;1:3u"), (Keys{'a'}));
}

TEST(KeyDecoderTest, EveryKeyOfAReadsWorthComesOut) {
    // The most one feed can yield: held bytes, and then a whole read of text.
    KeyDecoder decoder;
    EXPECT_TRUE(Feed(decoder, "\x1b").empty());
    decoder.Feed(BytesOf(std::string(KeyDecoder::kMaxFeed, 'x')), 0);
    std::vector<KeyEvent> events = KeyEvents(Take(decoder));
    ASSERT_EQ(events.size(), 2 * KeyDecoder::kMaxFeed);
    EXPECT_EQ(events[0].controlKeyState, kLeftAlt);
    EXPECT_EQ(events.back(), (KeyEvent{false, 'X', 45, 'x', 0}));
}

TEST(KeyDecoderTest, AFloodBeyondTheQueueKeepsWholeKeys) {
    // A caller that feeds far more than a read without taking the events loses the rest,
    // but never half a key stroke.
    KeyDecoder decoder;
    decoder.Feed(BytesOf(std::string(100000, 'x')), 0);
    std::vector<KeyEvent> events = KeyEvents(Take(decoder));
    ASSERT_EQ(events.size(), 2 * KeyDecoder::kQueueCapacity);
    for (std::size_t i = 0; i < events.size(); ++i) {
        EXPECT_EQ(events[i].keyDown, i % 2 == 0) << i;
    }
    EXPECT_EQ(KeyEvents(Feed(decoder, "6")).size(), 2u);
}

TEST(KeyDecoderTest, RandomBytesNeverBreakTheDecoder) {
    std::mt19937 random(12345);
    const std::string pieces[] = {"\x1b", "[", "O",    ";", ":",     "1",    "5",
                                  "~",    "u", "?",    "A", "\xc3",  "\xa4", "\x80",
                                  "$",    "^", "\x03", "a", "57443", "~"};
    KeyDecoder decoder;
    std::uint32_t now = 0xFFFF0000u;  // the clock wraps on the way
    for (int round = 0; round < 20000; ++round) {
        std::string chunk;
        int length = static_cast<int>(random() % 12);
        for (int i = 0; i < length; ++i) {
            if (random() % 3 == 0) {
                chunk.push_back(static_cast<char>(random() % 256));
            } else {
                chunk += pieces[random() % std::size(pieces)];
            }
        }
        now += static_cast<std::uint32_t>(random() % 8);
        Feed(decoder, chunk, now);
        std::optional<std::uint32_t> deadline = decoder.Deadline();
        if (deadline && !chunk.empty()) {
            ASSERT_EQ(*deadline, now + kTimeout);  // counted from the last bytes
        }
        if (deadline && random() % 4 == 0) {
            now = *deadline;
            Advance(decoder, now);
            ASSERT_EQ(decoder.Deadline(), std::nullopt);
        }
        if (!decoder.Deadline()) {
            // Nothing held: however much time passes, nothing comes.
            ASSERT_TRUE(Advance(decoder, now + 0x7FFFFFFFu).empty());
        }
    }
}

}  // namespace
}  // namespace dungeon

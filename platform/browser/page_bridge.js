// What the program calls on the page: each function hands over to the object the page passed
// in as Module.page (web/dungeon-page.js). Two of them suspend the program with Asyncify
// until the page resumes it; they are named in -sASYNCIFY_IMPORTS.
mergeInto(LibraryManager.library, {
  // A frame's bytes: VT escape sequences and UTF-8 text. Copied, since the program
  // reuses its buffer.
  dungeon_page_write: function(bytes, count) {
    Module['page'].write(HEAPU8.slice(bytes, bytes + count));
  },

  // Takes up to `capacity` bytes of typed input; 0 when none is waiting.
  dungeon_page_read: function(buffer, capacity) {
    var input = Module['page'].read(capacity);
    HEAPU8.set(input, buffer);
    return input.length;
  },

  // Until input arrives (1) or `timeoutMs` passes (0); a negative timeout never passes.
  dungeon_page_wait__deps: ['$Asyncify'],
  dungeon_page_wait: function(timeoutMs) {
    return Asyncify.handleSleep(function(resume) {
      Module['page'].wait(timeoutMs, resume);
    });
  },

  // Milliseconds of a clock that only moves forward, unlike the wall clock, which the system
  // may set back. It counts from the page's start, taken from the wall clock once, so that
  // every load plays another dungeon.
  dungeon_page_clock: function() {
    return Math.floor(performance.timeOrigin + performance.now()) % 4294967296;
  },

  // The game ended with `exitStatus`; returns 1 once the page asks for a new game.
  dungeon_page_await_next_game__deps: ['$Asyncify'],
  dungeon_page_await_next_game: function(exitStatus) {
    return Asyncify.handleSleep(function(resume) {
      Module['page'].gameOver(exitStatus, resume);
    });
  },
});

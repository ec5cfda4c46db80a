// Keeps the whole site in the browser's cache, so that the game starts and plays without a
// network once the page has been visited. The build writes the release's version and a
// digest of the site's files into the cache's name, and the list of those files: a new
// release (or any rebuilt file) is a new cache, fetched whole, and the old one goes.
'use strict';

const RELEASE = '@DUNGEON_RELEASE@';
const FILES = [@DUNGEON_FILES@];

// Several copies of the site may share one origin in different folders: each keeps a cache
// of its own and leaves the others' alone.
const SCOPE = self.registration.scope;
const CACHE_PREFIX = 'dungeon ';
const CACHE = `${CACHE_PREFIX}${RELEASE} ${SCOPE}`;
const isOurs = (name) => name.startsWith(CACHE_PREFIX) && name.endsWith(` ${SCOPE}`);

self.addEventListener('install', (event) => {
  event.waitUntil((async () => {
    const cache = await caches.open(CACHE);
    // Past the HTTP cache, which may still hold files of the release before.
    await cache.addAll(['./', ...FILES].map((file) => new Request(file, { cache: 'reload' })));
    await self.skipWaiting();
  })());
});

self.addEventListener('activate', (event) => {
  event.waitUntil((async () => {
    const names = await caches.keys();
    await Promise.all(names.filter((name) => isOurs(name) && name !== CACHE)
      .map((name) => caches.delete(name)));
    await self.clients.claim();
  })());
});

// From the cache first: the site's files change only with a new cache. What the cache does
// not hold goes to the network; a page address that is not the start page falls back to it
// when the network is gone.
self.addEventListener('fetch', (event) => {
  const { request } = event;
  if (request.method !== 'GET' || !request.url.startsWith(SCOPE)) {
    return;
  }
  event.respondWith((async () => {
    const cache = await caches.open(CACHE);
    const navigation = request.mode === 'navigate';
    const cached = await cache.match(request, { ignoreSearch: navigation });
    if (cached) {
      return cached;
    }
    try {
      return await fetch(request);
    } catch (error) {
      const start = navigation ? await cache.match('./') : undefined;
      if (start) {
        return start;
      }
      throw error;
    }
  })());
});

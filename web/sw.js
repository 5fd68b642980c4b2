// The site's service worker: the page and its engine from a cache of this build's
// files, so that the page works offline after one visit and can be installed. The
// build writes the cache's name (a digest of the files) and the list of files in, so
// each build brings a new cache and removes the old one.
"use strict";

const kCache = "@CACHE@";
const kFiles = @FILES@;

self.addEventListener("install", (event) => {
  // Past the browser's own cache: a new build's files, not an old one's.
  const requests = kFiles.map((file) => new Request(file, { cache: "reload" }));
  event.waitUntil(caches.open(kCache).then((cache) => cache.addAll(requests)).then(() => self.skipWaiting()));
});

self.addEventListener("activate", (event) => {
  event.waitUntil(caches.keys()
    .then((names) => Promise.all(names.filter((name) => name !== kCache).map((name) => caches.delete(name))))
    .then(() => self.clients.claim()));
});

// The build's files from the cache; anything else (there is nothing else) from the network.
self.addEventListener("fetch", (event) => {
  if (event.request.method !== "GET") return;
  event.respondWith(caches.open(kCache)
    .then((cache) => cache.match(event.request, { ignoreSearch: true }))
    .then((hit) => hit || fetch(event.request)));
});

// The site's service worker: this build's files from a cache of their own, so that the
// page works offline and can be installed. A new build waits until a page's Reload asks
// it to take over; until then every open page keeps getting its own build's files.
"use strict";

const kCache = "wavpair-@BUILD@";
const kFiles = ["@FILES@"]; // the site's files, listed when it is made

// Past the browser's own cache: a new build's files, not an old one's.
self.addEventListener("install", (event) => event.waitUntil(caches.open(kCache)
  .then((cache) => cache.addAll(kFiles.map((file) => new Request(file, { cache: "reload" }))))));
self.addEventListener("message", (event) => event.data === "take" && self.skipWaiting());
self.addEventListener("activate", (event) => event.waitUntil(caches.keys().then((names) =>
  Promise.all(names.filter((name) => name !== kCache).map((name) => caches.delete(name))))));
// The build's files from the cache; anything else (there is nothing else) from the network.
self.addEventListener("fetch", (event) => event.request.method === "GET" && event.respondWith(
  caches.open(kCache).then((cache) => cache.match(event.request, { ignoreSearch: true }))
    .then((hit) => hit || fetch(event.request))));

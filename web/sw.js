// The demo page's service worker: keeps the page and the decoder in the
// browser's cache, so the page works offline once it has loaded. It sits
// above demo/ and dist/ because the decoding worker's script (in dist/) is
// only served by a service worker whose scope holds it. Answers from the
// cache first, and refreshes the cached copy whenever the network answers.
const CACHE = 'vantor-demo-1';
const FILES = ['demo/', 'demo/index.html', 'demo/demo.css', 'demo/demo.mjs', 'dist/vantor.mjs', 'dist/vantor-decoder.mjs',
    'dist/vantor-worker.mjs', 'dist/vantor-core.mjs', 'dist/vantor.wasm'];
const CACHED = new Set(FILES.map((file) => new URL(file, self.location.href).href));

self.addEventListener('install', (event) => {
    event.waitUntil(caches.open(CACHE).then((cache) => cache.addAll(FILES)).then(() => self.skipWaiting()));
});

self.addEventListener('activate', (event) => {
    event.waitUntil((async () => {
        for (const key of await caches.keys())
            if (key !== CACHE)
                await caches.delete(key);
        await self.clients.claim();
    })());
});

self.addEventListener('fetch', (event) => {
    const request = event.request;
    const url = new URL(request.url);
    if (request.method !== 'GET' || !CACHED.has(url.origin + url.pathname))
        return;
    event.respondWith((async () => {
        const cache = await caches.open(CACHE);
        const cached = await cache.match(request, { ignoreSearch: true });
        const fresh = fetch(request).then((response) => {
            if (response.ok)
                cache.put(request, response.clone());
            return response;
        });
        if (cached) {
            event.waitUntil(fresh.catch(() => {}));
            return cached;
        }
        return fresh;
    })());
});

// A static file server for the page tests: serves the web/ folder on
// 127.0.0.1 at a free port, nothing outside it.
import { createReadStream, statSync } from 'node:fs';
import { createServer } from 'node:http';
import path from 'node:path';

const TYPES = {
    '.html': 'text/html; charset=utf-8', '.css': 'text/css', '.js': 'text/javascript', '.mjs': 'text/javascript',
    '.wasm': 'application/wasm', '.png': 'image/png', '.json': 'application/json',
};

export async function serve(root) {
    const server = createServer((request, response) => {
        const url = new URL(request.url, 'http://127.0.0.1');
        let file = path.join(root, decodeURIComponent(url.pathname));
        if (!file.startsWith(root + path.sep)) {
            response.writeHead(403).end();
            return;
        }
        try {
            if (statSync(file).isDirectory())
                file = path.join(file, 'index.html');
            statSync(file);
        } catch {
            response.writeHead(404).end();
            return;
        }
        response.writeHead(200, { 'Content-Type': TYPES[path.extname(file)] ?? 'application/octet-stream', 'Cache-Control': 'no-cache' });
        createReadStream(file).pipe(response);
    });
    await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
    return { url: `http://127.0.0.1:${server.address().port}`, close: () => server.close() };
}

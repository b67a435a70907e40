// The page in headless Chromium (Debian's), served on 127.0.0.1 by the
// test: files dropped, pasted and picked decode as the native reader
// decodes them, the camera's symbols are found and outlined, decodes run
// side by side in the workers, and the page keeps working offline.
import assert from 'node:assert/strict';
import { readFileSync, writeFileSync } from 'node:fs';
import path from 'node:path';
import { after, before, describe, test } from 'node:test';

import puppeteer from 'puppeteer-core';

import { makePictures, nativeRows, pgmBytes, picturesIn, readPgm, rowsOf, webDir } from './support.mjs';
import { serve } from './server.mjs';

const CHROMIUM = process.env.CHROMIUM ?? '/usr/bin/chromium';
const TYPES = { png: 'image/png', jpg: 'image/jpeg', webp: 'image/webp', gif: 'image/gif', bmp: 'image/bmp' };

let folder;
let server;
let browser;
let page;

before(async () => {
    folder = makePictures();
    server = await serve(webDir);
    browser = await puppeteer.launch({
        executablePath: CHROMIUM,
        // Chromium's sandbox refuses to run as root (CI), and a container's
        // /dev/shm may be too small for it.
        args: ['--no-sandbox', '--disable-dev-shm-usage', '--use-fake-ui-for-media-stream', '--use-fake-device-for-media-stream',
            `--use-file-for-fake-video-capture=${path.join(folder, 'camera.y4m')}`],
    });
    page = await browser.newPage();
    page.on('pageerror', (error) => console.error('page error:', error.message));
    page.on('console', (m) => console.error('console:', m.text()));
    await page.setViewport({ width: 1000, height: 560 });
    await page.goto(`${server.url}/demo/`);
    await page.waitForSelector('body[data-ready]');
});

after(async () => {
    await browser?.close();
    server?.close();
});

// Hands the page a file the way `how` says (drop, paste) and waits for its
// result.
async function give(file, how = 'drop') {
    const name = path.basename(file);
    const type = TYPES[path.extname(file).slice(1)];
    const before = await page.evaluate(() => vantorDemo.decodes);
    await page.evaluate((name, base64, type, how) => {
        const bytes = Uint8Array.from(atob(base64), (c) => c.charCodeAt(0));
        const data = new DataTransfer();
        data.items.add(new File([bytes], name, { type }));
        if (how === 'paste')
            document.dispatchEvent(new ClipboardEvent('paste', { clipboardData: data, bubbles: true }));
        else
            document.getElementById('drop').dispatchEvent(new DragEvent('drop', { dataTransfer: data, bubbles: true, cancelable: true }));
    }, name, readFileSync(file).toString('base64'), type, how);
    await page.waitForFunction((n) => vantorDemo.decodes > n, {}, before);
    return lastResult();
}

async function lastResult() {
    const last = await page.evaluate(() => vantorDemo.last);
    return Object.assign(last.symbols, { reason: last.reason, stage: last.stage, explain: last.explain, rows: last.rows, source: last.source });
}

// The grey pixels the page decodes for a file, as a PGM file beside it.
async function greyOf(file) {
    const type = TYPES[path.extname(file).slice(1)];
    const grey = await page.evaluate(async (base64, type) => {
        const bytes = Uint8Array.from(atob(base64), (c) => c.charCodeAt(0));
        const { grey, width, height } = await vantorDemo.reader.toGrey(new Blob([bytes], { type }));
        return { grey: Array.from(grey), width, height };
    }, readFileSync(file).toString('base64'), type);
    const pgm = `${file}.grey.pgm`;
    writeFileSync(pgm, pgmBytes(grey));
    return pgm;
}

describe('files given to the page', () => {
    for (const name of ['drop.png', 'drop-alpha.png', 'drop.gif', 'drop.bmp', 'drop.webp', 'none.png']) {
        test(`${name} gives the native reader's result on the same file`, async () => {
            const file = path.join(folder, name);
            const result = await give(file);
            assert.deepEqual(rowsOf(result, file), nativeRows([file]).get(file));
        });
    }

    // The browser's JPEG and lossy WebP decoders need not round as the
    // native ones do: compared on the grey pixels the page decoded.
    for (const name of ['drop.jpg', 'drop-lossy.webp']) {
        test(`${name} gives the native reader's result on the page's grey pixels`, async () => {
            const file = path.join(folder, name);
            const result = await give(file);
            const pgm = await greyOf(file);
            assert.equal(result.length, 1);
            assert.deepEqual(rowsOf(result, pgm), nativeRows([pgm]).get(pgm));
        });
    }

    test('the page shows the text, kind, version and level, or why nothing was found', async () => {
        const symbol = (await give(path.join(folder, 'drop.png')))[0];
        const card = await page.$eval('#results .card', (c) => c.innerText);
        assert.match(card, /dropped into the page/);
        assert.match(card, new RegExp(`Kind\\s+QR Code\\s+Version\\s+${symbol.version}\\s+Level\\s+${symbol.level}`));
        if (process.env.VANTOR_SCREENSHOT)
            await page.screenshot({ path: process.env.VANTOR_SCREENSHOT });
        const none = await give(path.join(folder, 'none.png'));
        const shown = await page.$eval('#results .card.none', (c) => c.innerText);
        assert.match(shown, /No QR Code found/);
        // In the page's words: its effort is a menu, not an option.
        for (const line of none.explain) {
            const worded = line.trim().replace('(--effort exhaustive runs', '(the "exhaustive" effort runs');
            assert.ok(shown.includes(worded), `the page shows "${worded}"`);
        }
        assert.ok(!shown.includes('--effort'), shown);
    });

    test('a file the browser cannot decode is refused with a clear error', async () => {
        const file = path.join(folder, 'broken.png');
        await page.evaluate((base64) => {
            const bytes = Uint8Array.from(atob(base64), (c) => c.charCodeAt(0));
            const data = new DataTransfer();
            data.items.add(new File([bytes], 'broken.png', { type: 'image/png' }));
            document.getElementById('drop').dispatchEvent(new DragEvent('drop', { dataTransfer: data, bubbles: true, cancelable: true }));
        }, readFileSync(file).toString('base64'));
        await page.waitForFunction(() => /cannot be read/.test(document.getElementById('status').textContent));
        // The picture, outline and results of the file before are gone.
        const left = await page.evaluate(() => ({
            cards: document.querySelectorAll('#results .card').length,
            view: document.getElementById('view').hidden,
            last: vantorDemo.last,
        }));
        assert.deepEqual(left, { cards: 0, view: true, last: null });
        const error = await page.evaluate(async (base64) => {
            const bytes = Uint8Array.from(atob(base64), (c) => c.charCodeAt(0));
            return vantorDemo.reader.decodeBlob(new File([bytes], 'broken.png')).then(() => 'decoded', (e) => e.message);
        }, readFileSync(file).toString('base64'));
        assert.match(error, /broken\.png: the browser cannot decode this file as an image/);
    });

    test('a pasted picture and a picked file decode too', async () => {
        const file = path.join(folder, 'drop.gif');
        assert.equal((await give(file, 'paste')).source, 'paste');
        const before = await page.evaluate(() => vantorDemo.decodes);
        await (await page.$('#file')).uploadFile(file);
        await page.waitForFunction((n) => vantorDemo.decodes > n, {}, before);
        const picked = await lastResult();
        assert.equal(picked.source, 'pick');
        assert.equal(picked[0].text, 'dropped into the page');
    });
});

test('decodes in flight at once in two workers give the results one at a time gives', async () => {
    const pictures = picturesIn(folder, '.pgm').map((file) => {
        const { grey, width, height } = readPgm(file);
        return { grey: Buffer.from(grey).toString('base64'), width, height };
    });
    const { together, alone, heap } = await page.evaluate(async (pictures) => {
        const { createReader } = await import('../dist/vantor.mjs');
        const reader = await createReader({ workers: 2 });
        const set = pictures.map((p) => ({ ...p, grey: Uint8Array.from(atob(p.grey), (c) => c.charCodeAt(0)) }));
        const texts = (r) => (r.length ? r.map((s) => s.text).join('|') : `none: ${r.reason}`);
        const together = (await Promise.all(set.map((p) => reader.decodeGrey(p.grey, p.width, p.height, { all: true })))).map(texts);
        const alone = [];
        for (const p of set)
            alone.push(texts(await reader.decodeGrey(p.grey, p.width, p.height, { all: true })));
        // Both workers' heaps, before and after 100 more decodes each.
        const heap = [await Promise.all([reader.heapInUse(), reader.heapInUse()])];
        for (let round = 0; round < 200 / set.length; ++round)
            await Promise.all(set.map((p) => reader.decodeGrey(p.grey, p.width, p.height)));
        heap.push(await Promise.all([reader.heapInUse(), reader.heapInUse()]));
        reader.close();
        return { together, alone, heap };
    }, pictures);
    assert.deepEqual(together, alone);
    assert.ok(together.filter((t) => !t.startsWith('none: ')).length >= 10);
    assert.deepEqual(heap[1].sort(), heap[0].sort());
});

test('the camera: a moving, turning symbol is found and outlined frame after frame', async () => {
    await page.click('#camera');
    const seen = new Set();
    let outlined = 0;
    for (let tries = 0; tries < 200 && (seen.size < 4 || outlined === 0); ++tries) {
        await new Promise((resolve) => setTimeout(resolve, 100));
        const last = await page.evaluate(() => {
            const c = document.getElementById('outline');
            const pixels = c.getContext('2d').getImageData(0, 0, c.width, c.height).data;
            let drawn = 0;
            for (let i = 3; i < pixels.length; i += 4)
                drawn += pixels[i] > 0;
            return { last: vantorDemo.last, drawn };
        });
        if (last.last?.source !== 'camera')
            continue;
        assert.equal(last.last.symbols[0].text, 'camera test 7');
        seen.add(last.last.symbols[0].corners.map(Math.round).join(','));
        outlined += last.drawn > 0;
    }
    await page.click('#camera');
    assert.ok(seen.size >= 4, `the symbol found in ${seen.size} places`);
    assert.ok(outlined > 0, 'an outline was drawn over the video');
});

test('once loaded, the page works offline', async () => {
    await page.evaluate(() => navigator.serviceWorker.ready);
    await page.reload(); // the service worker now controls the page
    await page.waitForSelector('body[data-ready]');
    await page.setOfflineMode(true);
    try {
        await page.reload();
        await page.waitForSelector('body[data-ready]');
        const result = await give(path.join(folder, 'drop.bmp'));
        assert.equal(result[0].text, 'dropped into the page');
    } finally {
        await page.setOfflineMode(false);
    }
});

// The web benchmark: the median time per picture of the WebAssembly module
// in headless Chromium (decoding in the page's thread, and through a Web
// Worker, the time a page waits) beside the native library on the same
// grey pictures; then the module's sizes and the machine's load. A
// benchmark, not a test: nothing here fails on a slow machine.
// Usage: node speed.mjs NATIVE_TIME [REPEATS]
import { execFileSync } from 'node:child_process';
import { readFileSync } from 'node:fs';
import { loadavg } from 'node:os';
import path from 'node:path';
import { gzipSync } from 'node:zlib';

import puppeteer from 'puppeteer-core';

import { makePictures, picturesIn, readPgm, webDir } from '../test/support.mjs';
import { serve } from '../test/server.mjs';

const [nativeTime, repeatsArg] = process.argv.slice(2);
const repeats = Number(repeatsArg ?? 15);
const files = picturesIn(makePictures(), '.pgm');
const median = (values) => {
    const sorted = [...values].sort((a, b) => a - b);
    const mid = sorted.length >> 1;
    return sorted.length % 2 ? sorted[mid] : (sorted[mid - 1] + sorted[mid]) / 2;
};

const native = new Map(execFileSync(nativeTime, [String(repeats), ...files], { encoding: 'utf8' })
    .trim().split('\n').map((line) => line.split(' ')).map(([file, ms]) => [file, Number(ms)]));

const server = await serve(webDir);
const browser = await puppeteer.launch({ executablePath: process.env.CHROMIUM ?? '/usr/bin/chromium', args: ['--no-sandbox'] });
const page = await browser.newPage();
await page.goto(`${server.url}/demo/`);
await page.waitForSelector('body[data-ready]');
const pictures = files.map((file) => {
    const { grey, width, height } = readPgm(file);
    return { grey: Buffer.from(grey).toString('base64'), width, height };
});
const browserMs = await page.evaluate(async (pictures, repeats) => {
    const { createReader } = await import('../dist/vantor.mjs');
    const times = {};
    for (const [label, workers] of [['page', 0], ['worker', 1]]) {
        const reader = await createReader({ workers });
        times[label] = [];
        const greys = pictures.map((p) => Uint8Array.from(atob(p.grey), (c) => c.charCodeAt(0)));
        // Three rounds over every picture first: the engine compiles a
        // function fully only once it has run a while, and the thorough
        // search's functions run only on some pictures.
        for (let round = 0; round < 3; ++round)
            for (const [i, p] of pictures.entries())
                await reader.decodeGrey(greys[i], p.width, p.height);
        for (const [i, p] of pictures.entries()) {
            const grey = greys[i];
            // The page's clock ticks in 0.1 ms: timed in runs of `repeats`
            // decodes, the median of five runs' means.
            const ms = [];
            for (let run = 0; run < 5; ++run) {
                const start = performance.now();
                for (let k = 0; k < repeats; ++k)
                    await reader.decodeGrey(grey, p.width, p.height);
                ms.push((performance.now() - start) / repeats);
            }
            ms.sort((a, b) => a - b);
            times[label].push(ms[ms.length >> 1]);
        }
        reader.close();
    }
    return times;
}, pictures, repeats);
const version = await browser.version();
await browser.close();
server.close();

console.log(`${'picture'.padEnd(20)} ${'native ms'.padStart(10)} ${'page ms'.padStart(10)} ${'worker ms'.padStart(10)} ` +
    `${'page/native'.padStart(12)} ${'worker/native'.padStart(14)}`);
const ratios = { page: [], worker: [] };
files.forEach((file, i) => {
    const n = native.get(file);
    ratios.page.push(browserMs.page[i] / n);
    ratios.worker.push(browserMs.worker[i] / n);
    console.log(`${path.basename(file).padEnd(20)} ${n.toFixed(3).padStart(10)} ${browserMs.page[i].toFixed(3).padStart(10)} ` +
        `${browserMs.worker[i].toFixed(3).padStart(10)} ${(browserMs.page[i] / n).toFixed(2).padStart(12)} ` +
        `${(browserMs.worker[i] / n).toFixed(2).padStart(14)}`);
});
const nativeMedian = median([...native.values()]);
console.log(`\nmedian per picture (${files.length} pictures; native: median of ${repeats} decodes, Chromium: median of 5 runs of ${repeats}): native ${nativeMedian.toFixed(3)} ms, ` +
    `${version} ${median(browserMs.page).toFixed(3)} ms in the page, ${median(browserMs.worker).toFixed(3)} ms through a worker`);
console.log(`median of the per-picture ratios: page/native ${median(ratios.page).toFixed(2)}, ` +
    `worker/native ${median(ratios.worker).toFixed(2)}`);
const wasm = readFileSync(path.join(webDir, 'dist/vantor.wasm'));
const js = ['vantor.mjs', 'vantor-decoder.mjs', 'vantor-worker.mjs', 'vantor-core.mjs']
    .map((name) => readFileSync(path.join(webDir, 'dist', name)));
console.log(`vantor.wasm: ${wasm.length} bytes, ${gzipSync(wasm, { level: 9 }).length} gzipped; ` +
    `the JavaScript: ${js.reduce((n, b) => n + b.length, 0)} bytes, ${js.reduce((n, b) => n + gzipSync(b, { level: 9 }).length, 0)} gzipped`);
console.log(`load average: ${loadavg().map((v) => v.toFixed(2)).join(' ')}`);

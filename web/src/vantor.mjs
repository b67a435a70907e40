// Vantor in JavaScript: createReader() gives a reader whose decodes run in
// Web Workers in a browser (the page never blocks; several decodes may be
// in flight), and in the calling thread under Node. Every call frees what
// it allocated inside the WebAssembly module before it returns.
import { blobToGrey, loadDecoder, decodeSettings, rgbaToGrey } from './vantor-decoder.mjs';

// An array of the symbols found, carrying why none was found (reason,
// null when some were), how far the decoder got (stage), whether the
// thorough search ran (searched), the --explain lines, a whole
// structured-append set's message (joined) and the rows of --json.
function resultOf(outcome) {
    return Object.assign(outcome.symbols, {
        reason: outcome.reason,
        stage: outcome.stage,
        searched: outcome.searched,
        explain: outcome.explain,
        joined: outcome.joined,
        rows: outcome.rows,
    });
}

// Decodes in this thread (Node, or a worker of the caller's own).
async function localReader() {
    let wasm;
    if (typeof process === 'object' && process.versions?.node) {
        const { readFile } = await import('node:fs/promises');
        wasm = await readFile(new URL('./vantor.wasm', import.meta.url));
    }
    const decoder = await loadDecoder(wasm);
    return {
        decodeGrey: async (grey, width, height, options) => resultOf(decoder.decodeGrey(grey, width, height, options)),
        decodeImageData: async (image, options) => resultOf(decoder.decodeImageData(image, options)),
        decodeBlob: async (blob, options) => resultOf(await decoder.decodeBlob(blob, options)),
        toGrey: async (blob) => blobToGrey(blob),
        heapInUse: async () => decoder.heapInUse(),
        close() {},
    };
}

// Decodes in `count` Web Workers; each request goes to the worker with the
// fewest waiting.
async function workerReader(count) {
    const url = new URL('./vantor-worker.mjs', import.meta.url);
    const workers = [];
    let nextId = 1;
    for (let i = 0; i < count; ++i) {
        const worker = new Worker(url, { type: 'module' });
        const entry = { worker, pending: new Map() };
        worker.onmessage = ({ data }) => {
            const request = entry.pending.get(data.id);
            entry.pending.delete(data.id);
            if (data.error)
                request.reject(Object.assign(new Error(data.error.message), { name: data.error.name }));
            else
                request.resolve(data.result);
        };
        worker.onerror = (event) => {
            const error = new Error(`vantor: the decoding worker failed: ${event.message ?? 'cannot load'}`);
            for (const request of entry.pending.values())
                request.reject(error);
            entry.pending.clear();
        };
        workers.push(entry);
    }
    const call = (op, ...args) => {
        const entry = workers.reduce((a, b) => (b.pending.size < a.pending.size ? b : a));
        const id = nextId++;
        return new Promise((resolve, reject) => {
            entry.pending.set(id, { resolve, reject });
            entry.worker.postMessage({ id, op, args });
        });
    };
    const decode = async (op, options, ...args) => {
        decodeSettings(options); // a bad option fails here, before the trip
        return resultOf(await call(op, ...args, options));
    };
    // The first call waits for the module to load; a worker that cannot
    // load it fails here rather than on the first decode.
    await Promise.all(workers.map(() => call('heapInUse')));
    return {
        decodeGrey: (grey, width, height, options) => decode('grey', options, grey, width, height),
        decodeImageData: (image, options) => decode('imageData', options, image),
        decodeBlob: (blob, options) => decode('blob', options, blob),
        toGrey: (blob) => call('toGrey', blob),
        heapInUse: () => call('heapInUse'),
        close() {
            for (const { worker, pending } of workers) {
                worker.terminate();
                for (const request of pending.values())
                    request.reject(new Error('vantor: the reader was closed'));
            }
        },
    };
}

// options.workers: how many Web Workers decode (default 1); 0 decodes in
// the calling thread. Under Node the calling thread always decodes.
export async function createReader(options = {}) {
    const inBrowser = typeof Worker === 'function' && typeof process !== 'object';
    const workers = options.workers ?? 1;
    if (!inBrowser || workers === 0)
        return localReader();
    if (!Number.isInteger(workers) || workers < 0)
        throw new RangeError(`vantor: workers must be a whole number, not ${workers}`);
    return workerReader(workers);
}

export { rgbaToGrey };

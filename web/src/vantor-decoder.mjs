// The decoder itself, on whichever thread loads it: the WebAssembly module,
// grey pixels in, symbols out. vantor.mjs runs it in a Web Worker (browsers)
// or in the calling thread (Node).
import createVantorCore from './vantor-core.mjs';

// The yes/no options and their bits in vantor_web_decode.
const OPTION_BITS = { all: 1, thorough: 2 };
const DEFAULT_OPTIONS = { all: false, thorough: true };
// The names of the QR kinds for the formats option (the command line's
// --formats names), each with its vantor_kind value: the kind's bit is
// 1 << value.
const FORMAT_KINDS = { qr: 0, model1: 1, microqr: 2, rmqr: 3 };
const KNOWN_OPTIONS = [...Object.keys(OPTION_BITS), 'effort', 'formats'];

// The options as vantor_web_decode takes them: bits, the effort's name (the
// library refuses a name it does not know) and the bits of the kinds.
export function decodeSettings(options = {}) {
    if (options === null || typeof options !== 'object')
        throw new TypeError('vantor: options must be an object');
    for (const name of Object.keys(options))
        if (!KNOWN_OPTIONS.includes(name))
            throw new TypeError(`vantor: unknown option "${name}" (known: ${KNOWN_OPTIONS.join(', ')})`);
    let bits = 0;
    for (const [name, bit] of Object.entries(OPTION_BITS))
        if (options[name] ?? DEFAULT_OPTIONS[name])
            bits |= bit;
    const effort = options.effort ?? 'default';
    if (typeof effort !== 'string')
        throw new TypeError(`vantor: effort must be a name (default, fast, exhaustive), not ${String(effort)}`);
    return { bits, effort, kinds: kindBits(options.formats) };
}

// formats: an array of kind names, or one comma-separated text of them, in
// any case and with blanks around them, as --formats takes them; every kind
// when left out.
function kindBits(formats) {
    if (formats === undefined)
        return 0xf;
    const names = typeof formats === 'string' ? formats.split(',') : formats;
    if (!Array.isArray(names) || names.length === 0)
        throw new TypeError('vantor: formats must be a list of QR kinds: qr, model1, microqr, rmqr');
    let kinds = 0;
    for (const given of names) {
        const name = typeof given === 'string' ? given.trim().toLowerCase() : given;
        if (!Object.hasOwn(FORMAT_KINDS, name))
            throw new TypeError(`vantor: unknown format "${given}" (known: ${Object.keys(FORMAT_KINDS).join(', ')})`);
        kinds |= 1 << FORMAT_KINDS[name];
    }
    return kinds;
}

// The grey of one RGBA pixel as the native image readers make it: each
// component over a white background (straight alpha, rounded), then the
// mean of red, green and blue, rounded down.
export function rgbaToGrey(rgba, width, height) {
    const count = width * height;
    if (rgba.length < count * 4)
        throw new RangeError(`vantor: ${rgba.length} RGBA bytes are too few for ${width} x ${height} pixels`);
    const grey = new Uint8Array(count);
    for (let i = 0, j = 0; i < count; ++i, j += 4) {
        const a = rgba[j + 3];
        if (a === 255) {
            grey[i] = ((rgba[j] + rgba[j + 1] + rgba[j + 2]) / 3) | 0;
        } else {
            const white = 255 * (255 - a) + 127;
            const r = ((rgba[j] * a + white) / 255) | 0;
            const g = ((rgba[j + 1] * a + white) / 255) | 0;
            const b = ((rgba[j + 2] * a + white) / 255) | 0;
            grey[i] = ((r + g + b) / 3) | 0;
        }
    }
    return grey;
}

function hexBytes(hex) {
    const bytes = new Uint8Array(hex.length / 2);
    for (let i = 0; i < bytes.length; ++i)
        bytes[i] = parseInt(hex.substr(2 * i, 2), 16);
    return bytes;
}

// The fields of a --json row without the row's own (decoded, joined and
// the notes), with the bytes as a Uint8Array beside bytes_hex.
function fieldsOf(row) {
    const { decoded, joined, explain, warnings, ...fields } = row;
    return { ...fields, bytes: hexBytes(row.bytes_hex) };
}

// A decode's outcome as plain data (it crosses to the page by postMessage):
// the rows as the command line's --json --explain writes them (without
// "file"), and each symbol as its row's fields with the facts --json leaves
// out (details: pass, reading).
function outcomeOf(r) {
    const symbolRows = r.rows.filter((row) => row.decoded && !row.joined);
    const joined = r.rows.find((row) => row.joined);
    const failed = r.rows.find((row) => !row.decoded);
    return {
        symbols: symbolRows.map((row, i) => ({ ...fieldsOf(row), ...r.details[i] })),
        reason: failed ? failed.reason : null,
        stage: r.stage,
        searched: r.searched,
        explain: r.rows[0].explain,
        joined: joined ? fieldsOf(joined) : null,
        rows: r.rows,
    };
}

// Loads the module. wasm: the module's bytes, or nothing to fetch
// vantor.wasm from beside this file.
export async function loadDecoder(wasm) {
    const settings = wasm ? { wasmBinary: wasm } : { locateFile: () => new URL('./vantor.wasm', import.meta.url).href };
    const core = await createVantorCore(settings);
    const decoder = {
        // Grey pixels, width x height, rows width bytes apart, 0 black.
        decodeGrey(grey, width, height, options) {
            const { bits, effort, kinds } = decodeSettings(options);
            if (!Number.isInteger(width) || !Number.isInteger(height) || width <= 0 || height <= 0)
                throw new RangeError(`vantor: bad image size ${width} x ${height}`);
            if (!(grey instanceof Uint8Array) && !(grey instanceof Uint8ClampedArray))
                throw new TypeError('vantor: grey pixels must be a Uint8Array');
            if (grey.length < width * height)
                throw new RangeError(`vantor: ${grey.length} grey bytes are too few for ${width} x ${height} pixels`);
            const pixels = core._malloc(width * height);
            if (pixels === 0)
                throw new RangeError(`vantor: no memory for ${width} x ${height} pixels`);
            let json = 0;
            let name = 0;
            try {
                core.HEAPU8.set(grey.subarray(0, width * height), pixels);
                const nameBytes = new TextEncoder().encode(effort);
                name = core._malloc(nameBytes.length + 1);
                if (name === 0)
                    throw new RangeError('vantor: no memory for the options');
                core.HEAPU8.set(nameBytes, name);
                core.HEAPU8[name + nameBytes.length] = 0;
                json = core._vantor_web_decode(pixels, width, height, bits, name, kinds);
                if (json === 0)
                    throw new RangeError(`vantor: the decoder ran out of memory on ${width} x ${height} pixels`);
                const r = JSON.parse(core.UTF8ToString(json));
                if (r.refused !== undefined)
                    throw new RangeError(`vantor: ${r.refused}`);
                return outcomeOf(r);
            } finally {
                core._vantor_web_free(json);
                core._free(name);
                core._free(pixels);
            }
        },
        decodeImageData(image, options) {
            if (!image || !Number.isInteger(image.width) || !Number.isInteger(image.height) || !image.data)
                throw new TypeError('vantor: decodeImageData needs an ImageData (width, height, RGBA data)');
            decodeSettings(options);
            return decoder.decodeGrey(rgbaToGrey(image.data, image.width, image.height), image.width, image.height, options);
        },
        async decodeBlob(blob, options) {
            decodeSettings(options);
            const { grey, width, height } = await blobToGrey(blob);
            return decoder.decodeGrey(grey, width, height, options);
        },
        // Bytes allocated inside the module and not yet freed.
        heapInUse() {
            return core._vantor_web_heap_in_use() >>> 0;
        },
    };
    return decoder;
}

// The grey pixels of an image file the browser can decode, as the native
// readers would make them from the same RGBA.
export async function blobToGrey(blob) {
    if (typeof createImageBitmap !== 'function' || typeof OffscreenCanvas !== 'function')
        throw new TypeError('vantor: decoding image files needs a browser (createImageBitmap, OffscreenCanvas); use decodeGrey');
    if (!(blob instanceof Blob))
        throw new TypeError('vantor: decodeBlob needs a Blob or File');
    let bitmap;
    try {
        bitmap = await createImageBitmap(blob, { colorSpaceConversion: 'none', premultiplyAlpha: 'none' });
    } catch (error) {
        const name = blob.name ? `${blob.name}: ` : '';
        throw new TypeError(`vantor: ${name}the browser cannot decode this file as an image (${error.message})`);
    }
    try {
        const { width, height } = bitmap;
        const canvas = new OffscreenCanvas(width, height);
        const context = canvas.getContext('2d', { willReadFrequently: true });
        context.drawImage(bitmap, 0, 0);
        const rgba = context.getImageData(0, 0, width, height).data;
        return { grey: rgbaToGrey(rgba, width, height), width, height };
    } finally {
        bitmap.close();
    }
}

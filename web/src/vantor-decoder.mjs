// The decoder itself, on whichever thread loads it: the WebAssembly module,
// grey pixels in, symbols out. vantor.mjs runs it in a Web Worker (browsers)
// or in the calling thread (Node).
import createVantorCore from './vantor-core.mjs';

// The option names the decoder knows, and its bits in vantor_web_decode.
// (A speed/effort setting will take its place here once the library has one.)
const OPTION_BITS = { all: 1, thorough: 2 };
const DEFAULT_OPTIONS = { all: false, thorough: true };

export function optionBits(options = {}) {
    if (options === null || typeof options !== 'object')
        throw new TypeError('vantor: options must be an object');
    let bits = 0;
    for (const name of Object.keys(options))
        if (!(name in OPTION_BITS))
            throw new TypeError(`vantor: unknown option "${name}" (known: ${Object.keys(OPTION_BITS).join(', ')})`);
    for (const [name, bit] of Object.entries(OPTION_BITS))
        if (options[name] ?? DEFAULT_OPTIONS[name])
            bits |= bit;
    return bits;
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

function symbolOf(s) {
    return {
        format: 'QRCode',
        text: s.text,
        bytes: hexBytes(s.bytes_hex),
        version: s.version,
        level: s.level,
        mask: s.mask,
        // The decoder's float coordinates, exactly.
        corners: s.corners.map(Math.fround),
        corrected: s.corrected,
        mirrored: s.mirrored !== 0,
        inverted: s.inverted !== 0,
        eci: s.eci >= 0 ? s.eci : null,
        structuredAppend: s.sa_index >= 0 ? { index: s.sa_index, count: s.sa_count, parity: s.sa_parity } : null,
        gs1: s.fnc1 === 1,
        fnc1: s.fnc1 === 0 ? null : s.fnc1 === 1 ? { position: 1 } : { position: 2, application: s.fnc1_application },
        pass: s.pass,
        reading: s.reading,
    };
}

// A decode's outcome as plain data (it crosses to the page by postMessage).
function outcomeOf(json) {
    const r = JSON.parse(json);
    return {
        symbols: r.symbols.map(symbolOf),
        reason: r.reason === '' ? null : r.reason,
        stage: r.stage,
        explain: r.explain,
        joined: r.joined_hex === undefined ? null : { text: r.joined_text, bytes: hexBytes(r.joined_hex) },
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
            const bits = optionBits(options);
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
            try {
                core.HEAPU8.set(grey.subarray(0, width * height), pixels);
                json = core._vantor_web_decode(pixels, width, height, bits);
                if (json === 0)
                    throw new RangeError(`vantor: the decoder ran out of memory on ${width} x ${height} pixels`);
                return outcomeOf(core.UTF8ToString(json));
            } finally {
                core._vantor_web_free(json);
                core._free(pixels);
            }
        },
        decodeImageData(image, options) {
            if (!image || !Number.isInteger(image.width) || !Number.isInteger(image.height) || !image.data)
                throw new TypeError('vantor: decodeImageData needs an ImageData (width, height, RGBA data)');
            optionBits(options);
            return decoder.decodeGrey(rgbaToGrey(image.data, image.width, image.height), image.width, image.height, options);
        },
        async decodeBlob(blob, options) {
            optionBits(options);
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

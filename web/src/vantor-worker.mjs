// The Web Worker that decodes for the page: requests come in one message
// each, {id, op, args}, and go back as {id, result} or {id, error}.
import { blobToGrey, loadDecoder } from './vantor-decoder.mjs';

const decoder = loadDecoder();

const operations = {
    grey: (d, grey, width, height, options) => d.decodeGrey(grey, width, height, options),
    imageData: (d, image, options) => d.decodeImageData(image, options),
    blob: (d, blob, options) => d.decodeBlob(blob, options),
    toGrey: (d, blob) => blobToGrey(blob),
    heapInUse: (d) => d.heapInUse(),
};

self.onmessage = async (event) => {
    const { id, op, args } = event.data;
    try {
        const d = await decoder;
        self.postMessage({ id, result: await operations[op](d, ...args) });
    } catch (error) {
        self.postMessage({ id, error: { name: error?.name ?? 'Error', message: String(error?.message ?? error) } });
    }
};

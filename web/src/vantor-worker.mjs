// The Web Worker that decodes for the page: requests come in one message
// each, {id, op, args}, and go back as {id, result} or {id, error}.
import { blobToGrey, loadDecoder, rgbaToGrey } from './vantor-decoder.mjs';

const decoder = loadDecoder();

const operations = {
    grey: (d, grey, width, height, options) => d.decodeGrey(grey, width, height, options),
    imageData: (d, image, options) => d.decodeGrey(rgbaToGrey(image.data, image.width, image.height), image.width, image.height, options),
    blob: async (d, blob, options) => {
        const { grey, width, height } = await blobToGrey(blob);
        return d.decodeGrey(grey, width, height, options);
    },
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

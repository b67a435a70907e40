// Vantor: a QR Code reader compiled to WebAssembly.

/** What a decode may be told. Unknown names are refused with a TypeError. */
export interface DecodeOptions {
    /** Every distinct symbol in the picture, not only the first (default false). */
    all?: boolean;
    /** Run the thorough search when the classic readings give no text (default true). */
    thorough?: boolean;
    /**
     * How much work to spend (the command line's --effort): "default" looks cheaply first and goes on
     * only on evidence of a symbol; "fast" suits video frames (the default's first steps: the quick
     * look, its search and at most passes 0-3); "exhaustive" runs every reading. Another name is refused with a RangeError.
     */
    effort?: Effort;
    /** The QR kinds looked for (the command line's --formats), as a list or one comma-separated text; every kind by default. */
    formats?: FormatName[] | string;
}

export type Effort = 'default' | 'fast' | 'exhaustive';

/** The names the formats option takes. */
export type FormatName = 'qr' | 'model1' | 'microqr' | 'rmqr';

/** The kind of a symbol found (the command line's --json "format"). */
export type SymbolFormat = 'QRCode' | 'QRCodeModel1' | 'MicroQRCode' | 'rMQRCode';

export interface StructuredAppend {
    /** The symbol's position in its set, 0 first. */
    index: number;
    /** Symbols in the set. */
    count: number;
    /** The set's parity byte. */
    parity: number;
}

export interface Fnc1 {
    /** 1: first position (GS1), 2: second position. */
    position: 1 | 2;
    /** The application indicator of a second-position FNC1. */
    application?: number;
}

/** A symbol's fields in the command line's --json, with the same names and nesting. */
export interface SymbolFields {
    /** The data made readable (UTF-8 kept, else Shift JIS, else Latin-1). */
    text: string;
    /** The exact data bytes in hexadecimal (kanji as Shift JIS pairs). */
    bytes_hex: string;
    /** The version within its kind: 1 to 40 for QR Code, 1 to 4 for Micro QR (M1 to M4), 1 to 32 for rMQR. */
    version: number;
    /** M1 has detection only and reads as 'L'. */
    level: 'L' | 'M' | 'Q' | 'H';
    /** 0 to 7; Micro QR 0 to 3. */
    mask: number;
    /**
     * Top-left, top-right, bottom-right, bottom-left corners as x, y pairs, in pixels: the shortest
     * decimals that read back as the decoder's floats (Math.fround gives the floats).
     */
    corners: [number, number, number, number, number, number, number, number];
    /** Codewords the error correction changed. */
    corrected: number;
    /** The designator of the first ECI segment; absent when there is none. */
    eci?: number;
    /** Absent when the symbol is not part of a structured-append set. */
    structured_append?: StructuredAppend;
    /** Absent when the symbol carries no FNC1. */
    fnc1?: Fnc1;
    /** The kind of symbol. */
    format: SymbolFormat;
    /** The version as its kind names it: "7", "M3", "R13x77". */
    version_name: string;
    /** Read transposed. */
    mirrored: boolean;
    /** Light modules on dark. */
    inverted: boolean;
}

/** A symbol found: its --json fields, its bytes, and what --json leaves out. */
export interface QrSymbol extends SymbolFields {
    /** bytes_hex as bytes. */
    bytes: Uint8Array;
    /** The binarisation pass that read it, 0 to 6 as --explain names them; -1: no pass (the
     * thorough search, or a Micro QR or rMQR reading). */
    pass: number;
    /** The pass's reading that read it, 1 or 2 as --explain counts them; -1 when pass is -1. */
    reading: number;
}

/** The message of a whole structured-append set, as its --json row gives it. */
export interface JoinedMessage {
    text: string;
    bytes_hex: string;
    structured_append: { count: number; parity: number };
    /** bytes_hex as bytes. */
    bytes: Uint8Array;
}

/** The rows of `vantor --json --explain` for the same picture, without "file". */
export type JsonRow =
    | (SymbolFields & { decoded: true; explain: string[] })
    | { decoded: true; joined: true; text: string; bytes_hex: string;
        structured_append: { count: number; parity: number }; explain: string[] }
    | { decoded: false; error: 'no symbol'; reason: string; explain: string[] };

/** The symbols found, in reading order, with what the decoder saw. */
export interface DecodeResult extends Array<QrSymbol> {
    /** Why nothing was found (the command line's --json "reason"); null when something was. */
    reason: string | null;
    /** The furthest stage the decoder reached, e.g. "text decoded", "nothing located". */
    stage: string;
    /** Whether the thorough search ran in this call (whether or not it found a symbol). */
    searched: boolean;
    /** What the decoder saw, pass by pass: the lines of the command line's --explain. */
    explain: string[];
    /** When the symbols make up a whole structured-append set, its message; else null. */
    joined: JoinedMessage | null;
    /** The rows the command line's --json --explain writes for the same pixels, without "file". */
    rows: JsonRow[];
}

export interface GreyImage {
    /** width x height grey bytes, rows width bytes apart, 0 black. */
    grey: Uint8Array;
    width: number;
    height: number;
}

export interface Reader {
    /** Decodes grey pixels, width x height, rows width bytes apart, 0 black. */
    decodeGrey(grey: Uint8Array | Uint8ClampedArray, width: number, height: number, options?: DecodeOptions): Promise<DecodeResult>;
    /** Decodes RGBA pixels, turned into grey as the native image readers do. */
    decodeImageData(image: ImageData, options?: DecodeOptions): Promise<DecodeResult>;
    /** Decodes an image file the browser can decode (PNG, JPEG, WebP, GIF, BMP, ...). */
    decodeBlob(blob: Blob, options?: DecodeOptions): Promise<DecodeResult>;
    /** The grey pixels decodeBlob decodes for a file. */
    toGrey(blob: Blob): Promise<GreyImage>;
    /** Bytes allocated inside the WebAssembly module (of the least busy worker); unchanged by a finished decode. */
    heapInUse(): Promise<number>;
    /** Stops the workers; decodes still waiting are rejected. */
    close(): void;
}

export interface ReaderOptions {
    /** Web Workers that decode (default 1); 0 decodes in the calling thread. Node always decodes in the calling thread. */
    workers?: number;
}

export function createReader(options?: ReaderOptions): Promise<Reader>;

/** RGBA to grey as the native image readers do: each component over white, then the mean of red, green and blue. */
export function rgbaToGrey(rgba: Uint8Array | Uint8ClampedArray, width: number, height: number): Uint8Array;
